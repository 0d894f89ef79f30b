// The TrelvixPulseGenerator class: its attributes (from AttributeRules), its
// commands, and one device per name Tango gives it.
#pragma once

#include <tango.h>

#include <string>
#include <vector>

namespace tpg::tango {

class GeneratorClass : public Tango::DeviceClass {
  public:
    // The class's one instance, made at the first call.
    static GeneratorClass* init(const char* name);

  protected:
    explicit GeneratorClass(std::string& name);
    void attribute_factory(std::vector<Tango::Attr*>& attributes) override;
    void command_factory() override;
    void device_factory(const Tango::DevVarStringArray* names) override;
};

}  // namespace tpg::tango
