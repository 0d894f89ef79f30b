// One request at a time between two processes that share a folder but
// nothing else: the driver under Wine and the generator bench beside it. A
// request or a reply is written to a file of its own and renamed into place,
// so the other side never reads half of one; each side removes what it has
// read.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace tpg::guestbench {

class RequestChannel {
  public:
    explicit RequestChannel(std::filesystem::path folder);

    // --- the asking side ---
    // Hands the request over and waits for its reply; nothing, and the
    // reason in error, when it cannot be written or no reply comes in time.
    std::optional<std::string> ask(const std::string& request, std::chrono::milliseconds timeout,
                                   std::string& error);

    // --- the answering side ---
    // Forgets requests and replies left over from an earlier run.
    void clear();
    // The request waiting, taken off the channel; nothing when none waits.
    std::optional<std::string> takeRequest();
    // Hands the reply to the request last taken.
    bool answer(const std::string& reply);

  private:
    bool put(const std::string& name, const std::string& text);
    std::optional<std::string> take(const std::string& name);

    std::filesystem::path folder_;
    std::string lastError_;
};

}  // namespace tpg::guestbench
