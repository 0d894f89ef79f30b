// One TrelvixPulseGenerator device: one generator held open as serve holds
// it (cli::ServedGenerator), its six settings and identity as attributes,
// RestoreDefaults, and State ON or FAULT. A thread reads the state report
// every PollingPeriod milliseconds and pushes a change event for every
// setting that changed there (by this device, the window or serve) and for
// State; a write through the device pushes its events at once.
//
// Every call on the generator runs under the device's monitor, as Tango's
// own calls do, so that the generator is used by one thread at a time.
#pragma once

#include <tango.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "cli/ServedGenerator.h"
#include "tango/AttributeRules.h"

namespace tpg::tango {

inline constexpr const char* kClassName = "TrelvixPulseGenerator";
inline constexpr long kDefaultPollingPeriod = 1000;  // ms

class GeneratorDevice final : public Tango::Device_5Impl {
  public:
    GeneratorDevice(Tango::DeviceClass* deviceClass, const std::string& name);
    ~GeneratorDevice() override;

    void init_device() override;
    void delete_device() override;
    void read_attr_hardware(std::vector<long>& attributes) override;

    // The window's message for a value outside Tango's range check, in
    // place of Tango's own text.
    void write_attributes_3(const Tango::AttributeValueList& values) override;
    void write_attributes_4(const Tango::AttributeValueList_4& values,
                            const Tango::ClntIdent& client) override;

    // For the attribute and command classes.
    void readSetting(Setting setting, Tango::Attribute& attribute);
    void writeSetting(Setting setting, Tango::WAttribute& attribute);
    enum class IdentityField { Manufacturer, Product, Version, Serial };
    void readIdentity(IdentityField field, Tango::Attribute& attribute);
    void restoreDefaults();
    // --simulate only: unplugs or plugs in again the simulated generator.
    void plugSimulated(bool plugged);

  private:
    // Reads the state report and brings attributes, State and Status up to
    // date, pushing the change events. Under the device's monitor.
    void refresh();
    void showFault(const scpi::Fault& fault);
    [[noreturn]] void throwFault(const scpi::Fault& fault, const char* origin);
    void pollLoop();
    std::string awaited() const;

    std::string serial_;  // empty: the only one present
    long pollingPeriod_ = kDefaultPollingPeriod;
    std::ostringstream log_;  // ServedGenerator's log, copied to Tango's
    std::unique_ptr<cli::ServedGenerator> generator_;
    std::optional<AttributeValues> shown_;  // the last values pushed
    Tango::DevState lastState_ = Tango::UNKNOWN;

    // Attribute values handed to Tango (it keeps the pointers until the
    // reply is built).
    Tango::DevDouble doubles_[3] = {};
    Tango::DevLong index_ = 0;
    Tango::DevShort enums_[2] = {};
    Tango::DevString text_ = nullptr;
    std::string textValue_;

    std::thread poller_;
    std::mutex stopMutex_;
    std::condition_variable stopWake_;
    bool stopping_ = false;
};

}  // namespace tpg::tango
