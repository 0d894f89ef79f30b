// The command line's way to the generators: the window's interface walk and
// serial-number match (link::DeviceLink) over the platform seam, with a
// stand-in for the window's list, timer and read-back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CheckedPlatform.h"
#include "cli/Failure.h"
#include "cli/Output.h"
#include "link/DeviceLink.h"
#include "settings/Defaults.h"

namespace tpg::cli {

class GeneratorSession : private link::LinkHost {
  public:
    explicit GeneratorSession(CheckedPlatform& platform);
    GeneratorSession(const GeneratorSession&) = delete;
    GeneratorSession& operator=(const GeneratorSession&) = delete;
    // Closes whatever is still open.
    ~GeneratorSession() override;

    // The generators present whose serial number could be read, in the
    // order of the walk. With identities, also the maker and product of
    // each, read through its probe handle; a string that cannot be read is
    // left absent and its failure added to unreadStrings.
    std::optional<Failure> list(std::vector<GeneratorIdentity>& out, bool identities,
                                std::vector<PlatformFailure>& unreadStrings);
    // The generators the last list() (or open()) saw but could not open.
    const std::vector<RefusedGenerator>& refused() const { return refused_; }

    // Chooses and opens a generator: the one with exactly serial, or with no
    // serial the only one present. Several present without a serial is an
    // error that lists them; none, or none with the serial, is kNoGenerator.
    // A generator seen but not opened counts as present when no serial is
    // given, and every failure names it with the reason.
    std::optional<Failure> open(const std::optional<std::string>& serial);

    // The open generator's serial, path and version.
    const GeneratorIdentity& identity() const { return identity_; }

    // Reads the maker and product of the open generator, as the window does
    // through its overlapped handle. A string that cannot be read (a USB
    // generator may have none) is left absent and its failure added to
    // unreadStrings.
    void readIdentityStrings(GeneratorIdentity& identity,
                             std::vector<PlatformFailure>& unreadStrings);

    // Reads the state report of the open generator.
    std::optional<Failure> readState(protocol::DeviceState& device);

    // Sends the reports in order, stopping at the first that fails. Every
    // report is checked against the generator's report length first.
    std::optional<Failure> send(const std::vector<settings::SettingReport>& reports);

    // Closes the generator and the read event.
    void close();

    // One tick of the window's connection monitor, for a session that
    // stays open (serve): probes the open generator and, when it is gone,
    // looks for the one with the same serial number again. True when a
    // generator is open afterwards; identity() follows a generator found
    // again.
    bool monitor();

  private:
    // The window's serial-number list, reduced to the one text discovery
    // compares with.
    class ChosenSerial : public link::SerialListControl {
      public:
        void clear() override {}
        void addItem(int /*index*/, const std::string& /*text*/) override {}
        void setSelectedIndex(int /*index*/) override {}
        std::string text() const override { return serial; }
        void setEnabled(bool /*enabled*/) override {}
        std::string serial;
    };
    class NoTimer : public link::LinkTimer {
      public:
        void setEnabled(bool /*enabled*/) override {}
        void setInterval(int /*milliseconds*/) override {}
    };

    // LinkHost
    link::SerialListControl& serialList() override { return chosen_; }
    link::LinkTimer& linkTimer() override { return timer_; }
    void refreshDeviceState() override {}
    void showWindow() override {}

    std::optional<std::string> readString(hid::StringKind kind, hid::Handle handle,
                                          std::optional<PlatformFailure>& failure);
    void readMakerAndProduct(hid::Handle handle, GeneratorIdentity& identity,
                             std::vector<PlatformFailure>& unreadStrings);

    CheckedPlatform& platform_;
    link::LinkState state_;
    link::DeviceLink link_;
    ChosenSerial chosen_;
    NoTimer timer_;
    GeneratorIdentity identity_;
    std::vector<RefusedGenerator> refused_;
};

}  // namespace tpg::cli
