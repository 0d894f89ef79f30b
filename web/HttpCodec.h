// HTTP/1.1 on the wire for the web page's server, pure: a request is read
// from the bytes a connection hands in with Boost.Beast's parser (bounded
// header and body), a response written with its serializer. No sockets here.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tpg::web {

// What the server looks at in a request. A header that is absent is empty.
struct Request {
    std::string method;  // "GET", "POST", ...
    std::string target;  // "/", "/state?x", ...
    std::string host;
    std::string origin;
    std::string contentType;
    std::string authorization;
    std::string fetchSite;  // Sec-Fetch-Site
    std::string body;
    bool keepAlive = false;
};

struct Response {
    int status = 200;
    std::string contentType;  // empty: no body type (and no body)
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool keepAlive = true;
    bool headOnly = false;  // the answer to HEAD: the headers of a GET, no body
};

struct ReaderLimits {
    std::size_t headerBytes = 8 * 1024;
    std::size_t bodyBytes = 4 * 1024;
};

class RequestReader {
  public:
    enum class Progress { NeedMore, Ready, Bad };

    explicit RequestReader(ReaderLimits limits = {});
    ~RequestReader();
    RequestReader(const RequestReader&) = delete;
    RequestReader& operator=(const RequestReader&) = delete;

    // Hands in bytes received (empty to go on with bytes already held, after
    // take). Ready: a whole request is held; Bad: the bytes are not HTTP, a
    // limit was passed, or a header that must be single (Host, Origin,
    // Authorization, Content-Type) came twice, or the body is chunked; the
    // reason is in error().
    Progress feed(std::string_view bytes);
    // After Ready: the request; the reader then parses what followed it.
    Request take();
    const std::string& error() const { return error_; }
    // The status a Bad request is answered with (400, 411, 413 or 431).
    int badStatus() const { return badStatus_; }

  private:
    struct Parser;
    Progress parse();

    ReaderLimits limits_;
    std::unique_ptr<Parser> parser_;
    std::string held_;
    std::string error_;
    int badStatus_ = 400;
};

// The bytes of a response: status line, Content-Type and Content-Length (for
// any status but 204 and 304), Connection, the extra headers, the body.
std::string writeResponse(const Response& response);

}  // namespace tpg::web
