// The SCPI instrument over any bytes: the first byte chooses how the
// generator fails (identity, state read and send each: not at all, missing,
// or failing with a text that holds quotes and a line break; and after how
// many sends), the rest is cut at LF into program messages run one after
// the other on one instrument.
//
// For every message: no crash; the response is empty or one line ended by
// its only LF, at most 512 bytes per '?' in the message and 16 times that
// more per "ALL?" (SYSTem:ERRor:ALL? answers the whole queue); at most one
// report per unit of the message, eight for a *RST; every value sent lies
// within its setting's bounds. At the end: the queue holds at most 16 errors and
// every one is numbered with a code the instrument knows.
//
// Against the command line, which checks settings with the same rules: the
// bytes of each message that belong to the number grammar, given as a
// value to FREQ, EXT:FREQ and VOLT (in MV), give the verdict and the value
// that freq, sync-freq and amplitude-mv give; an index VOLT:INDex takes is
// one amplitude-index takes too (the other way round not always: SCPI
// refuses 1e-400, a whole number only once rounded).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "RecordingGenerator.h"
#include "cli/SettingValues.h"
#include "scpi/Errors.h"
#include "scpi/Instrument.h"
#include "settings/AmplitudeSteps.h"
#include "settings/Frequencies.h"

namespace {

using tpg::protocol::ReportCommand;

constexpr std::size_t kMaxAnswer = 512;
constexpr std::size_t kQueueAnswers = tpg::scpi::ErrorQueue::kCapacity;

std::optional<tpg::scpi::Fault> faultFor(unsigned bits) {
    switch (bits & 3U) {
        case 1:
            return tpg::scpi::Fault{true, ""};
        case 2:
            return tpg::scpi::Fault{false, "HidD_GetFeature: \"Broken\" pipe\r\n"};
        default:
            return std::nullopt;
    }
}

std::size_t count(std::string_view text, std::string_view word) {
    std::size_t n = 0;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        n += std::equal(
                 word.begin(), word.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                 [](char w, char t) { return w == std::toupper(static_cast<unsigned char>(t)); })
                 ? 1
                 : 0;
    }
    return n;
}

bool withinBounds(const tpg::settings::SettingReport& report) {
    const double value = report.value;
    switch (report.command) {
        case ReportCommand::SetPulseFrequency:
            return tpg::settings::withinBounds(value, tpg::settings::kPulseFrequency);
        case ReportCommand::SetSyncFrequency:
            return tpg::settings::withinBounds(value, tpg::settings::kSyncFrequency);
        case ReportCommand::SetAmplitude:
            return report.value >= 0 && report.value <= tpg::settings::kHighestAmplitudeIndex;
        case ReportCommand::SetPolarity:
        case ReportCommand::SetTriggerSyncFunction:
            return report.value == 0 || report.value == 1;
    }
    return false;
}

void checkResponse(const std::string& message, const std::string& response) {
    if (response.empty()) {
        return;
    }
    FUZZ_CHECK(response.back() == '\n');
    FUZZ_CHECK(response.find('\n') == response.size() - 1);
    FUZZ_CHECK(response.size() <= count(message, "?") * kMaxAnswer +
                                      count(message, "ALL?") * kQueueAnswers * kMaxAnswer + 1);
}

// What one SCPI set command sent on a generator of its own: one report, or
// nothing.
std::optional<tpg::settings::SettingReport> scpiSets(const std::string& message) {
    tpg::test::RecordingGenerator generator;
    tpg::scpi::Instrument instrument(generator);
    instrument.execute(message);
    FUZZ_CHECK(generator.sent.size() <= 1);
    if (generator.sent.empty()) {
        return std::nullopt;
    }
    return generator.sent.front();
}

void compareWithCommandLine(const std::string& message) {
    std::string number;
    for (const char c : message) {
        if (std::string_view("0123456789+-.eE").find(c) != std::string_view::npos) {
            number += c;
        }
    }
    const std::pair<const char*, std::string> same[] = {
        {"freq", "FREQ " + number},
        {"sync-freq", "EXT:FREQ " + number},
        {"amplitude-mv", "VOLT " + number + "MV"},
    };
    std::string error;
    for (const auto& [setting, scpi] : same) {
        FUZZ_CHECK(scpiSets(scpi) == tpg::cli::parseSetting(setting, number, false, error));
    }
    if (const auto index = scpiSets("VOLT:IND " + number)) {
        FUZZ_CHECK(index == tpg::cli::parseSetting("amplitude-index", number, false, error));
    }
}

void checkQueue(tpg::scpi::Instrument& instrument) {
    const std::string size = instrument.execute("SYST:ERR:COUN?");
    FUZZ_CHECK(std::stoi(size) <= 16);
    bool emptied = false;
    for (int i = 0; i <= 16 && !emptied; ++i) {
        const std::string answer = instrument.execute("SYST:ERR?");
        const int number = std::stoi(answer);
        emptied = number == 0;
        FUZZ_CHECK(!emptied || answer == "0,\"No error\"\n");
        FUZZ_CHECK(emptied ||
                   std::any_of(tpg::scpi::kQueuedErrorCodes.begin(),
                               tpg::scpi::kQueuedErrorCodes.end(), [&](tpg::scpi::ErrorCode code) {
                                   return static_cast<int>(code) == number;
                               }));
    }
    FUZZ_CHECK(emptied);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    tpg::test::RecordingGenerator generator;
    generator.identityFault = faultFor(data[0]);
    generator.readFault = faultFor(data[0] >> 2U);
    generator.sendFault = faultFor(data[0] >> 4U);
    generator.sendsBeforeFault = data[0] >> 6U;
    tpg::scpi::Instrument instrument(generator);

    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        const std::string message(input.substr(start, end - start));
        start = end + 1;
        const std::size_t sentBefore = generator.sent.size();
        const std::string response = instrument.execute(message);
        checkResponse(message, response);
        const std::size_t units = count(message, ";") + 1;
        FUZZ_CHECK(generator.sent.size() - sentBefore <= units + 7 * count(message, "*RST"));
        for (std::size_t i = sentBefore; i < generator.sent.size(); ++i) {
            FUZZ_CHECK(withinBounds(generator.sent[i]));
        }
        compareWithCommandLine(message);
        if (message.size() % 7 == 3) {
            instrument.inputOverrun();  // as the server does for a cut line
        }
    }
    checkQueue(instrument);
    return 0;
}
