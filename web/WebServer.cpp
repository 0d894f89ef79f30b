#include "web/WebServer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <ostream>

#include <nlohmann/json.hpp>

#include "scpi/GeneratorCommands.h"
#include "web/Page.h"
#include "web/SettingRequest.h"

namespace tpg::web {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr auto kStateAge = std::chrono::milliseconds(500);
constexpr auto kIdentityAge = std::chrono::seconds(5);

// The page may load only what comes from this server; nothing may frame it.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

Response text(int status, std::string body) {
    return {status, "text/plain; charset=utf-8", std::move(body) + "\n", {}};
}

Response json(int status, const nlohmann::json& body) {
    return {status,
            "application/json",
            body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
            {}};
}

std::string hostText(const asio::ip::address& address) {
    // Built by appending: GCC 12 at -O2 warns of overlapping copies in
    // "literal" + std::string temporaries that are not there.
    if (!address.is_v6()) {
        return address.to_string();
    }
    std::string text(1, '[');
    text.append(address.to_string()).push_back(']');
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

class WebServer::Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(WebServer& server, tcp::socket socket)
        : server_(server), socket_(std::move(socket)), deadline_(socket_.get_executor()) {
        std::error_code failure;
        const auto local = socket_.local_endpoint(failure);
        loopback_ = !failure && local.address().is_loopback();
    }

    void start() {
        arm();
        read();
    }

    void close() {
        std::error_code ignored;
        deadline_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

  private:
    // A whole request must arrive within the time from the first byte
    // awaited; a connection idle that long is closed.
    void arm() {
        deadline_.expires_after(server_.options_.requestTime);
        deadline_.async_wait([self = shared_from_this()](std::error_code cancelled) {
            if (!cancelled) {
                self->finish();
            }
        });
    }

    void read() {
        socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](
                                                           std::error_code failure, std::size_t n) {
            if (failure) {
                self->finish();
                return;
            }
            self->received({self->buffer_.data(), n});
        });
    }

    void received(std::string_view bytes) {
        switch (reader_.feed(bytes)) {
            case RequestReader::Progress::NeedMore:
                read();
                return;
            case RequestReader::Progress::Bad: {
                Response response = text(reader_.badStatus(), "bad request: " + reader_.error());
                response.keepAlive = false;
                send(std::move(response));
                return;
            }
            case RequestReader::Progress::Ready:
                break;
        }
        const Request request = reader_.take();
        Response response = server_.answer(request, loopback_);
        response.keepAlive = response.keepAlive && request.keepAlive;
        send(std::move(response));
    }

    void send(Response response) {
        response.headers.emplace_back("Content-Security-Policy", kContentSecurityPolicy);
        response.headers.emplace_back("X-Content-Type-Options", "nosniff");
        response.headers.emplace_back("X-Frame-Options", "DENY");
        response.headers.emplace_back("Referrer-Policy", "no-referrer");
        response.headers.emplace_back("Cache-Control", "no-store");
        const bool keepAlive = response.keepAlive;
        output_ = writeResponse(response);
        asio::async_write(
            socket_, asio::buffer(output_),
            [self = shared_from_this(), keepAlive](std::error_code failure, std::size_t) {
                if (failure || !keepAlive) {
                    self->finish();
                    return;
                }
                self->deadline_.cancel();
                self->arm();
                // A request sent right behind the last one is
                // already held.
                self->received({});
            });
    }

    void finish() {
        if (finished_) {
            return;
        }
        finished_ = true;
        close();
        server_.closed(shared_from_this());
    }

    WebServer& server_;
    tcp::socket socket_;
    asio::steady_timer deadline_;
    RequestReader reader_;
    std::array<char, 4096> buffer_{};
    std::string output_;
    bool loopback_ = false;
    bool finished_ = false;
};

WebServer::WebServer(asio::io_context& io, WebOptions options, scpi::Generator& served,
                     lock::GeneratorLock& lock, std::ostream& log)
    : acceptor_(io, options.endpoint),
      options_(std::move(options)),
      lock_(lock),
      client_(lock.join("the web page")),
      generator_(served, lock, client_),
      log_(log) {
    const auto local = acceptor_.local_endpoint();
    const auto address = local.address();
    std::error_code failure;
    served_.hostName = asio::ip::host_name(failure);
    served_.address = address.to_string();
    // On every address the page is reached by the machine's name.
    const std::string host = address.is_unspecified() && !served_.hostName.empty()
                                 ? served_.hostName
                                 : hostText(address);
    served_.pageUrl = "http://" + host + ":" + std::to_string(local.port()) + "/";
    served_.resources = options_.resources;
    hosts_.port = local.port();
    hosts_.anyAddress = address.is_unspecified();
    hosts_.names = {"localhost", lower(address.to_string())};
    if (!served_.hostName.empty()) {
        hosts_.names.push_back(lower(served_.hostName));
        hosts_.names.push_back(lower(served_.hostName) + ".local");
    }
    accept();
}

WebServer::~WebServer() {
    try {
        close();
        // The page's client is gone: the lock's listeners are told.
        lock_.leave(client_);
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do when stopping
    }
}

tcp::endpoint WebServer::localEndpoint() const {
    return acceptor_.local_endpoint();
}

void WebServer::close() {
    closing_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
    for (const auto& connection : connections_) {
        connection->close();
    }
    connections_.clear();
}

void WebServer::accept() {
    acceptor_.async_accept([this](std::error_code failure, tcp::socket socket) {
        if (closing_ || failure == asio::error::operation_aborted) {
            return;
        }
        if (!failure) {
            if (connections_.size() >= options_.maxClients) {
                std::error_code ignored;
                socket.close(ignored);
            } else {
                auto connection = std::make_shared<Connection>(*this, std::move(socket));
                connections_.insert(connection);
                connection->start();
            }
        }
        accept();
    });
}

void WebServer::closed(const std::shared_ptr<Connection>& connection) {
    connections_.erase(connection);
}

const Snapshot& WebServer::snapshot() {
    const auto now = Clock::now();
    if (!fresh_ || now - readAt_ >= kStateAge) {
        read();
    }
    snapshot_.lockedBy = lock_.lockedAgainst(client_) ? lock_.refusal() : "";
    return snapshot_;
}

void WebServer::read() {
    const auto now = Clock::now();
    protocol::DeviceState state;
    const auto fault = generator_.readState(state);
    const bool wasPresent = snapshot_.present;
    snapshot_.present = !fault;
    if (fault) {
        snapshot_.absence = fault->missing ? "No generator is present" : fault->text;
        snapshot_.identity = {};
    } else {
        snapshot_.absence.clear();
        snapshot_.shown = settings::applyRangeRule(state);
        // *IDN?'s own answer, split into its four fields.
        if (!wasPresent || now - identityAt_ >= kIdentityAge) {
            const auto idn = scpi::GeneratorCommands(generator_).identify();
            if (idn.answer) {
                std::size_t start = 0;
                for (std::size_t field = 0; field < 4; ++field) {
                    const auto comma = field < 3 ? idn.answer->find(',', start) : std::string::npos;
                    snapshot_.identity[field] = idn.answer->substr(start, comma - start);
                    start = comma == std::string::npos ? idn.answer->size() : comma + 1;
                }
                identityAt_ = now;
            }
        }
    }
    readAt_ = now;
    fresh_ = true;
}

Response WebServer::answer(const Request& request, bool loopback) {
    if (!hostAllowed(request.host, hosts_)) {
        Response refused = text(403, "the Host header does not name this server");
        refused.keepAlive = false;
        return refused;
    }
    const ChangeRule rule{loopback, options_.password};
    const auto readOnly = readOnlyReason(rule);
    const auto given = basicPassword(request.authorization);
    const bool signIn =
        !loopback && options_.password && !(given && samePassword(*given, *options_.password));
    const std::string path = request.target.substr(0, request.target.find('?'));
    const bool get = request.method == "GET" || request.method == "HEAD";
    const auto only = [&](const char* allowed) {
        Response wrong = text(405, "use " + std::string(allowed));
        wrong.headers.emplace_back("Allow", allowed);
        return wrong;
    };
    Response out;
    if (path == "/settings") {
        return request.method == "POST" ? change(request, rule) : only("POST");
    }
    if (!get) {
        return only("GET, HEAD");
    }
    if (path == "/") {
        out = {
            200, "text/html; charset=utf-8", pageHtml(snapshot(), served_, readOnly, signIn), {}};
    } else if (path == "/page.css") {
        out = {200, "text/css; charset=utf-8", std::string(pageStyle()), {}};
    } else if (path == "/page.js") {
        out = {200, "text/javascript; charset=utf-8", std::string(pageScript()), {}};
    } else if (path == "/icon.svg") {
        out = {200, "image/svg+xml", std::string(pageIcon()), {}};
    } else if (path == "/state") {
        out = {200, "application/json", stateJson(snapshot(), readOnly, signIn), {}};
    } else if (path == "/lxi/identification") {
        const Snapshot& now = snapshot();
        out = now.present
                  ? Response{200, "text/xml; charset=utf-8", identificationXml(now, served_), {}}
                  : text(503, now.absence);
    } else if (path == "/sign-in") {
        if (signIn) {
            out = text(401, "changing settings needs the password");
            out.headers.emplace_back("WWW-Authenticate",
                                     "Basic realm=\"trelvix-pulse-cli serve\", charset=\"UTF-8\"");
        } else {
            out = text(303, "signed in");
            out.headers.emplace_back("Location", "/");
        }
    } else {
        out = text(404, "nothing here");
    }
    out.headOnly = request.method == "HEAD";
    return out;
}

Response WebServer::change(const Request& request, const ChangeRule& rule) {
    if (const auto refusal = refuseChange(request, rule)) {
        Response out = json(refusal->status, {{"sent", false}, {"message", refusal->text}});
        if (refusal->askPassword) {
            out.headers.emplace_back("WWW-Authenticate",
                                     "Basic realm=\"trelvix-pulse-cli serve\", charset=\"UTF-8\"");
        }
        return out;
    }
    const CheckedChange checked = checkChange(request.body);
    nlohmann::json reply = {{"sent", false}};
    if (!checked.boxText.empty()) {
        reply["text"] = checked.boxText;
    }
    switch (checked.verdict) {
        case CheckedChange::Verdict::Malformed:
            reply["message"] = checked.message;
            return json(400, reply);
        case CheckedChange::Verdict::Message:
            reply["title"] = checked.title;
            reply["message"] = checked.message;
            return json(422, reply);
        case CheckedChange::Verdict::Send:
            break;
    }
    fresh_ = false;  // the page reads what it changed at its next look
    for (const auto& report : checked.reports) {
        if (const auto fault = generator_.send(report)) {
            reply["message"] = fault->locked    ? fault->text
                               : fault->missing ? std::string("No generator is present")
                                                : "Hardware error: " + fault->text;
            return json(fault->locked ? 409 : fault->missing ? 503 : 502, reply);
        }
    }
    reply["sent"] = true;
    return json(200, reply);
}

}  // namespace tpg::web
