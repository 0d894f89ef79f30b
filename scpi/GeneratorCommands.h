// The commands that reach the generator: the five settings (set and query),
// *IDN?, *RST and *TST?.
//
// A setting's value is checked first with the settings' own rules; a bad
// value gives its error and sends nothing, a good one sends exactly one
// report. A query reads the state report each time and answers the value
// the read-back shows (settings::applyRangeRule). A generator call that
// fails gives -241 "Hardware missing" or -240 "Hardware error;..." and no
// answer. A query may name MINimum, MAXimum or DEFault to learn that value
// without asking the generator; another word there is -224 with the word,
// anything else -108. Frequencies take the units HZ, KHZ, MHZ and GHZ.
#pragma once

#include "scpi/CommandTree.h"
#include "scpi/Generator.h"
#include "scpi/Lexer.h"
#include "scpi/Outcome.h"

namespace tpg::scpi {

class GeneratorCommands {
  public:
    explicit GeneratorCommands(Generator& generator) : generator_(generator) {}

    // A setting command with its data (the count of data elements is
    // checked here: exactly one for a set, at most one keyword for a query).
    Outcome set(Command command, const ProgramUnit& unit);
    Outcome query(Command command, const ProgramUnit& unit);

    // *IDN?: maker, product, serial number (0 when the generator gives
    // none) and version, commas and control characters in them replaced by
    // blanks.
    Outcome identify();
    // *RST: the reports of "Restore default settings", in order; the first
    // that fails ends it.
    Outcome reset();
    // *TST?: 0 when the state report can be read, else 1 (no error queued).
    Outcome selfTest();
    // Whether a generator is open (nothing is asked of it).
    bool isOpen() const { return generator_.isOpen(); }

  private:
    Outcome send(const settings::SettingReport& report);

    Generator& generator_;
};

}  // namespace tpg::scpi
