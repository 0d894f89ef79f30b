#include "RequestChannel.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

namespace tpg::guestbench {

namespace {
constexpr const char* kRequest = "request";
constexpr const char* kReply = "reply";
constexpr auto kPollPeriod = std::chrono::milliseconds(10);
constexpr int kRenameAttempts = 100;

// Moves from onto to, replacing it; the reason when it fails. The Windows
// service is called itself: the C++ library's rename reports failures under
// Wine for moves that have taken place.
std::optional<std::string> moveOnto(const std::filesystem::path& from,
                                    const std::filesystem::path& to) {
#ifdef _WIN32
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        return std::nullopt;
    }
    return "error " + std::to_string(GetLastError());
#else
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return std::nullopt;
    }
    return std::error_code(errno, std::generic_category()).message();
#endif
}

}  // namespace

RequestChannel::RequestChannel(std::filesystem::path folder) : folder_(std::move(folder)) {}

bool RequestChannel::put(const std::string& name, const std::string& text) {
    const auto part = folder_ / (name + ".part");
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            lastError_ = "the file cannot be written";
            return false;
        }
    }
    // A move can fail for a moment while the other side still holds the
    // file it has just read; it is tried again for a while.
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        const auto failure = moveOnto(part, folder_ / name);
        // Wine may report a failure for a move that has taken place when
        // the other side takes the file at once: the part file has gone.
        std::error_code ec;
        if (!failure || !std::filesystem::exists(part, ec)) {
            return true;
        }
        lastError_ = *failure;
        std::this_thread::sleep_for(kPollPeriod);
    }
    return false;
}

std::optional<std::string> RequestChannel::take(const std::string& name) {
    const auto path = folder_ / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return text;
}

std::optional<std::string> RequestChannel::ask(const std::string& request,
                                               std::chrono::milliseconds timeout,
                                               std::string& error) {
    std::error_code ec;
    std::filesystem::remove(folder_ / kReply, ec);  // a reply nobody waited for
    if (!put(kRequest, request)) {
        error = "cannot write the request into " + folder_.string() + ": " + lastError_;
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto reply = take(kReply)) {
            return reply;
        }
        std::this_thread::sleep_for(kPollPeriod);
    }
    error = "no reply to \"" + request + "\" within " + std::to_string(timeout.count()) + " ms";
    return std::nullopt;
}

void RequestChannel::clear() {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    for (const char* name : {kRequest, kReply}) {
        std::filesystem::remove(folder_ / name, ec);
        std::filesystem::remove(folder_ / (std::string(name) + ".part"), ec);
    }
}

std::optional<std::string> RequestChannel::takeRequest() {
    return take(kRequest);
}

bool RequestChannel::answer(const std::string& reply) {
    return put(kReply, reply);
}

}  // namespace tpg::guestbench
