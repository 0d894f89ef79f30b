// The uevent text of a HID device and its HID_ID field, over any bytes.
//
// A value found for a key is the rest of the first line that starts with
// "KEY=", compared with a plain line split; it never holds a line end.
// HID_ID is accepted exactly when it is three colon-separated fields of one
// to eight hexadecimal digits each, all at most 0xFFFF; what is accepted
// prints back and parses to the same IDs. IDs written by a device in any
// width and case are read back as written.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Check.h"
#include "hid/linux/SysfsHidraw.h"

namespace {

using tpg::hid::hidraw::parseHidId;
using tpg::hid::hidraw::ueventValue;

struct Ids {
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const Ids&) const = default;
};

std::optional<Ids> parse(const std::string& text) {
    Ids ids;
    if (!parseHidId(text, ids.bus, ids.vendor, ids.product)) {
        return std::nullopt;
    }
    return ids;
}

// The same field found by splitting the text into lines with the library.
std::optional<std::string> valueByLines(const std::string& uevent, const std::string& key) {
    std::istringstream lines(uevent);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
    }
    return std::nullopt;
}

// HID_ID read field by field: exactly three fields, each 1 to 8 hex digits.
std::optional<Ids> idsByFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() != 3) {
        return std::nullopt;
    }
    std::array<unsigned long, 3> values{};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string& f = fields[i];
        if (f.empty() || f.size() > 8) {
            return std::nullopt;
        }
        for (const char c : f) {
            if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
                return std::nullopt;
            }
        }
        values[i] = std::stoul(f, nullptr, 16);
        if (values[i] > 0xFFFF) {
            return std::nullopt;
        }
    }
    return Ids{static_cast<std::uint16_t>(values[0]), static_cast<std::uint16_t>(values[1]),
               static_cast<std::uint16_t>(values[2])};
}

// Hexadecimal digits of value, zero-padded to width, in either case.
std::string hex(unsigned value, int width, bool upper) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), upper ? "%0*X" : "%0*x", width, value);
    return text.data();
}

void checkUevent(const std::string& uevent) {
    for (const std::string key : {"HID_ID", "HID_NAME", "HID_UNIQ", "HID_PHYS", "DRIVER"}) {
        const auto value = ueventValue(uevent, key);
        FUZZ_CHECK(value == valueByLines(uevent, key));
        if (value) {
            FUZZ_CHECK(value->find('\n') == std::string::npos);
        }
    }
    // HID_ID as the layer reads it, and anything else as if it were one.
    for (const auto& text : {ueventValue(uevent, "HID_ID").value_or(""), uevent}) {
        const auto ids = parse(text);
        FUZZ_CHECK(ids == idsByFields(text));
        if (ids) {
            const std::string printed = hex(ids->bus, 4, true) + ":" + hex(ids->vendor, 8, true) +
                                        ":" + hex(ids->product, 8, true);
            FUZZ_CHECK(parse(printed) == ids);
        }
    }
}

// A uevent as the kernel writes it, with IDs from the input in any width
// from the digits they need to eight, upper or lower case.
void checkWrittenIds(FuzzedDataProvider& in) {
    const Ids ids{in.ConsumeIntegral<std::uint16_t>(), in.ConsumeIntegral<std::uint16_t>(),
                  in.ConsumeIntegral<std::uint16_t>()};
    const bool upper = in.ConsumeBool();
    std::string id;
    for (const std::uint16_t v : {ids.bus, ids.vendor, ids.product}) {
        if (!id.empty()) {
            id += ':';
        }
        id += hex(v, in.ConsumeIntegralInRange(1, 8), upper);
    }
    const std::string before = in.ConsumeRandomLengthString(64);
    const std::string after = in.ConsumeRandomLengthString(64);
    // Lines before and after that cannot be taken for HID_ID.
    const bool clash = before.find("HID_ID=") != std::string::npos;
    const std::string uevent =
        "DRIVER=hid-generic\n" + (clash ? "" : before + "\n") + "HID_ID=" + id + "\n" + after;
    const auto value = ueventValue(uevent, "HID_ID");
    FUZZ_CHECK(value == id);
    FUZZ_CHECK(parse(*value) == ids);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkUevent(std::string(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider in(data, size);
    checkWrittenIds(in);
    return 0;
}
