// The number grammar of the two frequency entries, over any bytes and any
// decimal separator (the input's first byte).
//
// The grammar alone: an accepted text holds a digit and has a value that is
// not NaN; the value does not depend on which separator the locale uses;
// it equals what the C library's strtod makes of the same text, and every
// text that strtod reads whole in the grammar's alphabet is accepted.
//
// Through the window: the text typed into each box and the button pressed
// gives exactly one of three outcomes, as the grammar's verdict says: "Bad
// input" with the text kept; "Bad data range" with the violated bound
// written; or no message and one report to the generator with the value
// made whole, in range, and (for the pulse frequency) written back as text
// that converts again to the value sent.
//
// Through the command line, which reads the same texts with a point: the
// same verdict and the same value as the window; an amplitude index only
// when it is whole and listed; an amplitude in millivolts as the nearest
// listed step (the lower of two as near), or with the exact check only as
// a step that shows exactly that figure.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "Check.h"
#include "SentReports.h"
#include "WindowRig.h"
#include "cli/SettingValues.h"
#include "protocol/AmplitudeTable.h"
#include "protocol/FeatureReports.h"
#include "settings/NumberText.h"

namespace {

using tpg::protocol::ReportCommand;
using tpg::settings::parseNumber;
using tpg::ui::ControlId;

constexpr std::string_view kGrammarChars = "0123456789+-eE \t";

bool sameValue(const std::optional<double>& a, const std::optional<double>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a || *a == *b || (std::isnan(*a) && std::isnan(*b));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text without its surrounding blanks and with the separator as '.'.
std::string asCText(const std::string& text, char separator) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    std::string out = text.substr(begin, end - begin);
    for (char& c : out) {
        if (c == separator) {
            c = '.';
        }
    }
    return out;
}

void checkGrammar(const std::string& text, char separator) {
    const auto value = parseNumber(text, std::string(1, separator));
    FUZZ_CHECK(sameValue(value, parseNumber(text, std::string(1, separator))));
    if (value) {
        FUZZ_CHECK(!std::isnan(*value));
        FUZZ_CHECK(text.find_first_of("0123456789") != std::string::npos);
    }
    // The comparisons below need a separator that cannot be read as part of
    // the number, and a text in the grammar's alphabet.
    if (kGrammarChars.find(separator) != std::string_view::npos || separator == '\0') {
        return;
    }
    for (const char c : text) {
        if (kGrammarChars.find(c) == std::string_view::npos && c != separator) {
            return;
        }
    }
    const std::string c = asCText(text, separator);
    if (separator != '.') {
        FUZZ_CHECK(sameValue(value, parseNumber(c, ".")));
    }
    errno = 0;
    char* end = nullptr;
    const double reference = std::strtod(c.c_str(), &end);
    const bool readWhole = !c.empty() && end == c.c_str() + c.size();
    if (!value) {
        FUZZ_CHECK(!readWhole);
        return;
    }
    FUZZ_CHECK(readWhole);
    if (errno != ERANGE) {
        FUZZ_CHECK(*value == reference);
    } else if (std::isinf(reference)) {
        FUZZ_CHECK(*value == reference);
    } else {
        // Below the smallest normal double: zero, or what strtod made of it.
        FUZZ_CHECK(*value == reference || std::fabs(*value) <= DBL_MIN);
    }
}

struct Entry {
    ControlId box;
    ControlId button;
    ReportCommand command;
    double lower;
    double upper;
    const char* lowerText;
    const char* upperText;
    const char* notANumber;
    const char* outOfRange;
    bool writesBack;  // the pulse frequency is written back rounded
};

const Entry kPulse{ControlId::Foutput,
                   ControlId::SetFout,
                   ReportCommand::SetPulseFrequency,
                   25000.0,
                   350000000.0,
                   "25000",
                   "350000000",
                   "Enter pulse frequency in Hz",
                   "Pulse frequency is between 25kHz and 350MHz",
                   true};
const Entry kSync{ControlId::ext_sync_freq,
                  ControlId::SetFsync,
                  ReportCommand::SetSyncFrequency,
                  1000000.0,
                  300000000.0,
                  "1000000",
                  "300000000",
                  "Enter external sync frequency in Hz",
                  "External sync frequency is between 1MHz and 300MHz",
                  false};

// One window for the whole run, filled from one generator.
tpg::fuzz::WindowRig& rig() {
    static tpg::fuzz::WindowRig* const instance = [] {
        auto* r = new tpg::fuzz::WindowRig;
        r->bench.plug(tpg::hid::sim::generatorSpec(tpg::fuzz::kGeneratorPath, u"A"));
        r->window.Form_Load();
        return r;
    }();
    return *instance;
}

void checkEntry(const Entry& entry, const std::string& text, char separator) {
    auto& r = rig();
    FUZZ_CHECK(r.window.linkState().uiReady && r.window.linkState().stateLoaded);
    r.skin.setDecimalSeparator(std::string(1, separator));
    r.skin.type(entry.box, text);
    r.skin.clearMessages();
    r.bench.clearSentReports();
    r.press(entry.button);

    const auto& messages = r.skin.messages();
    const auto sent = tpg::test::takeSent(r.bench);
    const auto value = parseNumber(text, std::string(1, separator));
    if (!value) {
        FUZZ_CHECK(messages.size() == 1 && messages[0].title == "Bad input" &&
                   messages[0].text == entry.notANumber);
        FUZZ_CHECK(r.text(entry.box) == text);
        FUZZ_CHECK(sent.empty());
        return;
    }
    if (*value < entry.lower || *value > entry.upper) {
        FUZZ_CHECK(messages.size() == 1 && messages[0].title == "Bad data range" &&
                   messages[0].text == entry.outOfRange);
        FUZZ_CHECK(r.text(entry.box) == (*value < entry.lower ? entry.lowerText : entry.upperText));
        FUZZ_CHECK(sent.empty());
        return;
    }
    FUZZ_CHECK(messages.empty());
    const double whole = entry.writesBack ? std::floor(*value + 0.5) : std::nearbyint(*value);
    FUZZ_CHECK(whole >= entry.lower && whole <= entry.upper);
    const auto number = static_cast<std::int32_t>(whole);
    if (entry.writesBack) {
        FUZZ_CHECK(r.text(entry.box) == std::to_string(number));
        FUZZ_CHECK(parseNumber(r.text(entry.box), std::string(1, separator)) == whole);
    } else {
        FUZZ_CHECK(r.text(entry.box) == text);
    }
    FUZZ_CHECK(sent.size() == 1);
    FUZZ_CHECK(sent[0] == *tpg::protocol::buildCommand(entry.command, number, sent[0].size()));
    FUZZ_CHECK(sent[0].size() == 65);
    FUZZ_CHECK(r.bench.sendsOutsideGuards == 0);
}

// The figure a step shows in the amplitude list, in millivolts.
double stepFigure(int index) {
    return std::stod(tpg::protocol::amplitudeText(index));
}

void checkCommandLine(const std::string& text) {
    const auto value = parseNumber(text, ".");
    std::string error;
    for (const Entry* entry : {&kPulse, &kSync}) {
        const bool pulse = entry == &kPulse;
        const auto report =
            tpg::cli::parseSetting(pulse ? "freq" : "sync-freq", text, false, error);
        const bool valid = value && *value >= entry->lower && *value <= entry->upper;
        FUZZ_CHECK(report.has_value() == valid);
        if (report) {
            FUZZ_CHECK(report->command == entry->command);
            FUZZ_CHECK(report->value ==
                       (pulse ? std::floor(*value + 0.5) : std::nearbyint(*value)));
        } else {
            FUZZ_CHECK(error == (value ? entry->outOfRange : entry->notANumber));
        }
    }

    // An index is whole as written: a number whose value a double rounds to
    // a whole one (1e-400, 5.0000000000000000001) is not.
    const auto whole = tpg::settings::parseWholeNumber(text, ".");
    FUZZ_CHECK(!whole || (value && *whole == *value && *value == std::floor(*value)));
    const auto index = tpg::cli::parseSetting("amplitude-index", text, false, error);
    FUZZ_CHECK(index.has_value() == (whole && *whole >= 0 && *whole <= 510));
    if (index) {
        FUZZ_CHECK(index->command == ReportCommand::SetAmplitude && index->value == *value);
    }

    const auto nearest = tpg::cli::parseSetting("amplitude-mv", text, false, error);
    FUZZ_CHECK(nearest.has_value() ==
               (value && *value >= stepFigure(0) && *value <= stepFigure(510)));
    if (nearest) {
        const int i = nearest->value;
        FUZZ_CHECK(i >= 0 && i <= 510);
        const double distance = std::fabs(stepFigure(i) - *value);
        FUZZ_CHECK(i == 0 || std::fabs(stepFigure(i - 1) - *value) > distance);
        FUZZ_CHECK(i == 510 || std::fabs(stepFigure(i + 1) - *value) >= distance);
    }
    const auto exact = tpg::cli::parseSetting("amplitude-mv", text, true, error);
    if (exact) {
        FUZZ_CHECK(nearest == exact && stepFigure(exact->value) == *value);
    } else if (nearest) {
        FUZZ_CHECK(stepFigure(nearest->value) != *value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto separator = static_cast<char>(data[0]);
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    checkGrammar(text, separator);
    checkEntry(kPulse, text, separator);
    checkEntry(kSync, text, separator);
    checkCommandLine(text);
    return 0;
}
