// The requests that the driver program under Wine sends to the generator
// bench beside it in the guest, and the bench's replies: one line of words
// per request, a reply of an "ok" or "error" line and, for some requests,
// lines that follow. Reports travel as hexadecimal text.
//
//   plug KIND SERIAL FREQ AMP POL TRIG SYNC   -> ok NODE
//   unplug SERIAL                             -> ok
//   take SERIAL                               -> ok GETS COUNT, then COUNT report lines
//   list                                      -> ok COUNT, then COUNT plug lines
//   quit                                      -> ok
//
// The reply to list describes each device plugged in, in the words of the
// plug request that would make it as it is now (with its current settings).
//
// KIND is "uhid" (a virtual generator on the kernel's uhid driver), "usb" (a
// virtual generator on the kernel's USB stack, through USB/IP) or "foreign"
// (a uhid device of another vendor, which answers nothing).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/FeatureReports.h"

namespace tpg::guestbench {

using Bytes = std::vector<std::uint8_t>;

// "00A3FF": two upper-case digits a byte, nothing between them.
std::string toHex(std::span<const std::uint8_t> bytes);
// Reads toHex's text back (either case); nothing for an odd length or a
// character that is no hexadecimal digit.
std::optional<Bytes> fromHex(std::string_view text);

// The words of a line, split at spaces, tabs and line ends.
std::vector<std::string> words(std::string_view line);

struct PlugRequest {
    std::string kind;
    std::string serial;
    protocol::DeviceState state;
};
std::string formatPlug(const PlugRequest& request);
// The request from its words (words[0] is "plug"); nothing, and the reason
// in error, for a wrong count of words or a setting that is no number.
std::optional<PlugRequest> parsePlug(const std::vector<std::string>& request, std::string& error);

std::string formatList(const std::vector<PlugRequest>& devices);
std::optional<std::vector<PlugRequest>> parseList(std::string_view reply, std::string& error);

// What a device received since the last take: how many state reads, and
// the bytes of every report sent to it, in order.
struct Received {
    int getReports = 0;
    std::vector<Bytes> setReports;
};
std::string formatReceived(const Received& received);
// Reads the reply to take back; nothing, and the reason, when it is not one.
std::optional<Received> parseReceived(std::string_view reply, std::string& error);

}  // namespace tpg::guestbench
