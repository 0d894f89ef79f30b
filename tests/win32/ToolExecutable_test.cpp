// The executables as a user starts them: each one .exe for 64-bit Windows
// that needs no DLL beside the system's and carries its icon, version record
// and manifest; the two window tools show their window and end cleanly when
// it is closed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/ControlTable.h"
#include "ui/win32/Win32Skin.h"

namespace tpg::test {
namespace {

using ui::ControlId;

std::wstring besideThisTest(const std::wstring& name) {
    wchar_t self[MAX_PATH]{};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

struct Executable {
    const wchar_t* name;
    WORD subsystem;  // the window tools have no console, the command line has one
};
const Executable kExecutables[] = {
    {L"trelvix-pulse.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
    {L"trelvix-pulse-demo.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
    {L"trelvix-pulse-cli.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI},
};

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The DLLs the image imports, read from its import directory.
std::vector<std::string> importedDlls(HMODULE image) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    const auto* import =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
    for (; entry.VirtualAddress != 0 && import->Name != 0; ++import) {
        dlls.push_back(upper(reinterpret_cast<const char*>(base + import->Name)));
    }
    return dlls;
}

TEST(WindowsExecutables, AreSelfContained64BitImages) {
    const std::vector<std::string> system{"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL",
                                          "HID.DLL", "SETUPAPI.DLL", "MSVCRT.DLL", "ADVAPI32.DLL",
                                          "OLE32.DLL", "OLEACC.DLL", "OLEAUT32.DLL",
                                          // the command line's SCPI server: Windows Sockets
                                          "WS2_32.DLL", "MSWSOCK.DLL"};
    for (const auto& [exe, subsystem] : kExecutables) {
        SCOPED_TRACE(testing::Message() << std::string(exe, exe + lstrlenW(exe)));
        HMODULE image =
            LoadLibraryExW(besideThisTest(exe).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(image, nullptr);
        const auto* base = reinterpret_cast<const std::uint8_t*>(image);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
        EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
        EXPECT_EQ(nt->OptionalHeader.Subsystem, subsystem);
        const auto dlls = importedDlls(image);
        EXPECT_FALSE(dlls.empty());
        for (const auto& dll : dlls) {
            EXPECT_NE(std::find(system.begin(), system.end(), dll), system.end())
                << dll << " is not part of Windows";
        }
        FreeLibrary(image);
    }
}

std::string versionString(const std::vector<std::uint8_t>& info, const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) {
        return {};
    }
    const auto* text = static_cast<const wchar_t*>(value);
    return std::string(text, text + lstrlenW(text));
}

TEST(WindowsExecutables, CarryIconVersionRecordAndManifest) {
    for (const auto& executable : kExecutables) {
        const wchar_t* exe = executable.name;
        const std::string name(exe, exe + lstrlenW(exe));
        SCOPED_TRACE(name);
        const std::wstring path = besideThisTest(exe);
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);

        // The icon: two images, 32 and 16 pixels, 16 colours each.
        HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
        ASSERT_NE(group, nullptr);
        const auto* dir =
            static_cast<const std::uint8_t*>(LockResource(LoadResource(module, group)));
        ASSERT_NE(dir, nullptr);
        const int images = dir[4] | dir[5] << 8;
        ASSERT_EQ(images, 2);
        std::vector<int> sizes;
        for (int i = 0; i < images; ++i) {
            const std::uint8_t* entry = dir + 6 + static_cast<std::ptrdiff_t>(14) * i;
            sizes.push_back(entry[0]);
            EXPECT_EQ(entry[2], 16) << "colours";
        }
        EXPECT_EQ(sizes, (std::vector<int>{32, 16}));

        // The manifest: common controls 6, per-monitor DPI awareness.
        HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        ASSERT_NE(manifest, nullptr);
        const std::string xml(
            static_cast<const char*>(LockResource(LoadResource(module, manifest))),
            SizeofResource(module, manifest));
        EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
        EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
        EXPECT_NE(xml.find("PerMonitorV2"), std::string::npos);
        FreeLibrary(module);

        // The version record.
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0U);
        std::vector<std::uint8_t> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
        EXPECT_EQ(versionString(info, L"ProductName"), "Trelvix Pulse Generator");
        EXPECT_EQ(versionString(info, L"OriginalFilename"), name);
        EXPECT_EQ(versionString(info, L"FileVersion"), TPG_VERSION_TEXT);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDU);
        EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), TPG_VERSION_MAJOR);
        EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), TPG_VERSION_MINOR);
    }
}

struct Found {
    DWORD process;
    const wchar_t* windowClass;
    HWND window;
};

BOOL CALLBACK findWindowOf(HWND hwnd, LPARAM param) {
    auto& found = *reinterpret_cast<Found*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t cls[64]{};
    GetClassNameW(hwnd, cls, 64);
    if (process == found.process && lstrcmpW(cls, found.windowClass) == 0 &&
        IsWindowVisible(hwnd)) {
        found.window = hwnd;
        return FALSE;
    }
    return TRUE;
}

// One of the executables, started as a user starts it. Whatever a test
// finds, the process does not outlive it.
class Started {
  public:
    explicit Started(const wchar_t* exe, const std::wstring& arguments = L"") {
        std::wstring commandLine = L"\"" + besideThisTest(exe) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != 0;
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    ~Started() {
        if (started_) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 1);
            }
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }

    bool started() const { return started_; }
    // The process's visible window of the class, waited for up to 15 s
    // (by default).
    HWND window(const wchar_t* windowClass, int waits = 300) const {
        Found found{process_.dwProcessId, windowClass, nullptr};
        for (int wait = 0; started_ && wait <= waits && found.window == nullptr; ++wait) {
            EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&found));
            if (found.window == nullptr && wait < waits) {
                Sleep(50);
            }
        }
        return found.window;
    }
    bool running() const {
        DWORD code = 0;
        return GetExitCodeProcess(process_.hProcess, &code) && code == STILL_ACTIVE;
    }
    // Closes the window and waits for the end; the exit code, or -1.
    long closeAndWait(HWND window) const {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return exitCode();
    }
    // Presses OK in a message box and waits for the end; the exit code, or -1.
    long okAndWait(HWND box) const {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return exitCode();
    }

  private:
    long exitCode() const {
        DWORD code = 0;
        if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.hProcess, &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

HWND child(HWND window, ControlId id) {
    return GetDlgItem(window, ui::win32::Win32Skin::kControlIdBase + ui::row(id).index);
}

std::wstring textOf(HWND hwnd) {
    // Long enough for the help's message box.
    wchar_t text[1024]{};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                        nullptr);
    return text;
}

std::wstring selectedSerial(HWND window) {
    const HWND serNo = child(window, ControlId::SerNo);
    const auto index = SendMessageW(serNo, CB_GETCURSEL, 0, 0);
    wchar_t text[64]{};
    if (index != CB_ERR) {
        SendMessageW(serNo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
    }
    return text;
}

struct StartCase {
    const wchar_t* exe;
    int serialNumbers;  // entries of SerNo once started
    const wchar_t* selected;
    const wchar_t* manufacturer;
    bool settingsUsable;
};

TEST(WindowsExecutables, StartShowingTheirWindowAndEndCleanlyOnWmClose) {
    const StartCase cases[] = {
        // No generator: the empty window that goes on searching.
        {L"trelvix-pulse.exe", 0, L"", L"", false},
        // The demo's two simulated generators: the last one is open and shown.
        {L"trelvix-pulse-demo.exe", 2, L"TPG35-20652", L" Trelvix Instruments", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.exe, c.exe + lstrlenW(c.exe)));
        const Started exe(c.exe);
        ASSERT_TRUE(exe.started());
        const HWND window = exe.window(ui::win32::Win32Skin::kWindowClass);
        ASSERT_NE(window, nullptr) << "no window within 15 s";
        EXPECT_EQ(textOf(window), L"Trelvix Pulse Generator");

        // A few timer ticks later, still the same picture.
        Sleep(400);
        const HWND serNo = child(window, ControlId::SerNo);
        EXPECT_EQ(SendMessageW(serNo, CB_GETCOUNT, 0, 0), c.serialNumbers);
        EXPECT_EQ(selectedSerial(window), c.selected);
        EXPECT_EQ(IsWindowEnabled(serNo) != 0, c.serialNumbers > 1);
        EXPECT_EQ(textOf(child(window, ControlId::lblManuf)), c.manufacturer);
        for (const ControlId id : {ControlId::Foutput, ControlId::SetFout, ControlId::Factory,
                                   ControlId::ext_trig_dir, ControlId::Vout}) {
            EXPECT_EQ(IsWindowEnabled(child(window, id)) != 0, c.settingsUsable)
                << ui::row(id).name;
        }
        EXPECT_TRUE(exe.running());
        EXPECT_EQ(exe.closeAndWait(window), 0);
    }
}

// --help and --version show their text in a message box, with other
// arguments ignored, and end without opening the window. The box wraps the
// help's paragraphs itself; the option list keeps its lines.
TEST(WindowsExecutables, TheToolAnswersHelpAndVersionInAMessageBox) {
    const struct {
        const wchar_t* arguments;
        const wchar_t* firstLine;
        const wchar_t* within;
    } cases[] = {
        {L"--version", L"trelvix-pulse " TPG_VERSION_TEXT, L""},
        {L"/ignored --version", L"trelvix-pulse " TPG_VERSION_TEXT, L""},
        {L"--help", L"Usage: trelvix-pulse [--help | --version]",
         L"\n\nOpens the configuration window for the Trelvix Pulse Generators attached by USB: "
         L"pick a generator"},
        {L"--version -h", L"Usage: trelvix-pulse [--help | --version]",
         L"trelvix-pulse-cli.\n\n  --help     this help\n  --version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.arguments, c.arguments + lstrlenW(c.arguments)));
        const Started exe(L"trelvix-pulse.exe", c.arguments);
        ASSERT_TRUE(exe.started());
        const HWND box = exe.window(L"#32770");
        ASSERT_NE(box, nullptr) << "no message box within 15 s";
        const std::wstring text = textOf(GetDlgItem(box, 0xFFFF));
        EXPECT_EQ(text.substr(0, text.find(L'\n')), c.firstLine);
        EXPECT_NE(text.find(c.within), std::wstring::npos);
        EXPECT_EQ(exe.window(ui::win32::Win32Skin::kWindowClass, 0), nullptr);
        EXPECT_EQ(exe.okAndWait(box), 0);
    }
}

TEST(WindowsExecutables, TheDemosBenchWindowUnplugsAndPlugsGenerators) {
    const Started exe(L"trelvix-pulse-demo.exe");
    ASSERT_TRUE(exe.started());
    const HWND window = exe.window(ui::win32::Win32Skin::kWindowClass);
    const HWND bench = exe.window(L"TrelvixPulseDemoBench");
    ASSERT_NE(window, nullptr);
    ASSERT_NE(bench, nullptr);
    const HWND list = GetDlgItem(bench, 1);
    const HWND plugButton = GetDlgItem(bench, 2);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);

    // Unplugging the open generator: the monitor drops it and opens the other.
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    SendMessageW(plugButton, BM_CLICK, 0, 0);
    for (int wait = 0; wait < 60 && selectedSerial(window) != L"TPG35-20417"; ++wait) {
        Sleep(50);
    }
    EXPECT_EQ(selectedSerial(window), L"TPG35-20417");
    EXPECT_EQ(SendMessageW(child(window, ControlId::SerNo), CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(textOf(child(window, ControlId::Foutput)), L"25000000");
    EXPECT_EQ(textOf(plugButton), L"Plug in");

    // Plugged in again: the window stays with the open generator, since the
    // list is rebuilt only while none is open.
    SendMessageW(plugButton, BM_CLICK, 0, 0);
    Sleep(700);
    EXPECT_EQ(selectedSerial(window), L"TPG35-20417");
    EXPECT_EQ(textOf(plugButton), L"Unplug");
    EXPECT_EQ(exe.closeAndWait(window), 0);
}

}  // namespace
}  // namespace tpg::test
