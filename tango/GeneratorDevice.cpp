#include "tango/GeneratorDevice.h"

#include <chrono>
#include <iostream>

#include "settings/Defaults.h"
#include "settings/Readback.h"
#include "tango/Backend.h"

namespace tpg::tango {
namespace {

// Tango's constructors take the name as a modifiable string.
std::string& nameCopy(const std::string& name) {
    thread_local std::string copy;
    copy = name;
    return copy;
}

}  // namespace

GeneratorDevice::GeneratorDevice(Tango::DeviceClass* deviceClass, const std::string& name)
    : Tango::Device_5Impl(deviceClass, nameCopy(name)) {
    GeneratorDevice::init_device();
}

GeneratorDevice::~GeneratorDevice() {
    GeneratorDevice::delete_device();
}

void GeneratorDevice::init_device() {
    serial_ = backend().defaultSerial;
    pollingPeriod_ = kDefaultPollingPeriod;
    if (Tango::Util::_UseDb) {
        Tango::DbData properties;
        properties.push_back(Tango::DbDatum("SerialNumber"));
        properties.push_back(Tango::DbDatum("PollingPeriod"));
        get_db_device()->get_property(properties);
        std::string serial;
        if (!properties[0].is_empty() && (properties[0] >> serial) && !serial.empty()) {
            serial_ = serial;
        }
        long period = 0;
        if (!properties[1].is_empty() && (properties[1] >> period) && period > 0) {
            pollingPeriod_ = period;
        }
    }
    generator_ = std::make_unique<cli::ServedGenerator>(
        *backend().platform, *backend().errors,
        serial_.empty() ? std::nullopt : std::optional<std::string>(serial_), log_);
    shown_.reset();
    lastState_ = Tango::UNKNOWN;
    set_change_event("State", true, false);
    set_change_event("Status", true, false);
    refresh();
    stopping_ = false;
    poller_ = std::thread([this] { pollLoop(); });
}

void GeneratorDevice::delete_device() {
    if (poller_.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(stopMutex_);
            stopping_ = true;
        }
        stopWake_.notify_all();
        poller_.join();
    }
    if (generator_) {
        generator_->close();
        generator_.reset();
    }
}

void GeneratorDevice::pollLoop() {
    // Tango's monitor tells threads apart by omniORB's thread object.
    const omni_thread::ensure_self self;
    std::unique_lock<std::mutex> lock(stopMutex_);
    while (!stopWake_.wait_for(lock, std::chrono::milliseconds(pollingPeriod_),
                               [this] { return stopping_; })) {
        lock.unlock();
        try {
            const Tango::AutoTangoMonitor sync(this);
            refresh();
        } catch (const Tango::DevFailed&) {
            // The monitor was not had in time (a long call, or init): the
            // next period tries again.
        }
        lock.lock();
    }
}

std::string GeneratorDevice::awaited() const {
    std::string text = serial_.empty()
                           ? "waiting for a generator (the only one present)"
                           : "waiting for the generator with the serial number " + serial_;
    if (generator_ && !generator_->waitingFor().empty()) {
        text += ": " + generator_->waitingFor();
    }
    return text;
}

void GeneratorDevice::showFault(const scpi::Fault& fault) {
    set_state(Tango::FAULT);
    set_status(fault.missing ? "No generator: " + awaited()
                             : "The generator does not answer: " + fault.text);
    if (lastState_ != Tango::FAULT) {
        lastState_ = Tango::FAULT;
        push_change_event("State");
    }
}

void GeneratorDevice::refresh() {
    const std::string logged = log_.str();
    if (!logged.empty()) {
        std::cerr << logged << std::flush;
        log_.str({});
    }
    protocol::DeviceState state;
    if (auto fault = generator_->readState(state)) {
        showFault(*fault);
        return;
    }
    const AttributeValues values = attributeValues(state);
    if (lastState_ != Tango::ON) {
        scpi::Identity identity;
        const bool named = !generator_->identity(identity);
        set_state(Tango::ON);
        set_status("Serving the generator " + (named ? identity.serial : serial_));
        lastState_ = Tango::ON;
        push_change_event("State");
    }
    const std::optional<AttributeValues> before = shown_;
    shown_ = values;
    for (const auto& attributeRule : attributeRules()) {
        if (before && !differs(attributeRule.setting, *before, values)) {
            continue;
        }
        switch (attributeRule.setting) {
            case Setting::Frequency:
                doubles_[0] = values.frequency;
                push_change_event(attributeRule.name, &doubles_[0]);
                break;
            case Setting::SyncFrequency:
                doubles_[1] = values.syncFrequency;
                push_change_event(attributeRule.name, &doubles_[1]);
                break;
            case Setting::Amplitude:
                doubles_[2] = values.amplitude;
                push_change_event(attributeRule.name, &doubles_[2]);
                break;
            case Setting::AmplitudeIndex:
                index_ = values.amplitudeIndex;
                push_change_event(attributeRule.name, &index_);
                break;
            case Setting::TriggerDirection:
                enums_[0] = values.triggerDirection;
                push_change_event(attributeRule.name, &enums_[0]);
                break;
            case Setting::Polarity:
                enums_[1] = values.polarity;
                push_change_event(attributeRule.name, &enums_[1]);
                break;
        }
    }
}

void GeneratorDevice::read_attr_hardware(std::vector<long>& /*attributes*/) {
    refresh();
}

void GeneratorDevice::throwFault(const scpi::Fault& fault, const char* origin) {
    showFault(fault);
    if (fault.missing) {
        Tango::Except::throw_exception("TPG_NoGenerator", "No generator is present: " + awaited(),
                                       origin);
    }
    Tango::Except::throw_exception("TPG_GeneratorFailed",
                                   "The generator does not answer: " + fault.text, origin);
}

void GeneratorDevice::readSetting(Setting setting, Tango::Attribute& attribute) {
    if (!shown_ || get_state() != Tango::ON) {
        Tango::Except::throw_exception("TPG_NoGenerator", get_status(), "readSetting");
    }
    switch (setting) {
        case Setting::Frequency:
            doubles_[0] = shown_->frequency;
            attribute.set_value(&doubles_[0]);
            break;
        case Setting::SyncFrequency:
            doubles_[1] = shown_->syncFrequency;
            attribute.set_value(&doubles_[1]);
            break;
        case Setting::Amplitude:
            doubles_[2] = shown_->amplitude;
            attribute.set_value(&doubles_[2]);
            break;
        case Setting::AmplitudeIndex:
            index_ = shown_->amplitudeIndex;
            attribute.set_value(&index_);
            break;
        case Setting::TriggerDirection:
            enums_[0] = shown_->triggerDirection;
            attribute.set_value(&enums_[0]);
            break;
        case Setting::Polarity:
            enums_[1] = shown_->polarity;
            attribute.set_value(&enums_[1]);
            break;
    }
}

void GeneratorDevice::writeSetting(Setting setting, Tango::WAttribute& attribute) {
    Written written;
    switch (rule(setting).kind) {
        case Kind::Double: {
            Tango::DevDouble value = 0;
            attribute.get_write_value(value);
            written = writtenNumber(setting, value);
            break;
        }
        case Kind::Long: {
            Tango::DevLong value = 0;
            attribute.get_write_value(value);
            written = writtenWhole(setting, value);
            break;
        }
        case Kind::Enum: {
            Tango::DevShort value = 0;
            attribute.get_write_value(value);
            written = writtenWhole(setting, value);
            break;
        }
    }
    if (!written.report) {
        Tango::Except::throw_exception("API_WAttrOutsideLimit", written.refusal, "writeSetting");
    }
    if (auto fault = generator_->send(*written.report)) {
        throwFault(*fault, "writeSetting");
    }
    refresh();
}

void GeneratorDevice::readIdentity(IdentityField field, Tango::Attribute& attribute) {
    scpi::Identity identity;
    if (auto fault = generator_->identity(identity)) {
        throwFault(*fault, "readIdentity");
    }
    switch (field) {
        case IdentityField::Manufacturer:
            textValue_ = identity.maker;
            break;
        case IdentityField::Product:
            textValue_ = identity.product;
            break;
        case IdentityField::Version:
            textValue_ = settings::versionText(identity.versionNumber);
            break;
        case IdentityField::Serial:
            textValue_ = identity.serial;
            break;
    }
    text_ = textValue_.data();
    attribute.set_value(&text_);
}

void GeneratorDevice::restoreDefaults() {
    for (const auto& report : settings::restoreDefaultsReports()) {
        if (auto fault = generator_->send(report)) {
            throwFault(*fault, "RestoreDefaults");
        }
    }
    refresh();
}

void GeneratorDevice::plugSimulated(bool plugged) {
    auto* generators = backend().simulated;
    if (generators == nullptr) {
        Tango::Except::throw_exception("TPG_NotSimulated",
                                       "Only a server started with --simulate plugs generators",
                                       "plugSimulated");
    }
    for (std::size_t i = 0; i < generators->count(); ++i) {
        if (!serial_.empty() && generators->serial(i) != serial_) {
            continue;
        }
        if (plugged && !generators->isPlugged(i)) {
            generators->plug(i);
        } else if (!plugged && generators->isPlugged(i)) {
            generators->unplug(i);
        }
    }
}

// Tango checks every written value against min_value and max_value before
// the device sees it, and refuses one outside with its own words; the
// refusal is given the window's message for that setting instead.
namespace {

void useWindowsMessage(Tango::DevErrorList& errors, const std::string& attribute) {
    const AttributeRule* found = ruleNamed(attribute);
    if (found == nullptr) {
        return;
    }
    for (CORBA::ULong i = 0; i < errors.length(); ++i) {
        if (std::string(errors[i].reason.in()) == "API_WAttrOutsideLimit") {
            errors[i].desc = CORBA::string_dup(found->outOfRange.c_str());
        }
    }
}

// Runs one of Tango's write entry points, giving a refusal for a value out
// of range the window's message in place of Tango's.
template <typename Values, typename Write>
void writeWithWindowsMessages(const Values& values, Write write) {
    try {
        write();
    } catch (Tango::MultiDevFailed& failed) {
        for (CORBA::ULong i = 0; i < failed.errors.length(); ++i) {
            useWindowsMessage(failed.errors[i].err_list, failed.errors[i].name.in());
        }
        throw;
    } catch (Tango::DevFailed& failed) {
        if (values.length() == 1) {
            useWindowsMessage(failed.errors, values[0].name.in());
        }
        throw;
    }
}

}  // namespace

void GeneratorDevice::write_attributes_3(const Tango::AttributeValueList& values) {
    writeWithWindowsMessages(values, [&] { Tango::Device_5Impl::write_attributes_3(values); });
}

void GeneratorDevice::write_attributes_4(const Tango::AttributeValueList_4& values,
                                         const Tango::ClntIdent& client) {
    writeWithWindowsMessages(values,
                             [&] { Tango::Device_5Impl::write_attributes_4(values, client); });
}

}  // namespace tpg::tango
