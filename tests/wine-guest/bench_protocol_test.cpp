// The request protocol between the driver under Wine and the generator bench:
// what one side writes, the other reads back unchanged, and anything else is
// refused with a reason rather than read as something it is not.
#include <gtest/gtest.h>

#include <thread>

#include "BenchProtocol.h"
#include "RequestChannel.h"

namespace tpg::guestbench {
namespace {

TEST(BenchProtocol, HexTextRoundTripsAndRefusesWhatIsNotHex) {
    struct Case {
        const char* text;
        std::optional<Bytes> bytes;
    };
    const Case cases[] = {
        {"", Bytes{}},
        {"00", Bytes{0x00}},
        {"00A3FF10", Bytes{0x00, 0xA3, 0xFF, 0x10}},
        {"00a3ff10", Bytes{0x00, 0xA3, 0xFF, 0x10}},  // lower case read too
        {"0", std::nullopt},                          // odd length
        {"0G", std::nullopt},
        {"0 ", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fromHex(c.text), c.bytes);
        if (c.bytes && std::string(c.text).find_first_of("abcdef") == std::string::npos) {
            EXPECT_EQ(toHex(*c.bytes), c.text);
        }
    }
    Bytes every(256);
    for (int i = 0; i < 256; ++i) {
        every[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(fromHex(toHex(every)), every);
}

TEST(BenchProtocol, PlugRequestsRoundTripAndBadOnesSayWhy) {
    const PlugRequest plug{"uhid", "TPG-A-0001", {350000000, 510, 0, 1, -1}};
    std::string error;
    const auto back = parsePlug(words(formatPlug(plug) + "\r\n"), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->kind, "uhid");
    EXPECT_EQ(back->serial, "TPG-A-0001");
    EXPECT_EQ(back->state, plug.state);

    struct Bad {
        const char* request;
        const char* reason;
    };
    const Bad bad[] = {
        {"plug uhid TPG 1 2 3 4", "KIND SERIAL and five settings"},
        {"plug uhid TPG 1 2 3 4 5 6", "KIND SERIAL and five settings"},
        {"unplug uhid TPG 1 2 3 4 5", "KIND SERIAL and five settings"},
        {"plug uhid TPG 1 2 x 4 5", "setting 3 is not a whole number: x"},
        {"plug uhid TPG 1 2 3 4 5e3", "setting 5 is not a whole number: 5e3"},
        {"plug uhid TPG 99999999999 2 3 4 5", "setting 1 is not a whole number"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.request);
        error.clear();
        EXPECT_FALSE(parsePlug(words(b.request), error));
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
    }
}

TEST(BenchProtocol, ReceivedReportsRoundTripAndMalformedRepliesAreRefused) {
    const Received received{3, {{0x00, 0x02, 0x00, 0x53, 0x01}, {0x00, 0x03}, {}}};
    std::string error;
    const auto back = parseReceived(formatReceived(received), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->getReports, 3);
    EXPECT_EQ(back->setReports, received.setReports);

    struct Bad {
        const char* reply;
        const char* reason;
    };
    const Bad bad[] = {
        {"", "not the reply expected"},
        {"error no device X\n", "not the reply expected: error no device X"},
        {"ok 0\n", "not the reply expected"},
        {"ok 0 -1\n", "not the reply expected"},
        {"ok x 0\n", "the count of reads is x"},
        {"ok 0 2\n0001\n", "announces 2 lines but holds 1"},
        {"ok 0 1\n0001\n0002\n", "announces 1 lines but holds 2"},
        {"ok 0 1\n00Z1\n", "report 1 is not hexadecimal: 00Z1"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.reply);
        error.clear();
        EXPECT_FALSE(parseReceived(b.reply, error));
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
    }
}

TEST(BenchProtocol, DeviceListsRoundTripAndMalformedOnesAreRefused) {
    const std::vector<PlugRequest> devices{
        {"foreign", "FD-0001", {}}, {"uhid", "TPG-B-0002", {123456789, 510, 0, 1, 250000000}}};
    std::string error;
    const auto back = parseList(formatList(devices), error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->size(), 2U);
    EXPECT_EQ((*back)[0].kind, "foreign");
    EXPECT_EQ((*back)[1].serial, "TPG-B-0002");
    EXPECT_EQ((*back)[1].state, devices[1].state);
    EXPECT_EQ(parseList("ok 0\n", error)->size(), 0U);

    struct Bad {
        const char* reply;
        const char* reason;
    };
    const Bad bad[] = {
        {"ok 1 0\n", "not the reply expected"},
        {"ok 1\n", "announces 1 lines but holds 0"},
        {"ok 1\nplug uhid TPG 1 2 3 4\n", "device \"plug uhid TPG 1 2 3 4\": plug takes"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.reply);
        error.clear();
        EXPECT_FALSE(parseList(b.reply, error));
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
    }
}

class ChannelTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::path(testing::TempDir()) /
                 ("channel-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(ChannelTest, EachRequestGetsItsOwnReplyAndLeavesNoFileBehind) {
    RequestChannel bench(folder);
    bench.clear();
    std::vector<std::string> seen;
    std::thread server([&] {
        while (seen.size() < 3) {
            if (auto request = bench.takeRequest()) {
                seen.push_back(*request);
                bench.answer("reply to " + *request);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    RequestChannel driver(folder);
    std::string error;
    for (const std::string request : {"plug", "take A\nwith a second line", "quit"}) {
        EXPECT_EQ(driver.ask(request, std::chrono::seconds(5), error), "reply to " + request)
            << error;
    }
    server.join();
    EXPECT_EQ(seen, (std::vector<std::string>{"plug", "take A\nwith a second line", "quit"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(ChannelTest, NoReplyInTimeSaysSoAndAStaleReplyIsNotTakenForANewOne) {
    RequestChannel driver(folder);
    RequestChannel bench(folder);
    bench.answer("left over from an earlier request");
    std::string error;
    EXPECT_FALSE(driver.ask("take A", std::chrono::milliseconds(50), error));
    EXPECT_NE(error.find("no reply to \"take A\" within 50 ms"), std::string::npos) << error;
    EXPECT_EQ(bench.takeRequest(), "take A");
    EXPECT_FALSE(bench.takeRequest()) << "a request is taken once";

    // A bench that starts anew forgets what an earlier run left.
    bench.answer("stale");
    driver.ask("unanswered", std::chrono::milliseconds(1), error);
    bench.clear();
    EXPECT_FALSE(bench.takeRequest());
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    RequestChannel nowhere(folder / "missing");
    EXPECT_FALSE(nowhere.ask("plug", std::chrono::milliseconds(10), error));
    EXPECT_NE(error.find("cannot write the request"), std::string::npos) << error;
}

}  // namespace
}  // namespace tpg::guestbench
