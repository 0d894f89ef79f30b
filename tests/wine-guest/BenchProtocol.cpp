#include "BenchProtocol.h"

#include <charconv>
#include <sstream>

namespace tpg::guestbench {

namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool parseInt(const std::string& text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// The lines of a reply whose first line is "ok [WORD...] COUNT" and which
// holds COUNT more lines; the words of the first line come back in head.
std::optional<std::vector<std::string>> replyLines(std::string_view reply, std::size_t headWords,
                                                   std::vector<std::string>& head,
                                                   std::string& error) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(reply)};
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    head = lines.empty() ? std::vector<std::string>{} : words(lines[0]);
    std::int32_t count = 0;
    if (head.size() != headWords || head[0] != "ok" || !parseInt(head.back(), count) || count < 0) {
        error = "not the reply expected: " + (lines.empty() ? std::string() : lines[0]);
        return std::nullopt;
    }
    if (lines.size() != static_cast<std::size_t>(count) + 1) {
        error = "the reply announces " + std::to_string(count) + " lines but holds " +
                std::to_string(lines.size() - 1);
        return std::nullopt;
    }
    lines.erase(lines.begin());
    return lines;
}

}  // namespace

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const auto b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::optional<Bytes> fromHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digitValue(text[i]);
        const int low = digitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r\n", i);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t\r\n", start), line.size());
        out.emplace_back(line.substr(start, end - start));
        i = end;
    }
    return out;
}

std::string formatPlug(const PlugRequest& request) {
    std::ostringstream out;
    const auto& s = request.state;
    out << "plug " << request.kind << ' ' << request.serial << ' ' << s.pulseFrequency << ' '
        << s.amplitudeIndex << ' ' << s.polarityIndex << ' ' << s.triggerSyncFunction << ' '
        << s.syncFrequency;
    return out.str();
}

std::optional<PlugRequest> parsePlug(const std::vector<std::string>& request, std::string& error) {
    if (request.size() != 8 || request[0] != "plug") {
        error = "plug takes KIND SERIAL and five settings";
        return std::nullopt;
    }
    PlugRequest plug{request[1], request[2], {}};
    auto& s = plug.state;
    std::int32_t* const fields[] = {&s.pulseFrequency, &s.amplitudeIndex, &s.polarityIndex,
                                    &s.triggerSyncFunction, &s.syncFrequency};
    for (std::size_t i = 0; i < 5; ++i) {
        if (!parseInt(request[3 + i], *fields[i])) {
            error =
                "setting " + std::to_string(i + 1) + " is not a whole number: " + request[3 + i];
            return std::nullopt;
        }
    }
    return plug;
}

std::string formatReceived(const Received& received) {
    std::string out = "ok " + std::to_string(received.getReports) + ' ' +
                      std::to_string(received.setReports.size()) + '\n';
    for (const auto& report : received.setReports) {
        out += toHex(report) + '\n';
    }
    return out;
}

std::optional<Received> parseReceived(std::string_view reply, std::string& error) {
    std::vector<std::string> head;
    const auto lines = replyLines(reply, 3, head, error);
    Received received;
    if (!lines || !parseInt(head[1], received.getReports)) {
        if (lines) {
            error = "not the reply expected: the count of reads is " + head[1];
        }
        return std::nullopt;
    }
    for (std::size_t i = 0; i < lines->size(); ++i) {
        auto bytes = fromHex((*lines)[i]);
        if (!bytes) {
            error = "report " + std::to_string(i + 1) + " is not hexadecimal: " + (*lines)[i];
            return std::nullopt;
        }
        received.setReports.push_back(std::move(*bytes));
    }
    return received;
}

std::string formatList(const std::vector<PlugRequest>& devices) {
    std::string out = "ok " + std::to_string(devices.size()) + '\n';
    for (const auto& device : devices) {
        out += formatPlug(device) + '\n';
    }
    return out;
}

std::optional<std::vector<PlugRequest>> parseList(std::string_view reply, std::string& error) {
    std::vector<std::string> head;
    const auto lines = replyLines(reply, 2, head, error);
    if (!lines) {
        return std::nullopt;
    }
    std::vector<PlugRequest> devices;
    for (const auto& line : *lines) {
        auto device = parsePlug(words(line), error);
        if (!device) {
            error.insert(0, "device \"" + line + "\": ");
            return std::nullopt;
        }
        devices.push_back(std::move(*device));
    }
    return devices;
}

}  // namespace tpg::guestbench
