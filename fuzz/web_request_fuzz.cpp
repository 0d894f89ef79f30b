// serve's web page over any bytes a browser or anyone else may send: the
// first byte chooses where the rest is cut into reads, the rest is fed to
// one connection's request reader. Every request read is judged as the
// server judges it: its Host against a rule, its change against the
// loopback and password rules, its body as a change.
//
// Properties: no crash; the reader never holds a request larger than its
// limits (body within the body limit); a Bad reader stays Bad with a 4xx
// status; a Host allowed names the rule's port; a change from a foreign
// Origin is refused whatever else it holds; a checked change sends reports
// only when it is a Send, each within its setting's bounds, and a Message
// has one of the window's two titles.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "protocol/AmplitudeTable.h"
#include "settings/Frequencies.h"
#include "web/Access.h"
#include "web/HttpCodec.h"
#include "web/SettingRequest.h"

namespace {

using tpg::protocol::ReportCommand;
using namespace tpg::web;

void judge(const Request& request) {
    const HostRule rule{{"localhost", "127.0.0.1"}, false, 8080};
    if (hostAllowed(request.host, rule)) {
        FUZZ_CHECK(request.host.find("8080") != std::string::npos);
    }
    const ChangeRule loopback{true, std::nullopt};
    const ChangeRule guarded{false, std::string("pw")};
    const auto refusal = refuseChange(request, loopback);
    if (!originAllowed(request.origin, request.host)) {
        FUZZ_CHECK(refusal && refusal->status == 403);
        FUZZ_CHECK(refuseChange(request, guarded).has_value());
    }
    (void)basicPassword(request.authorization);

    const auto checked = checkChange(request.body);
    using V = CheckedChange::Verdict;
    if (checked.verdict != V::Send) {
        FUZZ_CHECK(checked.reports.empty());
    }
    if (checked.verdict == V::Message) {
        FUZZ_CHECK(checked.title == tpg::settings::kBadInputTitle ||
                   checked.title == tpg::settings::kBadDataRangeTitle);
    }
    FUZZ_CHECK(checked.reports.size() <= 8);
    for (const auto& report : checked.reports) {
        switch (report.command) {
            case ReportCommand::SetPulseFrequency:
                FUZZ_CHECK(report.value >= 25000 && report.value <= 350000000);
                break;
            case ReportCommand::SetSyncFrequency:
                FUZZ_CHECK(report.value >= 1000000 && report.value <= 300000000);
                break;
            case ReportCommand::SetAmplitude:
                FUZZ_CHECK(report.value >= 0 && report.value < tpg::protocol::kAmplitudeSteps);
                break;
            default:
                FUZZ_CHECK(report.value == 0 || report.value == 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t step = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const ReaderLimits limits;
    RequestReader reader(limits);
    for (std::size_t at = 0; at <= bytes.size(); at += step) {
        auto progress = reader.feed(bytes.substr(at, step));
        while (progress == RequestReader::Progress::Ready) {
            const Request request = reader.take();
            FUZZ_CHECK(request.body.size() <= limits.bodyBytes);
            judge(request);
            progress = reader.feed({});
        }
        if (progress == RequestReader::Progress::Bad) {
            FUZZ_CHECK(reader.badStatus() >= 400 && reader.badStatus() < 500);
            FUZZ_CHECK(reader.feed("GET / HTTP/1.1\r\n\r\n") == RequestReader::Progress::Bad);
            break;
        }
    }
    return 0;
}
