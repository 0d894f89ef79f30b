#include "scpi/StatusCommands.h"

#include <cmath>

#include "scpi/Parameters.h"
#include "settings/NumberText.h"

namespace tpg::scpi {
namespace {

constexpr const char* kScpiVersion = "1999.0";
constexpr std::uint16_t kHighestEnable = 0xFFFF;

Outcome integer(long long value) {
    return Outcome::answered(settings::decimalText(value));
}

std::string allErrors(ErrorQueue& errors) {
    std::string out;
    while (const auto next = errors.pop()) {
        // Appended piece by piece: g++ 12 at -O3 takes "," + a temporary
        // for an overlapping copy (-Wrestrict) and fails the release build.
        if (!out.empty()) {
            out += ',';
        }
        out += errorResponse(*next);
    }
    return out.empty() ? errorResponse(Error{}) : out;
}

Outcome setEnable(const ProgramUnit& unit, StatusGroup& group) {
    std::uint16_t mask = 0;
    if (auto error = readRegisterValue(unit, kHighestEnable, mask)) {
        return Outcome::failed(*error);
    }
    group.setEnable(mask);
    return Outcome::done();
}

}  // namespace

bool isStatusCommand(Command command) {
    switch (command) {
        case Command::ErrorNext:
        case Command::ErrorAll:
        case Command::ErrorCount:
        case Command::Version:
        case Command::OperationEvent:
        case Command::OperationCondition:
        case Command::OperationEnable:
        case Command::QuestionableEvent:
        case Command::QuestionableCondition:
        case Command::QuestionableEnable:
        case Command::StatusPreset:
            return true;
        default:
            return false;
    }
}

Outcome runStatusCommand(Command command, const ProgramUnit& unit, ErrorQueue& errors,
                         StatusRegisters& status) {
    if (!unit.query && command == Command::OperationEnable) {
        return setEnable(unit, status.operation);
    }
    if (!unit.query && command == Command::QuestionableEnable) {
        return setEnable(unit, status.questionable);
    }
    if (!unit.data.empty()) {
        return Outcome::failed(makeError(ErrorCode::ParameterNotAllowed));
    }
    switch (command) {
        case Command::ErrorNext: {
            const auto next = errors.pop();
            return Outcome::answered(errorResponse(next ? *next : Error{}));
        }
        case Command::ErrorAll:
            return Outcome::answered(allErrors(errors));
        case Command::ErrorCount:
            return integer(static_cast<long long>(errors.size()));
        case Command::Version:
            return Outcome::answered(kScpiVersion);
        case Command::OperationEvent:
            return integer(status.operation.takeEvents());
        case Command::OperationCondition:
            return integer(status.operation.condition());
        case Command::OperationEnable:
            return integer(status.operation.enable());
        case Command::QuestionableEvent:
            return integer(status.questionable.takeEvents());
        case Command::QuestionableCondition:
            return integer(status.questionable.condition());
        case Command::QuestionableEnable:
            return integer(status.questionable.enable());
        case Command::StatusPreset:
            status.preset();
            return Outcome::done();
        default:
            break;
    }
    return Outcome::failed(makeError(ErrorCode::UndefinedHeader, unit.header));
}

std::optional<Error> readRegisterValue(const ProgramUnit& unit, std::uint16_t highest,
                                       std::uint16_t& out) {
    if (unit.data.empty()) {
        return makeError(ErrorCode::MissingParameter);
    }
    if (unit.data.size() > 1) {
        return makeError(ErrorCode::ParameterNotAllowed);
    }
    NumericValue number;
    if (auto error = readNumeric(unit.data.front(), {}, 0, number)) {
        return error;
    }
    if (number.keyword) {
        return makeError(ErrorCode::IllegalParameterValue, unit.data.front().text);
    }
    const double rounded = std::floor(number.value + 0.5);
    if (!(rounded >= 0 && rounded <= highest)) {
        return makeError(ErrorCode::DataOutOfRange);
    }
    out = static_cast<std::uint16_t>(rounded);
    return std::nullopt;
}

}  // namespace tpg::scpi
