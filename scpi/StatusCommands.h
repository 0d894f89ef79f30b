// The commands over a connection's own error queue and status registers:
// the SYSTem and STATus subsystems, and the value a register setting takes.
//
//   SYSTem:ERRor[:NEXT]?  the oldest error, taken out; 0,"No error" when none
//   SYSTem:ERRor:ALL?     every error, oldest first, joined by ','; the queue
//                         emptied; 0,"No error" when none
//   SYSTem:ERRor:COUNt?   the number of errors queued
//   SYSTem:VERSion?       1999.0
//   STATus:OPERation[:EVENt]?, STATus:QUEStionable[:EVENt]?  the event
//                         register, then cleared
//   STATus:...:CONDition? the condition register
//   STATus:...:ENABle     the enable mask (0 to 65535, bit 15 ignored) and ?
//   STATus:PRESet         both enable masks cleared
#pragma once

#include <cstdint>
#include <optional>

#include "scpi/CommandTree.h"
#include "scpi/ErrorQueue.h"
#include "scpi/Lexer.h"
#include "scpi/Outcome.h"
#include "scpi/StatusRegisters.h"

namespace tpg::scpi {

// Whether the command is one of those above.
bool isStatusCommand(Command command);

// Runs one of them; a query or a set as the unit is written.
Outcome runStatusCommand(Command command, const ProgramUnit& unit, ErrorQueue& errors,
                         StatusRegisters& status);

// The value a register setting takes: exactly one number, rounded to a
// whole number as IEEE 488.2 asks, from 0 to highest (-109 without it, -108
// for more, -224 for a word, -222 out of range).
std::optional<Error> readRegisterValue(const ProgramUnit& unit, std::uint16_t highest,
                                       std::uint16_t& out);

}  // namespace tpg::scpi
