// What serve announces by DNS-SD: the instance name and TXT strings within
// DNS's byte limits, cut only between whole UTF-8 characters, with odd bytes
// made valid; and Discovery's calls to its backend as the served generator
// comes, goes and changes.
#include <gtest/gtest.h>

#include <sstream>

#include "dnssd/Discovery.h"

namespace tpg::dnssd {
namespace {

bool validUtf8(const std::string& text) {
    return fitUtf8(text, text.size()) == text;
}

TEST(DnsSd, NamesAndTxtStringsKeepTheLimitsAndValidUtf8) {
    const std::string e9 = "\xC3\xA9";            // é, 2 bytes
    const std::string euro = "\xE2\x82\xAC";      // €, 3 bytes
    const std::string pile = "\xF0\x9D\x84\x9E";  // 𝄞, 4 bytes
    struct Case {
        const char* what;
        std::string in;
        std::size_t limit;
        std::string out;
    };
    const Case cases[] = {
        {"fits", "TPG35-20417", 63, "TPG35-20417"},
        {"cut at the limit", std::string(70, 'a'), 63, std::string(63, 'a')},
        {"a 2-byte character that does not fit whole", std::string(62, 'a') + e9, 63,
         std::string(62, 'a')},
        {"a 3-byte character cut", std::string(61, 'a') + euro, 63, std::string(61, 'a')},
        {"a 4-byte character just fits", std::string(59, 'a') + pile, 63,
         std::string(59, 'a') + pile},
        {"stray continuation byte", "a\x80z", 63, "a\xEF\xBF\xBDz"},
        {"overlong form", "\xC0\xAF", 63, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate", "\xED\xA0\x80", 63, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"lead byte cut short at the end", "ab\xE2\x82", 63, "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"control characters", "a\tb\nc\x7F", 63, "a b c "},
        {"commas stay", "a,b", 63, "a,b"},
    };
    for (const auto& c : cases) {
        const std::string out = fitUtf8(c.in, c.limit);
        EXPECT_EQ(out, c.out) << c.what;
        EXPECT_LE(out.size(), c.limit) << c.what;
        EXPECT_TRUE(validUtf8(out)) << c.what;
    }

    EXPECT_EQ(instanceName("TPG35-20417", "bench"), "Trelvix Pulse Generator TPG35-20417 on bench");
    const std::string longHost = "labor-" + std::string(17, 'x') + e9 + "-pc";
    const std::string name = instanceName("TPG35-20417", longHost);
    EXPECT_EQ(name.size(), 62u);  // 39 + 6 + 17 bytes: the é would end at byte 64
    EXPECT_TRUE(validUtf8(name));

    // The maker as *IDN? gives it: commas are already spaces there.
    const InstrumentIdentity identity{"Trelvix GmbH (simulated)", std::string(300, 'P') + euro,
                                      "TPG35-20417", "1999.0"};
    const auto txt = txtRecord(identity);
    ASSERT_EQ(txt.size(), 5u);
    EXPECT_EQ(txt[0], "txtvers=1");
    EXPECT_EQ(txt[1], "Manufacturer=Trelvix GmbH (simulated)");
    EXPECT_EQ(txt[2], "Model=" + std::string(249, 'P'));
    EXPECT_EQ(txt[3], "SerialNumber=TPG35-20417");
    EXPECT_EQ(txt[4], "FirmwareVersion=1999.0");
    const auto odd =
        txtRecord({"Tr\xFF"
                   "elvix, Inc.",
                   "", "", ""});
    EXPECT_EQ(odd[1],
              "Manufacturer=Tr\xEF\xBF\xBD"
              "elvix, Inc.");
    EXPECT_EQ(odd[2], "Model=");
}

class RecordingAnnouncer : public Announcer {
  public:
    explicit RecordingAnnouncer(std::vector<std::string>& calls) : calls_(calls) {}
    void announce(const ServiceSet& set) override {
        std::string call = "announce " + set.instanceName;
        for (const auto& service : set.services) {
            call += " " + service.type + ":" + std::to_string(service.port);
        }
        calls_.push_back(call);
    }
    void withdraw() override { calls_.emplace_back("withdraw"); }
    void report(std::ostream& log) override { log << "."; }

  private:
    std::vector<std::string>& calls_;
};

TEST(DnsSd, DiscoveryFollowsTheServedGenerator) {
    std::vector<std::string> calls;
    std::ostringstream log;
    const InstrumentIdentity first{"Trelvix", "TPG35", "A1", "1.0"};
    const InstrumentIdentity second{"Trelvix", "TPG35", "B2", "1.0"};
    {
        Discovery discovery(std::make_unique<RecordingAnnouncer>(calls),
                            ServicePorts{5025, 111, std::nullopt}, "bench", log);
        discovery.follow(std::nullopt);  // nothing announced yet: nothing to take back
        discovery.follow(first);
        discovery.follow(first);  // unchanged
        discovery.follow(std::nullopt);
        discovery.follow(std::nullopt);
        discovery.follow(first);
        discovery.follow(second);
    }  // withdrawn at the end
    const std::vector<std::string> expected = {
        "announce Trelvix Pulse Generator A1 on bench _scpi-raw._tcp:5025 _vxi-11._tcp:111",
        "withdraw",
        "announce Trelvix Pulse Generator A1 on bench _scpi-raw._tcp:5025 _vxi-11._tcp:111",
        "announce Trelvix Pulse Generator B2 on bench _scpi-raw._tcp:5025 _vxi-11._tcp:111",
        "withdraw",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(log.str(), ".......");  // the backend's news is asked for on every tick

    calls.clear();
    Discovery nothingRuns(std::make_unique<RecordingAnnouncer>(calls), ServicePorts{}, "bench",
                          log);
    nothingRuns.follow(first);
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace tpg::dnssd
