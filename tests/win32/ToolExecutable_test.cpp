// The two executables as a user starts them: each one .exe for 64-bit
// Windows that needs no DLL beside the system's, carries its icon, version
// record and manifest, shows its window and ends cleanly when it is closed.
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

const wchar_t* const kExecutables[] = {L"trelvix-pulse.exe", L"trelvix-pulse-demo.exe"};

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

TEST(WindowsExecutables, AreSelfContained64BitGuiImages) {
    const std::vector<std::string> system{"KERNEL32.DLL", "USER32.DLL",  "GDI32.DLL",
                                          "COMCTL32.DLL", "HID.DLL",     "SETUPAPI.DLL",
                                          "MSVCRT.DLL",   "ADVAPI32.DLL"};
    for (const wchar_t* exe : kExecutables) {
        SCOPED_TRACE(testing::Message() << std::string(exe, exe + lstrlenW(exe)));
        HMODULE image =
            LoadLibraryExW(besideThisTest(exe).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(image, nullptr);
        const auto* base = reinterpret_cast<const std::uint8_t*>(image);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
        EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
        EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI) << "no console";
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
    for (const wchar_t* exe : kExecutables) {
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
    HWND window;
};

BOOL CALLBACK findToolWindow(HWND hwnd, LPARAM param) {
    auto& found = *reinterpret_cast<Found*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t cls[64]{};
    GetClassNameW(hwnd, cls, 64);
    if (process == found.process && lstrcmpW(cls, ui::win32::Win32Skin::kWindowClass) == 0 &&
        IsWindowVisible(hwnd)) {
        found.window = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND child(HWND window, ControlId id) {
    return GetDlgItem(window, ui::win32::Win32Skin::kControlIdBase + ui::row(id).index);
}

std::wstring textOf(HWND hwnd) {
    wchar_t text[256]{};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                        nullptr);
    return text;
}

struct StartCase {
    const wchar_t* exe;
    int serialNumbers;  // entries of SerNo once started
    const wchar_t* manufacturer;
    bool settingsUsable;
};

TEST(WindowsExecutables, StartShowingTheirWindowAndEndCleanlyOnWmClose) {
    const StartCase cases[] = {
        // No generator: the empty window that goes on searching.
        {L"trelvix-pulse.exe", 0, L"", false},
        // Two simulated generators: the last one is open and shown.
        {L"trelvix-pulse-demo.exe", 2, L" Trelvix Instruments", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.exe, c.exe + lstrlenW(c.exe)));
        std::wstring commandLine = L"\"" + besideThisTest(c.exe) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process));

        Found found{process.dwProcessId, nullptr};
        for (int wait = 0; wait < 300 && found.window == nullptr; ++wait) {
            Sleep(50);
            EnumWindows(findToolWindow, reinterpret_cast<LPARAM>(&found));
        }
        ASSERT_NE(found.window, nullptr) << "no window within 15 s";
        EXPECT_EQ(textOf(found.window), L"Trelvix Pulse Generator");

        // A few timer ticks later, still the same picture.
        Sleep(400);
        const HWND serNo = child(found.window, ControlId::SerNo);
        EXPECT_EQ(SendMessageW(serNo, CB_GETCOUNT, 0, 0), c.serialNumbers);
        EXPECT_EQ(IsWindowEnabled(serNo) != 0, c.serialNumbers > 1);
        EXPECT_EQ(textOf(child(found.window, ControlId::lblManuf)), c.manufacturer);
        for (const ControlId id : {ControlId::Foutput, ControlId::SetFout, ControlId::Factory,
                                   ControlId::ext_trig_dir, ControlId::Vout}) {
            EXPECT_EQ(IsWindowEnabled(child(found.window, id)) != 0, c.settingsUsable)
                << ui::row(id).name;
        }
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeProcess(process.hProcess, &code));
        EXPECT_EQ(code, STILL_ACTIVE);

        PostMessageW(found.window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
        ASSERT_TRUE(GetExitCodeProcess(process.hProcess, &code));
        EXPECT_EQ(code, 0U);
        if (code == STILL_ACTIVE) {
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace
}  // namespace tpg::test
