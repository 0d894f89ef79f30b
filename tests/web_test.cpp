// serve's web page: who may reach it and change the generator, the changes
// checked with the window's rules, HTTP read from bytes split anywhere, and
// the page as one client of the generator's lock.
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingGenerator.h"
#include "web/Access.h"
#include "web/HttpCodec.h"
#include "web/SettingRequest.h"
#include "web/WebServer.h"

namespace tpg::web {
namespace {

TEST(WebAccess, HostMustNameThisServer) {
    const HostRule loopback{{"localhost", "127.0.0.1", "bench-pc", "bench-pc.local"}, false, 8080};
    const HostRule everywhere{{"localhost", "0.0.0.0", "bench-pc"}, true, 8080};
    struct Case {
        const char* host;
        bool loopback;
        bool everywhere;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", true, true},
        {"LOCALHOST:8080", true, true},
        {"bench-pc.:8080", true, true},
        {"bench-pc.local:8080", true, false},
        {"127.0.0.1", false, false},  // port 80
        {"127.0.0.1:8081", false, false},
        {"127.0.0.1:", false, false},
        {"127.0.0.1:80:8080", false, false},
        {"192.168.1.5:8080", false, true},  // an address literal cannot be rebound
        {"[::1]:8080", false, true},
        {"[::1:8080", false, false},
        {"::1:8080", false, false},
        {"evil.example:8080", false, false},  // a rebound name
        {"127.1:8080", false, false},
        {"", false, false},
        {":8080", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hostAllowed(c.host, loopback), c.loopback) << c.host;
        EXPECT_EQ(hostAllowed(c.host, everywhere), c.everywhere) << c.host;
    }
}

TEST(WebAccess, ChangesOnlyFromThePageWithJsonAndThePassword) {
    const auto request = [](std::string origin, std::string type, std::string authorization,
                            std::string site) {
        Request r;
        r.method = "POST";
        r.host = "10.0.0.2:8080";
        r.origin = std::move(origin);
        r.contentType = std::move(type);
        r.authorization = std::move(authorization);
        r.fetchSite = std::move(site);
        return r;
    };
    const std::string json = "application/json";
    const std::string good = "Basic " + std::string("dXNlcjpzM2NyZXQ=");  // user:s3cret
    const ChangeRule loopback{true, std::nullopt};
    const ChangeRule open{false, std::nullopt};
    const ChangeRule guarded{false, "s3cret"};
    struct Case {
        Request request;
        const ChangeRule& rule;
        int status;  // 0: allowed
    };
    const Case cases[] = {
        {request("", json, "", ""), loopback, 0},
        {request("http://10.0.0.2:8080", "application/json; charset=utf-8", "", "same-origin"),
         loopback, 0},
        {request("http://evil.example", json, "", ""), loopback, 403},
        {request("null", json, "", ""), loopback, 403},
        {request("https://10.0.0.2:8080", json, "", ""), loopback, 403},
        {request("", json, "", "cross-site"), loopback, 403},
        {request("", "text/plain", "", ""), loopback, 415},
        {request("", "application/x-www-form-urlencoded", "", ""), loopback, 415},
        {request("", json, good, ""), open, 403},  // no password: read-only
        {request("", json, "", ""), guarded, 401},
        {request("", json, good, ""), guarded, 0},
        {request("", json, "basic   dXNlcjpzM2NyZXQ=", ""), guarded, 0},
        {request("", json, "Basic dXNlcjpzM2NyZXQ", ""), guarded, 401},   // not padded
        {request("", json, "Basic dXNlcjpzM2NyZXR4", ""), guarded, 401},  // s3cretx
        {request("", json, "Basic czNjcmV0", ""), guarded, 401},          // no colon
        {request("", json, "Bearer s3cret", ""), guarded, 401},
        {request("http://evil.example", json, good, ""), guarded, 403},
    };
    for (const auto& c : cases) {
        const auto refusal = refuseChange(c.request, c.rule);
        EXPECT_EQ(refusal ? refusal->status : 0, c.status)
            << c.request.origin << " " << c.request.contentType << " " << c.request.authorization;
    }
}

TEST(WebSettingRequest, TheWindowsRulesAndMessages) {
    using P = protocol::ReportCommand;
    using V = CheckedChange::Verdict;
    struct Case {
        const char* body;
        V verdict;
        std::vector<settings::SettingReport> reports;
        const char* message;
        const char* boxText;
    };
    const Case cases[] = {
        {R"({"control":"Foutput","text":"12.5e6"})",
         V::Send,
         {{P::SetPulseFrequency, 12500000}},
         "",
         "12500000"},
        {R"({"control":"Foutput","text":" 1000000.5 "})",
         V::Send,
         {{P::SetPulseFrequency, 1000001}},
         "",
         "1000001"},
        {R"({"control":"Foutput","text":"12,5"})",
         V::Message,
         {},
         "Enter pulse frequency in Hz",
         ""},
        {R"({"control":"Foutput","text":"1"})",
         V::Message,
         {},
         "Pulse frequency is between 25kHz and 350MHz",
         "25000"},
        {R"({"control":"Foutput","text":"4e8"})",
         V::Message,
         {},
         "Pulse frequency is between 25kHz and 350MHz",
         "350000000"},
        {R"({"control":"ext_sync_freq","text":"2000000.5"})",
         V::Send,
         {{P::SetSyncFrequency, 2000000}},
         "",
         ""},  // halves to even; the box keeps the text
        {R"({"control":"ext_sync_freq","text":"inf"})",
         V::Message,
         {},
         "Enter external sync frequency in Hz",
         ""},
        {R"({"control":"Vout","index":339})", V::Send, {{P::SetAmplitude, 339}}, "", ""},
        {R"({"control":"Vout","index":511})", V::Malformed, {}, "the list has no entry 511", ""},
        {R"({"control":"Vout","index":1.5})", V::Malformed, {}, nullptr, ""},
        {R"({"control":"polarity","index":0})", V::Send, {{P::SetPolarity, 0}}, "", ""},
        {R"({"control":"ext_trig_dir","index":2})", V::Malformed, {}, nullptr, ""},
        {R"({"control":"Factory"})", V::Send, settings::restoreDefaultsReports(), "", ""},
        {R"({"control":"SerNo","index":0})", V::Malformed, {}, nullptr, ""},
        {R"({"control":"Foutput","text":12})", V::Malformed, {}, nullptr, ""},
        {R"(["Foutput"])", V::Malformed, {}, nullptr, ""},
        {R"({"control":"Foutput","text":"1e6")", V::Malformed, {}, nullptr, ""},
    };
    for (const auto& c : cases) {
        const auto checked = checkChange(c.body);
        EXPECT_EQ(checked.verdict, c.verdict) << c.body;
        EXPECT_EQ(checked.reports, c.reports) << c.body;
        if (c.message != nullptr) {
            EXPECT_EQ(checked.message, c.message) << c.body;
        }
        EXPECT_EQ(checked.boxText, c.boxText) << c.body;
    }
}

TEST(WebHttpCodec, RequestsSplitAnywherePipelinedAndBounded) {
    const std::string two =
        "POST /settings HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Type: application/json\r\n"
        "Origin: http://127.0.0.1:8080\r\nContent-Length: 21\r\n\r\n{\"control\":\"Factory\"}"
        "GET /state HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nConnection: close\r\n\r\n";
    for (std::size_t split = 0; split <= two.size(); split += 7) {
        RequestReader reader;
        std::vector<Request> got;
        auto progress = reader.feed(std::string_view(two).substr(0, split));
        bool fedRest = false;
        while (true) {
            if (progress == RequestReader::Progress::Ready) {
                got.push_back(reader.take());
                progress = reader.feed({});
            } else if (progress == RequestReader::Progress::NeedMore && !fedRest) {
                progress = reader.feed(std::string_view(two).substr(split));
                fedRest = true;
            } else {
                break;
            }
        }
        ASSERT_EQ(got.size(), 2u) << split;
        EXPECT_EQ(got[0].body, "{\"control\":\"Factory\"}");
        EXPECT_EQ(got[0].origin, "http://127.0.0.1:8080");
        EXPECT_TRUE(got[0].keepAlive);
        EXPECT_EQ(got[1].target, "/state");
        EXPECT_FALSE(got[1].keepAlive);
    }
    struct Bad {
        std::string bytes;
        int status;
    };
    const Bad bad[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(9000, 'x') + "\r\n\r\n", 431},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5000\r\n\r\n", 413},
        {"HELLO\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n{4\r\n\r\n", 411},
    };
    for (const auto& b : bad) {
        RequestReader reader;
        EXPECT_EQ(reader.feed(b.bytes), RequestReader::Progress::Bad) << b.bytes.substr(0, 40);
        EXPECT_EQ(reader.badStatus(), b.status) << b.bytes.substr(0, 40);
    }
}

// The page is one client of the generator's lock: while another client
// holds it, a change is refused (409) and nothing sent; once given back,
// the same change goes through.
TEST(WebServer, AChangeWhileAnotherClientHoldsTheLockIsRefused) {
    asio::io_context io;
    test::RecordingGenerator generator;
    lock::GeneratorLock lock;
    std::ostringstream log;
    WebOptions options;
    options.endpoint = {asio::ip::make_address("127.0.0.1"), 0};
    WebServer server(io, options, generator, lock, log);
    const auto other = lock.join("VXI-11 link 1 from 127.0.0.1:40000");
    ASSERT_TRUE(lock.take(other));
    auto work = asio::make_work_guard(io);
    std::thread running([&] { io.run(); });
    // Joined however the test ends.
    struct Joined {
        std::thread& thread;
        decltype(work)& guard;
        ~Joined() {
            guard.reset();
            thread.join();
        }
    } joined{running, work};
    // Runs call on the server's thread and waits for it.
    const auto onLoop = [&](auto call) {
        auto done = std::make_shared<std::promise<void>>();
        asio::post(io, [call, done] {
            call();
            done->set_value();
        });
        done->get_future().wait();
    };
    const auto post = [&] {
        asio::ip::tcp::socket client(io);
        client.connect(server.localEndpoint());
        const std::string body = R"({"control":"Foutput","text":"2e6"})";
        const std::string request = "POST /settings HTTP/1.1\r\nHost: 127.0.0.1:" +
                                    std::to_string(server.localEndpoint().port()) +
                                    "\r\nContent-Type: application/json\r\nConnection: close\r\n"
                                    "Content-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
        asio::write(client, asio::buffer(request));
        std::string answer;
        std::error_code end;
        asio::read(client, asio::dynamic_buffer(answer), end);
        return answer;
    };
    const std::string refused = post();
    EXPECT_NE(refused.find("HTTP/1.1 409"), std::string::npos) << refused;
    EXPECT_NE(refused.find("VXI-11 link 1"), std::string::npos) << refused;
    onLoop([&] {
        EXPECT_TRUE(generator.sent.empty());
        lock.release(other);
    });
    const std::string sent = post();
    EXPECT_NE(sent.find("HTTP/1.1 200"), std::string::npos) << sent;
    onLoop([&] {
        EXPECT_EQ(generator.sent, (std::vector<settings::SettingReport>{
                                      {protocol::ReportCommand::SetPulseFrequency, 2000000}}));
        server.close();
    });
}

}  // namespace
}  // namespace tpg::web
