// trelvix-pulse-cli.exe as a script runs it: its exit status and what it
// writes to standard output and standard error, here without a generator.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace tpg::test {
namespace {

struct Ran {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::wstring cliBesideThisTest() {
    wchar_t self[MAX_PATH]{};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"trelvix-pulse-cli.exe";
}

// Everything a pipe delivers until its writer has gone.
std::string drain(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    return text;
}

// Runs the program with arguments, its output and errors into two pipes
// that hold all of what these commands write, and waits up to 60 s.
Ran run(const std::wstring& arguments) {
    Ran ran;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE errRead = nullptr;
    HANDLE errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 1 << 16) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 1 << 16)) {
        return ran;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring commandLine = L"\"" + cliBesideThisTest() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (started) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &ran.status);
        } else {
            TerminateProcess(process.hProcess, 99);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        ran.out = drain(outRead);
        ran.err = drain(errRead);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return ran;
}

TEST(CliExecutable, AnswersScriptsWithoutAGenerator) {
    struct Case {
        const wchar_t* arguments;
        DWORD status;
        const char* outPart;
        const char* errPart;
    };
    const Case cases[] = {
        {L"--help", 0, "Usage: trelvix-pulse-cli [--serial SERIAL]", ""},
        {L"set --help", 0, "freq=HZ", ""},
        {L"--version", 0, "trelvix-pulse-cli " TPG_VERSION_TEXT, ""},
        // No generator under Wine: an empty list, and the status that says so.
        {L"list", 2, "", "trelvix-pulse-cli: no generator found"},
        {L"list --json", 2, "[]", "no generator found"},
        {L"show", 2, "", "no generator found"},
        // A bad value is refused before any generator is looked for.
        {L"set freq=abc", 1, "", "freq=abc: Enter pulse frequency in Hz"},
        {L"set sync-freq=0", 1, "", "External sync frequency is between 1MHz and 300MHz"},
        {L"frob", 1, "", "unknown command \"frob\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.arguments, c.arguments + lstrlenW(c.arguments)));
        const Ran ran = run(c.arguments);
        EXPECT_EQ(ran.status, c.status) << ran.err;
        EXPECT_NE(ran.out.find(c.outPart), std::string::npos) << ran.out;
        EXPECT_NE(ran.err.find(c.errPart), std::string::npos) << ran.err;
        EXPECT_EQ(ran.err.empty(), c.errPart[0] == '\0') << ran.err;
    }
}

}  // namespace
}  // namespace tpg::test
