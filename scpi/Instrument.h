// One connection's SCPI instrument over a generator: it runs program
// messages (one line each) and keeps the connection's own error queue and
// status registers. Pure: no sockets, no threads, no platform calls.
//
// How a message runs: its units are read and run one after the other, a
// few at a time (step), so that a server can serve its other clients
// between them; a message of at most kUnitsPerStep units runs in one step
// (blanks around units and empty units, as after a final ';', are skipped;
// the path rules are in CommandTree.h); the first unit that fails (a
// malformed unit, an unknown header, a bad parameter, a generator fault)
// queues its error and ends the message, so that nothing after a failed
// command happens, as a script expects of an instrument. What ran before
// it stays done and its answers are returned. A query that fails gives no
// answer: the client's read then times out and SYSTem:ERRor? tells why, as
// with any instrument. *IDN?'s answer is
// arbitrary text and so must be the last query of its message; a query
// after it gives -440 and does not run.
//
// The commands, their parameters and answers: CommandTree.h,
// GeneratorCommands.h, StatusCommands.h, and the common commands below
// (IEEE 488.2): *CLS clears the error queue and the event registers (the
// ESR and the STATus groups'); *ESE/*SRE take 0 to 255
// (a fraction is rounded), *ESE?/*SRE?/*ESR?/*STB? answer integers (*ESR?
// clears the register); *OPC sets the operation-complete bit at once and
// *OPC? answers 1, as every command is complete when its message ends;
// *WAI does nothing for the same reason. Before each unit the instrument
// looks whether a generator is open, QUEStionable's condition bit 9
// (StatusRegisters.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "scpi/Lexer.h"

#include "scpi/CommandTree.h"
#include "scpi/ErrorQueue.h"
#include "scpi/Generator.h"
#include "scpi/GeneratorCommands.h"
#include "scpi/Outcome.h"
#include "scpi/StatusRegisters.h"

namespace tpg::scpi {

// Units run by one step: a message a script sends (a setting and its
// query, a few settings) runs whole, with nothing of another client's
// between its units; a longer one lets other clients in every this many.
inline constexpr std::size_t kUnitsPerStep = 8;

class Instrument {
  public:
    explicit Instrument(Generator& generator);

    // Executes one program message (one line, without its LF; a trailing CR
    // is dropped) to its end. Returns the response message: the answers of
    // its queries joined by ';' and ended by "\n", or an empty string when
    // the message held no query (or none that answered).
    std::string execute(std::string_view message);

    // The same in steps: begin takes the message (a message still running
    // is dropped); each step runs up to kUnitsPerStep of its units and
    // returns the response message once the message has ended, nothing
    // while units are left.
    void begin(std::string_view message);
    std::optional<std::string> step();
    bool running() const { return lexer_.has_value(); }

    // A device clear: the message running is dropped, unanswered; the error
    // queue and registers stay.
    void clear();

    // -363 "Input buffer overrun" for a line the server cut because it
    // passed its limit.
    void inputOverrun();

    // The status byte as *STB? answers it, with MAV as the server knows it
    // (an answer the client has not read yet): a VXI-11 device_readstb.
    std::uint8_t statusByte(bool messageAvailable) const {
        return status_.statusByte(errors_.size() > 0, messageAvailable);
    }

  private:
    Outcome runCommon(const ProgramUnit& unit, bool messageAvailable);
    Outcome runCommand(Command command, const ProgramUnit& unit);
    Outcome setRegister(const ProgramUnit& unit, void (StatusRegisters::*set)(std::uint8_t));
    void queue(Error error);

    GeneratorCommands generator_;
    ErrorQueue errors_;
    StatusRegisters status_;

    // The message running: its text, the lexer over it, the path the last
    // command set, the answers so far and whether the last was indefinite.
    std::string message_;
    std::optional<Lexer> lexer_;
    const Node* path_ = nullptr;
    std::string response_;
    bool indefinite_ = false;
};

}  // namespace tpg::scpi
