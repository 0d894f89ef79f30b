// A connection's status registers: IEEE 488.2's standard event status
// register (ESR) with its enable mask (ESE) and the status byte (STB) with
// its service request enable mask (SRE), and SCPI's OPERation and
// QUEStionable status groups.
//
// ESR bits: 0 operation complete (*OPC), 2 query error (-4xx), 3 device
// dependent error (-3xx), 4 execution error (-2xx), 5 command error (-1xx).
// Power-on (bit 7) is never set: the registers are born with a connection,
// not with the instrument. STB bits: 2 the error queue is not empty, 3 an
// enabled QUEStionable event is set, 4 a response is waiting in the message
// being executed (MAV), 5 an enabled ESR bit is set (ESB), 6 an enabled STB
// bit is set (MSS), 7 an enabled OPERation event is set.
//
// A status group has a condition (what holds now), an event register that
// latches each condition bit that goes from 0 to 1 until it is read or
// cleared, and an enable mask whose bits the summary bit in the STB sums.
// QUEStionable condition bit 9: no generator is open (the -241 "Hardware
// missing" of a command). OPERation's condition is always 0: every command
// has completed when its message ends, so no operation is ever running.
#pragma once

#include <cstdint>

#include "scpi/Errors.h"

namespace tpg::scpi {

class StatusGroup {
  public:
    // The condition now: its bits that were 0 at the last look are latched.
    void look(std::uint16_t condition);
    std::uint16_t condition() const { return condition_; }
    // The event register, then cleared (a query of it).
    std::uint16_t takeEvents();
    void clearEvents() { event_ = 0; }
    // Bit 15 is never used, as SCPI asks.
    void setEnable(std::uint16_t mask) { enable_ = mask & 0x7FFFU; }
    std::uint16_t enable() const { return enable_; }
    bool summary() const { return (event_ & enable_) != 0; }

  private:
    std::uint16_t condition_ = 0;
    std::uint16_t event_ = 0;
    std::uint16_t enable_ = 0;
};

class StatusRegisters {
  public:
    static constexpr std::uint8_t kOperationComplete = 1U << 0;
    static constexpr std::uint8_t kQueryError = 1U << 2;
    static constexpr std::uint8_t kDeviceError = 1U << 3;
    static constexpr std::uint8_t kExecutionError = 1U << 4;
    static constexpr std::uint8_t kCommandError = 1U << 5;

    static constexpr std::uint8_t kErrorQueueNotEmpty = 1U << 2;
    static constexpr std::uint8_t kQuestionableSummary = 1U << 3;
    static constexpr std::uint8_t kMessageAvailable = 1U << 4;
    static constexpr std::uint8_t kEventSummary = 1U << 5;
    static constexpr std::uint8_t kMasterSummary = 1U << 6;
    static constexpr std::uint8_t kOperationSummary = 1U << 7;

    static constexpr std::uint16_t kHardwareMissing = 1U << 9;  // QUEStionable

    // Sets the ESR bit of the error's class.
    void recordError(ErrorCode code);
    void operationComplete() { esr_ |= kOperationComplete; }
    // *ESR?: the register, then cleared.
    std::uint8_t takeEventStatus();
    // *CLS: the event registers cleared (the masks stay).
    void clearEvents();
    // STATus:PRESet: the OPERation and QUEStionable enable masks cleared.
    void preset();

    void setEventEnable(std::uint8_t mask) { ese_ = mask; }
    std::uint8_t eventEnable() const { return ese_; }
    // Bit 6 of the service request enable is ignored, as IEEE 488.2 asks.
    void setServiceRequestEnable(std::uint8_t mask) { sre_ = mask & ~kMasterSummary; }
    std::uint8_t serviceRequestEnable() const { return sre_; }

    std::uint8_t statusByte(bool errorQueueNotEmpty, bool messageAvailable) const;

    StatusGroup operation;
    StatusGroup questionable;

  private:
    std::uint8_t esr_ = 0;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
};

}  // namespace tpg::scpi
