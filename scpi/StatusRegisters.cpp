#include "scpi/StatusRegisters.h"

namespace tpg::scpi {

void StatusGroup::look(std::uint16_t condition) {
    event_ |= condition & ~condition_;
    condition_ = condition;
}

std::uint16_t StatusGroup::takeEvents() {
    const std::uint16_t value = event_;
    event_ = 0;
    return value;
}

void StatusRegisters::recordError(ErrorCode code) {
    const int number = -static_cast<int>(code);
    if (number >= 100 && number < 200) {
        esr_ |= kCommandError;
    } else if (number >= 200 && number < 300) {
        esr_ |= kExecutionError;
    } else if (number >= 300 && number < 400) {
        esr_ |= kDeviceError;
    } else if (number >= 400 && number < 500) {
        esr_ |= kQueryError;
    }
}

std::uint8_t StatusRegisters::takeEventStatus() {
    const std::uint8_t value = esr_;
    esr_ = 0;
    return value;
}

void StatusRegisters::clearEvents() {
    esr_ = 0;
    operation.clearEvents();
    questionable.clearEvents();
}

void StatusRegisters::preset() {
    operation.setEnable(0);
    questionable.setEnable(0);
}

std::uint8_t StatusRegisters::statusByte(bool errorQueueNotEmpty, bool messageAvailable) const {
    std::uint8_t stb = 0;
    if (errorQueueNotEmpty) {
        stb |= kErrorQueueNotEmpty;
    }
    if (questionable.summary()) {
        stb |= kQuestionableSummary;
    }
    if (operation.summary()) {
        stb |= kOperationSummary;
    }
    if (messageAvailable) {
        stb |= kMessageAvailable;
    }
    if ((esr_ & ese_) != 0) {
        stb |= kEventSummary;
    }
    if ((stb & sre_) != 0) {
        stb |= kMasterSummary;
    }
    return stb;
}

}  // namespace tpg::scpi
