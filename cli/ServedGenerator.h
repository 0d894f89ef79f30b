// The generator that serve holds open for its clients: the command line's
// session (the window's discovery and serial-number match, over the checked
// platform) kept open between commands, with the window's connection
// monitor on a timer. It starts with no generator and takes one when it
// appears; a generator that is lost is noticed at the next command or tick
// and taken again when it returns. Nothing here ends the program.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/CheckedPlatform.h"
#include "cli/GeneratorSession.h"
#include "scpi/Generator.h"

namespace tpg::cli {

class ServedGenerator : public scpi::Generator {
  public:
    // serial: the generator with exactly this serial number; without it,
    // the only one present. What happens to the generator is told on log.
    ServedGenerator(hid::HidPlatform& platform, SystemError& errors,
                    std::optional<std::string> serial, std::ostream& log);
    ServedGenerator(const ServedGenerator&) = delete;
    ServedGenerator& operator=(const ServedGenerator&) = delete;

    // One tick of the monitor: probes the open generator, or looks for one.
    // Returns the milliseconds to the next tick (the window's intervals).
    int tick();
    bool isOpen() const override { return open_; }
    // Why no generator is served, as last told on log; empty while one is.
    const std::string& waitingFor() const { return waitingFor_; }
    // The identity of the generator served now (none while none is): its
    // strings are read once per generator taken, on the first call.
    std::optional<scpi::Identity> takenIdentity();
    // Closes the generator and every handle.
    void close();

    std::optional<scpi::Fault> identity(scpi::Identity& out) override;
    std::optional<scpi::Fault> readState(protocol::DeviceState& out) override;
    std::optional<scpi::Fault> send(const settings::SettingReport& report) override;

  private:
    bool ensureOpen();
    // Runs one of the session's calls for a command. When it fails, the
    // handles may be those of a generator unplugged since (and perhaps
    // plugged in again): the generator is opened afresh and the call tried
    // once more. Missing when none can be opened; otherwise the failed HID
    // call with the system's text.
    template <typename Call>
    std::optional<scpi::Fault> attempt(Call call);
    void lost();

    CheckedPlatform checked_;
    GeneratorSession session_;
    std::optional<std::string> serial_;
    std::ostream& log_;
    bool open_ = false;
    std::string waitingFor_;               // the reason last told for serving nothing
    std::optional<scpi::Identity> taken_;  // takenIdentity() of the generator open
};

}  // namespace tpg::cli
