#include "server/StopSignals.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <asio/post.hpp>
#else
#include <csignal>
#endif

namespace tpg::server {

#ifdef _WIN32
namespace {

// The console handler runs on a thread of its own; it reaches the server
// only through these, set while a StopSignals exists.
asio::io_context* gIo = nullptr;
std::function<void()>* gStop = nullptr;
HANDLE gFinished = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (gIo == nullptr) {
        return FALSE;
    }
    asio::post(*gIo, [] {
        if (gStop != nullptr && *gStop) {
            auto stop = std::move(*gStop);
            *gStop = nullptr;
            stop();
        }
    });
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(gFinished, 5000);
    }
    return TRUE;
}

}  // namespace

StopSignals::StopSignals(asio::io_context& io, std::function<void()> stop)
    : stop_(std::move(stop)) {
    gIo = &io;
    gStop = &stop_;
    gFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    finished();
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    gIo = nullptr;
    gStop = nullptr;
    if (gFinished != nullptr) {
        CloseHandle(gFinished);
        gFinished = nullptr;
    }
}

void StopSignals::cancel() {}

void StopSignals::finished() {
    if (gFinished != nullptr) {
        SetEvent(gFinished);
    }
}

#else

StopSignals::StopSignals(asio::io_context& io, std::function<void()> stop)
    : signals_(io, SIGINT, SIGTERM), stop_(std::move(stop)) {
    signals_.async_wait([this](std::error_code error, int /*signal*/) {
        if (!error && stop_) {
            stop_();
        }
    });
}

StopSignals::~StopSignals() {
    cancel();
}

void StopSignals::cancel() {
    asio::error_code ignored;
    signals_.cancel(ignored);
}

void StopSignals::finished() {}

#endif

}  // namespace tpg::server
