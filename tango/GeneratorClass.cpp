#include "tango/GeneratorClass.h"

#include "tango/AttributeRules.h"
#include "tango/Backend.h"
#include "tango/GeneratorDevice.h"

namespace tpg::tango {
namespace {

GeneratorDevice& device(Tango::DeviceImpl* impl) {
    return *static_cast<GeneratorDevice*>(impl);
}

long tangoType(Kind kind) {
    switch (kind) {
        case Kind::Double:
            return Tango::DEV_DOUBLE;
        case Kind::Long:
            return Tango::DEV_LONG;
        case Kind::Enum:
            break;
    }
    return Tango::DEV_ENUM;
}

// A setting's attribute, read-write, with the properties of its rule. A
// client may subscribe to its change events without polling: the device
// pushes them.
class SettingAttribute : public Tango::Attr {
  public:
    explicit SettingAttribute(const AttributeRule& settingRule)
        : Tango::Attr(settingRule.name, tangoType(settingRule.kind), Tango::READ_WRITE),
          setting_(settingRule.setting) {
        Tango::UserDefaultAttrProp properties;
        properties.set_description(settingRule.description);
        if (settingRule.kind == Kind::Enum) {
            std::vector<std::string> labels(settingRule.labels.begin(), settingRule.labels.end());
            properties.set_enum_labels(labels);
        } else {
            properties.set_format(settingRule.format);
            properties.set_min_value(settingRule.minimum.c_str());
            properties.set_max_value(settingRule.maximum.c_str());
            if (*settingRule.unit != '\0') {
                properties.set_unit(settingRule.unit);
                properties.set_standard_unit(settingRule.unit);
                properties.set_display_unit(settingRule.unit);
            }
        }
        set_default_properties(properties);
        set_change_event(true, false);
    }
    void read(Tango::DeviceImpl* impl, Tango::Attribute& attribute) override {
        device(impl).readSetting(setting_, attribute);
    }
    void write(Tango::DeviceImpl* impl, Tango::WAttribute& attribute) override {
        device(impl).writeSetting(setting_, attribute);
    }

  private:
    Setting setting_;
};

class IdentityAttribute : public Tango::Attr {
  public:
    IdentityAttribute(const char* name, GeneratorDevice::IdentityField field,
                      const char* description)
        : Tango::Attr(name, Tango::DEV_STRING, Tango::READ), field_(field) {
        Tango::UserDefaultAttrProp properties;
        properties.set_description(description);
        set_default_properties(properties);
    }
    void read(Tango::DeviceImpl* impl, Tango::Attribute& attribute) override {
        device(impl).readIdentity(field_, attribute);
    }

  private:
    GeneratorDevice::IdentityField field_;
};

class RestoreDefaultsCommand : public Tango::Command {
  public:
    RestoreDefaultsCommand()
        : Tango::Command("RestoreDefaults", Tango::DEV_VOID, Tango::DEV_VOID, "", "",
                         Tango::OPERATOR) {}
    CORBA::Any* execute(Tango::DeviceImpl* impl, const CORBA::Any& /*in*/) override {
        device(impl).restoreDefaults();
        return insert();
    }
};

// With --simulate only: the demo bench's plug, for tests and trials without
// a generator.
class PlugCommand : public Tango::Command {
  public:
    PlugCommand(const char* name, bool plugged)
        : Tango::Command(name, Tango::DEV_VOID, Tango::DEV_VOID, "", "", Tango::EXPERT),
          plugged_(plugged) {}
    CORBA::Any* execute(Tango::DeviceImpl* impl, const CORBA::Any& /*in*/) override {
        device(impl).plugSimulated(plugged_);
        return insert();
    }

  private:
    bool plugged_;
};

}  // namespace

GeneratorClass* GeneratorClass::init(const char* name) {
    static GeneratorClass* instance = [name] {
        std::string copy = name;
        return new GeneratorClass(copy);  // Tango owns its classes
    }();
    return instance;
}

GeneratorClass::GeneratorClass(std::string& name) : Tango::DeviceClass(name) {
    set_type(name);
}

void GeneratorClass::attribute_factory(std::vector<Tango::Attr*>& attributes) {
    for (const auto& settingRule : attributeRules()) {
        attributes.push_back(new SettingAttribute(settingRule));
    }
    using Field = GeneratorDevice::IdentityField;
    attributes.push_back(new IdentityAttribute("Manufacturer", Field::Manufacturer,
                                               "The maker, as the generator gives it"));
    attributes.push_back(
        new IdentityAttribute("Product", Field::Product, "The product, as the generator gives it"));
    attributes.push_back(new IdentityAttribute(
        "Version", Field::Version, "The generator's release number, as the window shows it"));
    attributes.push_back(
        new IdentityAttribute("Serial", Field::Serial, "The generator's serial number"));
}

void GeneratorClass::command_factory() {
    command_list.push_back(new RestoreDefaultsCommand);
    if (backend().simulated != nullptr) {
        command_list.push_back(new PlugCommand("SimulateUnplug", false));
        command_list.push_back(new PlugCommand("SimulatePlug", true));
    }
}

void GeneratorClass::device_factory(const Tango::DevVarStringArray* names) {
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        auto* created = new GeneratorDevice(this, std::string((*names)[i].in()));
        device_list.push_back(created);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb) {
            export_device(created);
        } else {
            export_device(created, created->get_name().c_str());
        }
    }
}

}  // namespace tpg::tango
