// A connection's IEEE 488.2 status registers: the standard event status
// register (ESR) with its enable mask (ESE), and the status byte (STB) with
// its service request enable mask (SRE).
//
// ESR bits: 0 operation complete (*OPC), 2 query error (-4xx), 3 device
// dependent error (-3xx), 4 execution error (-2xx), 5 command error (-1xx).
// Power-on (bit 7) is never set: the registers are born with a connection,
// not with the instrument. STB bits: 2 the error queue is not empty, 4 a
// response is waiting in the message being executed (MAV), 5 an enabled ESR
// bit is set (ESB), 6 an enabled STB bit is set (MSS).
#pragma once

#include <cstdint>

#include "scpi/Errors.h"

namespace tpg::scpi {

class StatusRegisters {
  public:
    static constexpr std::uint8_t kOperationComplete = 1U << 0;
    static constexpr std::uint8_t kQueryError = 1U << 2;
    static constexpr std::uint8_t kDeviceError = 1U << 3;
    static constexpr std::uint8_t kExecutionError = 1U << 4;
    static constexpr std::uint8_t kCommandError = 1U << 5;

    static constexpr std::uint8_t kErrorQueueNotEmpty = 1U << 2;
    static constexpr std::uint8_t kMessageAvailable = 1U << 4;
    static constexpr std::uint8_t kEventSummary = 1U << 5;
    static constexpr std::uint8_t kMasterSummary = 1U << 6;

    // Sets the ESR bit of the error's class.
    void recordError(ErrorCode code);
    void operationComplete() { esr_ |= kOperationComplete; }
    // *ESR?: the register, then cleared.
    std::uint8_t takeEventStatus();
    // *CLS: the event register cleared (the masks stay).
    void clearEvents() { esr_ = 0; }

    void setEventEnable(std::uint8_t mask) { ese_ = mask; }
    std::uint8_t eventEnable() const { return ese_; }
    // Bit 6 of the service request enable is ignored, as IEEE 488.2 asks.
    void setServiceRequestEnable(std::uint8_t mask) { sre_ = mask & ~kMasterSummary; }
    std::uint8_t serviceRequestEnable() const { return sre_; }

    std::uint8_t statusByte(bool errorQueueNotEmpty, bool messageAvailable) const;

  private:
    std::uint8_t esr_ = 0;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
};

}  // namespace tpg::scpi
