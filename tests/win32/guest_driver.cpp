// tpg_wine_driver BENCH_FOLDER SCREENSHOT: the scenario of the Wine guest on
// a real kernel. The generator bench beside it (reached through BENCH_FOLDER)
// has plugged in two virtual generators and a foreign HID device before Wine
// started; this program starts the real trelvix-pulse.exe from beside
// itself, works its window with window messages, has the bench unplug and
// plug generators, and checks the window and what each device received.
// Prints one line per check, the time each part took and a closing "RESULT"
// line; exits non-zero when any check failed.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchProtocol.h"
#include "RemoteTool.h"
#include "RequestChannel.h"
#include "Screenshot.h"
#include "SentReports.h"
#include "hid/win32/WindowsHidPlatform.h"
#include "link/DeviceLink.h"

namespace {

using tpg::protocol::DeviceState;
using tpg::test::RemoteTool;
using tpg::test::waitUntil;
using tpg::ui::ControlId;
namespace bench = tpg::guestbench;

int passed = 0;
int failed = 0;
DWORD scenarioStart = 0;

bool check(bool ok, const std::string& what, const std::string& detail = {}) {
    (ok ? passed : failed)++;
    std::printf("%s %d - %s", ok ? "ok" : "not ok", passed + failed, what.c_str());
    if (!ok && !detail.empty()) {
        std::printf(" (%s)", detail.c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    return ok;
}

void checkEqual(const std::string& actual, const std::string& expected, const std::string& what) {
    check(actual == expected, what, "got \"" + actual + "\", expected \"" + expected + "\"");
}
void checkEqual(long long actual, long long expected, const std::string& what) {
    check(actual == expected, what,
          "got " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

void note(const std::string& text) {
    std::printf("# %s (at %lu s)\n", text.c_str(),
                static_cast<unsigned long>((GetTickCount() - scenarioStart) / 1000));
    std::fflush(stdout);
}

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

// How long the window may take to react to a device that comes or goes:
// Wine notices a hidraw node within a second or so under emulation, the
// tool at its next tick.
constexpr DWORD kReactionMs = 60000;
// The window's first appearance: Wine starts its services first.
constexpr DWORD kStartMs = 240000;

// The generator bench, through the shared folder.
class Bench {
  public:
    explicit Bench(const std::string& folder) : channel_(folder) {}

    bool plug(const std::string& kind, const std::string& serial, const DeviceState& state) {
        const auto reply = ask(bench::formatPlug({kind, serial, state}));
        return check(reply.rfind("ok ", 0) == 0, kind + " device " + serial + " plugged in", reply);
    }
    bool unplug(const std::string& serial) {
        const auto reply = ask("unplug " + serial);
        check(reply == "ok\n", serial + " unplugged", reply);
        return reply == "ok\n";
    }
    // What reached the device since the last take; nothing when the bench
    // gave no proper answer (which fails a check).
    bench::Received take(const std::string& serial) {
        const auto reply = ask("take " + serial);
        std::string error;
        auto received = bench::parseReceived(reply, error);
        if (!received) {
            check(false, "the bench reports what reached " + serial, error);
            return {-1, {}};
        }
        return *received;
    }
    // The devices plugged in, with their settings now; empty when the bench
    // gave no proper answer (which fails a check).
    std::vector<bench::PlugRequest> list() {
        std::string error;
        auto devices = bench::parseList(ask("list"), error);
        if (!devices) {
            check(false, "the bench lists its devices", error);
        }
        return devices.value_or(std::vector<bench::PlugRequest>{});
    }
    // The settings the generator holds now.
    DeviceState state(const std::string& serial) {
        for (const auto& device : list()) {
            if (device.serial == serial) {
                return device.state;
            }
        }
        check(false, "the bench knows " + serial);
        return {};
    }
    void quit() { ask("quit"); }

  private:
    std::string ask(const std::string& request) {
        std::string error;
        auto reply = channel_.ask(request, std::chrono::seconds(20), error);
        return reply ? *reply : "error " + error;
    }
    bench::RequestChannel channel_;
};

const DeviceState kStateA2{300000000, 100, 1, 0, 5000000};
const DeviceState kStateB2{777777, 42, 0, 1, 2000000};
const DeviceState kFactory{10000000, 339, 1, 0, 10000000};

const std::string kA = "TPG-A-0001";
const std::string kB = "TPG-B-0002";
const std::string kForeign = "FD-0001";

// The identity a uhid generator shows through Wine: it has no USB parent,
// so Wine has no manufacturer string and version of a USB device to give.
struct Identity {
    std::string manufacturer;
    std::string product;
    std::string version;
};
const Identity kUhidIdentity{" hidraw", " Trelvix Pulse Generator", " 0.00"};
// A generator on the USB stack: Wine 8's hidraw backend takes the release
// (bcdDevice) and the serial number from the USB device, the product name from
// the HID device's name (usbhid joins the USB manufacturer and product
// strings) and has no manufacturer of its own to give.
const Identity kUsbIdentity{" hidraw", " Trelvix Trelvix Pulse Generator", " 1.03"};
const DeviceState kStateU{4000000, 250, 0, 1, 123456789};
const std::string kUsb = "TPG-U-0003";

void checkShows(const RemoteTool& tool, const DeviceState& s, const std::string& who) {
    checkEqual(tool.text(ControlId::Foutput), std::to_string(s.pulseFrequency),
               who + ": pulse frequency shown");
    checkEqual(tool.selected(ControlId::Vout), s.amplitudeIndex, who + ": amplitude selected");
    checkEqual(tool.selected(ControlId::polarity), s.polarityIndex, who + ": polarity selected");
    checkEqual(tool.selected(ControlId::ext_trig_dir), s.triggerSyncFunction,
               who + ": trigger/sync function selected");
    checkEqual(tool.text(ControlId::ext_sync_freq), std::to_string(s.syncFrequency),
               who + ": sync frequency shown");
}

void checkIdentity(const RemoteTool& tool, const Identity& identity, const std::string& who) {
    checkEqual(tool.text(ControlId::lblManuf), identity.manufacturer, who + ": maker shown");
    checkEqual(tool.text(ControlId::lblProduct), identity.product, who + ": product shown");
    checkEqual(tool.text(ControlId::lblVersion), identity.version, who + ": version shown");
}

void checkReceived(Bench& b, const std::string& serial, const std::vector<tpg::test::Bytes>& sent,
                   const std::string& what) {
    const auto got = b.take(serial).setReports;
    std::string detail = std::to_string(got.size()) + " reports";
    bool same = got.size() == sent.size();
    for (std::size_t i = 0; same && i < got.size(); ++i) {
        same = got[i] == sent[i];
        if (!same) {
            detail = "report " + std::to_string(i + 1) + " was " + bench::toHex(got[i]);
        }
    }
    check(same, what, detail);
}

void checkNothingReached(Bench& b, const std::string& serial, const std::string& when) {
    checkEqual(static_cast<long long>(b.take(serial).setReports.size()), 0,
               "nothing sent to " + serial + " " + when);
}

std::wstring besideThisProgram(const std::wstring& name) {
    wchar_t self[MAX_PATH]{};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// The window shows a generator once its pulse frequency text is there.
bool showsGenerator(const RemoteTool& tool, const std::vector<std::string>& serials) {
    return tool.items(ControlId::SerNo) == serials && !tool.text(ControlId::Foutput).empty();
}

// The present HID interfaces that Windows programs see with the generator's
// IDs, counted the way the tool's walk finds them.
int presentGenerators() {
    tpg::hid::win32::WindowsHidPlatform platform;
    std::vector<std::string> paths;
    platform.listInterfaces(paths);
    int count = 0;
    for (const auto& path : paths) {
        const auto handle =
            platform.open(path, tpg::hid::OpenMode::Plain, tpg::hid::SecurityAttributes{});
        tpg::hid::Attributes attributes;
        if (tpg::hid::isOpen(handle) && platform.getAttributes(handle, attributes) != 0 &&
            attributes.vendorId == tpg::link::kGeneratorVendorId &&
            attributes.productId == tpg::link::kGeneratorProductId) {
            ++count;
        }
        platform.close(handle);
    }
    return count;
}

// What Windows programs see of the HID devices, one line each: for a failed
// check that depends on them.
void describeInterfaces() {
    tpg::hid::win32::WindowsHidPlatform platform;
    std::vector<std::string> paths;
    platform.listInterfaces(paths);
    note(std::to_string(paths.size()) + " HID interfaces present");
    for (const auto& path : paths) {
        const auto handle =
            platform.open(path, tpg::hid::OpenMode::Plain, tpg::hid::SecurityAttributes{});
        const DWORD error = GetLastError();
        tpg::hid::Attributes attributes;
        std::string line = path + ": ";
        if (!tpg::hid::isOpen(handle)) {
            line += "open fails, error " + std::to_string(error);
        } else if (platform.getAttributes(handle, attributes) != 0) {
            char ids[16];
            std::snprintf(ids, sizeof(ids), "%04X:%04X", attributes.vendorId, attributes.productId);
            line += ids;
        }
        platform.close(handle);
        note(line);
    }
}

struct BadInput {
    ControlId box;
    ControlId button;
    const char* typed;
    const char* title;
    const char* message;
    const char* after;
};

void run(Bench& b, const std::string& screenshot) {
    // --- the devices, then the tool ---
    std::vector<std::string> plugged;
    for (const auto& device : b.list()) {
        plugged.push_back(device.kind + " " + device.serial);
    }
    checkEqual(join(plugged), "foreign " + kForeign + ",uhid " + kA + ",uhid " + kB,
               "the bench has plugged in the foreign device and two generators");
    if (plugged.size() != 3) {
        return;
    }
    // The desktop first: the first window of the session starts Wine's
    // desktop process, and a program whose window comes before the desktop
    // is up for good gets none.
    DWORD from = GetTickCount();
    check(GetDesktopWindow() != nullptr && EnumWindows([](HWND, LPARAM) { return TRUE; }, 0),
          "the desktop is there");
    note("desktop up after " + std::to_string((GetTickCount() - from) / 1000) + " s");
    // Wine's HID bus driver walks the hidraw nodes when it starts: the tool
    // starts once both generators are there.
    from = GetTickCount();
    check(waitUntil([] { return presentGenerators() == 2; }, kStartMs, 500),
          "Wine presents both generators as HID devices",
          std::to_string(presentGenerators()) + " present");
    note("Wine presented them after " + std::to_string((GetTickCount() - from) / 1000) + " s");
    RemoteTool tool;
    check(tool.start(besideThisProgram(L"trelvix-pulse.exe")), "trelvix-pulse.exe started");
    const DWORD launched = GetTickCount();
    if (tool.waitForWindow(kStartMs) == nullptr) {
        check(false, "the tool's window appeared");
        return;
    }
    note("window up after " + std::to_string((GetTickCount() - launched) / 1000) + " s");
    checkEqual(tool.text(ControlId::Frame1), "Device details", "the tool's own window found");

    // --- start-up: both listed, the last one opened and shown ---
    const auto listed = tool.items(ControlId::SerNo);
    check(listed == std::vector<std::string>{kA, kB} || listed == std::vector<std::string>{kB, kA},
          "start-up lists both generators", join(listed));
    if (listed.size() != 2) {
        return;
    }
    const std::string& open = listed.back();
    const std::string& other = listed.front();
    checkEqual(tool.text(ControlId::SerNo), open, "the generator listed last is selected");
    check(tool.enabled(ControlId::SerNo), "the list of two is enabled");
    checkShows(tool, b.state(open), open);
    checkIdentity(tool, kUhidIdentity, open);
    const auto startRead = b.take(open);
    check(startRead.getReports >= 1, open + "'s state read at start-up",
          std::to_string(startRead.getReports) + " reads");
    checkEqual(static_cast<long long>(startRead.setReports.size()), 0,
               "the read-back sends nothing to " + open);
    checkEqual(b.take(other).getReports, 0, other + " not read");

    const auto image = tpg::test::captureWindow(tool.window());
    std::map<std::uint32_t, int> colours;
    for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        ++colours[image.pixels[i] << 16 | image.pixels[i + 1] << 8 | image.pixels[i + 2]];
    }
    check(tpg::test::writePng(screenshot, image) && image.width > 400 && colours.size() > 8,
          "screenshot of the filled window written",
          std::to_string(image.width) + "x" + std::to_string(image.height) + ", " +
              std::to_string(colours.size()) + " colours");

    // --- bad input: a message box, closed with OK; nothing sent ---
    const BadInput badInputs[] = {
        {ControlId::Foutput, ControlId::SetFout, "abc", "Bad input", "Enter pulse frequency in Hz",
         "abc"},
        {ControlId::Foutput, ControlId::SetFout, "5", "Bad data range",
         "Pulse frequency is between 25kHz and 350MHz", "25000"},
        {ControlId::ext_sync_freq, ControlId::SetFsync, "400000000", "Bad data range",
         "External sync frequency is between 1MHz and 300MHz", "300000000"},
    };
    for (const auto& bad : badInputs) {
        const std::string what = std::string(tpg::ui::row(bad.box).name) + " \"" + bad.typed + "\"";
        tool.type(bad.box, bad.typed);
        const auto box = tool.clickExpectingBox(bad.button, kReactionMs);
        check(box.has_value(), what + ": a message box");
        if (box) {
            checkEqual(box->title, bad.title, what + ": box title");
            checkEqual(box->text, bad.message, what + ": box text");
            checkEqual(box->buttons, 1, what + ": one button");
        }
        checkEqual(tool.text(bad.box), bad.after, what + ": text afterwards");
        check(tool.focused() == bad.box, what + ": the focus back in the box");
        checkNothingReached(b, open, "for " + what);
    }

    // --- the five commands, with their bytes ---
    using tpg::test::report;
    tool.type(ControlId::Foutput, "10000000");
    tool.click(ControlId::SetFout);
    tool.pick(ControlId::Vout, 339);
    tool.pick(ControlId::polarity, 1);
    tool.pick(ControlId::ext_trig_dir, 1);
    tool.type(ControlId::ext_sync_freq, "300000000");
    tool.click(ControlId::SetFsync);
    checkReceived(
        b, open,
        {report({0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}), report({0x00, 0x02, 0x00, 0x53, 0x01}),
         report({0x00, 0x03, 0x00, 0x01, 0x00}), report({0x00, 0x05, 0x00, 0x01, 0x00}),
         report({0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11})},
        "five commands reach " + open + " with their bytes, 65 each");

    // --- restore defaults: eight reports in order ---
    tool.click(ControlId::Factory);
    checkReceived(b, open, tpg::test::restoreDefaultsReports(),
                  "restore defaults sends the eight reports in order");
    checkShows(tool, kFactory, "after restoring the defaults");
    check(!tool.enabled(ControlId::ext_sync_freq),
          "the sync frequency greyed for a trigger output");
    checkNothingReached(b, other, "while " + open + " was open");
    note("commands done");

    // --- a switch by serial number ---
    tool.pick(ControlId::SerNo, 0);
    checkEqual(tool.text(ControlId::SerNo), other, "switched to " + other);
    checkShows(tool, b.state(other), other + " after the switch");
    checkIdentity(tool, kUhidIdentity, other);
    tool.pick(ControlId::Vout, 200);
    checkReceived(b, other, {report({0x00, 0x02, 0x00, 0xC8, 0x00})}, "a setting reaches " + other);
    checkNothingReached(b, open, "after the switch away from it");

    // --- the open generator unplugged: the other one taken ---
    from = GetTickCount();
    b.unplug(other);
    check(waitUntil([&] { return showsGenerator(tool, {open}); }, kReactionMs),
          "the other generator taken after the unplug", join(tool.items(ControlId::SerNo)));
    note(open + " shown " + std::to_string(GetTickCount() - from) + " ms after the unplug");
    checkShows(tool, b.state(open), open);
    checkNothingReached(b, open, "on taking over");

    // --- and that one too: the window cleared ---
    from = GetTickCount();
    b.unplug(open);
    check(waitUntil(
              [&] {
                  return tool.items(ControlId::SerNo).empty() &&
                         tool.text(ControlId::Foutput).empty();
              },
              kReactionMs),
          "the window cleared with no generator left");
    note("cleared " + std::to_string(GetTickCount() - from) + " ms after the unplug");
    checkEqual(tool.text(ControlId::lblProduct), "", "no product shown");
    check(!tool.enabled(ControlId::Vout) && !tool.enabled(ControlId::SerNo),
          "the amplitude and the list greyed");

    // --- a generator on the USB stack: listed, shown with its USB identity ---
    from = GetTickCount();
    b.plug("usb", kUsb, kStateU);
    if (!check(waitUntil([&] { return showsGenerator(tool, {kUsb}); }, kReactionMs),
               "the USB generator listed and shown", join(tool.items(ControlId::SerNo)))) {
        describeInterfaces();
    }
    note(kUsb + " shown " + std::to_string(GetTickCount() - from) + " ms after the plug");
    checkShows(tool, b.state(kUsb), kUsb);
    checkIdentity(tool, kUsbIdentity, kUsb);
    tool.pick(ControlId::Vout, 200);
    tool.type(ControlId::Foutput, "350000000");
    tool.click(ControlId::SetFout);
    checkReceived(b, kUsb,
                  {report({0x00, 0x02, 0x00, 0xC8, 0x00}),
                   report({0x00, 0x01, 0x00, 0x80, 0x93, 0xDC, 0x14})},
                  "two settings reach the USB generator with their bytes");
    b.unplug(kUsb);
    check(waitUntil(
              [&] {
                  return tool.items(ControlId::SerNo).empty() &&
                         tool.text(ControlId::Foutput).empty();
              },
              kReactionMs),
          "the window cleared when the USB generator is unplugged");

    // --- plugged in again: listed, opened and shown ---
    from = GetTickCount();
    b.plug("uhid", open, kStateB2);
    if (!check(waitUntil([&] { return showsGenerator(tool, {open}); }, kReactionMs),
               open + " listed and shown again after replugging",
               join(tool.items(ControlId::SerNo)))) {
        describeInterfaces();
    }
    note(open + " shown again " + std::to_string(GetTickCount() - from) + " ms after the plug");
    checkShows(tool, b.state(open), open + " again");
    checkIdentity(tool, kUhidIdentity, open + " again");

    // --- another one plugged in while one is open: not listed until the
    //     open one goes ---
    b.plug("uhid", other, kStateA2);
    check(waitUntil([] { return presentGenerators() == 2; }, kReactionMs, 500),
          "Wine presents " + other + " again");
    Sleep(2000);  // several ticks of the tool
    checkEqual(join(tool.items(ControlId::SerNo)), open,
               "the list is not rebuilt while " + open + " is open");
    checkShows(tool, b.state(open), open + " still");

    // --- closing: the program ends, nothing sent ---
    tool.close();
    const auto code = tool.waitForExit(kReactionMs);
    check(code.has_value(), "WM_CLOSE ends the program");
    checkEqual(code.value_or(~0UL), 0, "its exit code");
    checkNothingReached(b, open, "at exit");
    checkNothingReached(b, other, "at exit");
    const auto foreign = b.take(kForeign);
    checkEqual(foreign.getReports, 0, "the foreign device was never asked for a report");
    checkEqual(static_cast<long long>(foreign.setReports.size()), 0,
               "the foreign device never received a report");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tpg_wine_driver BENCH_FOLDER SCREENSHOT\n");
        return 2;
    }
    scenarioStart = GetTickCount();
    Bench b(argv[1]);
    run(b, argv[2]);
    b.quit();
    std::printf("scenario took %lu s\n",
                static_cast<unsigned long>((GetTickCount() - scenarioStart) / 1000));
    std::printf("RESULT: %d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}
