#include "web/HttpCodec.h"

#include <sstream>

#include <boost/beast/http.hpp>

namespace tpg::web {

namespace http = boost::beast::http;

struct RequestReader::Parser {
    explicit Parser(const ReaderLimits& limits) {
        parser.header_limit(static_cast<std::uint32_t>(limits.headerBytes));
        parser.body_limit(limits.bodyBytes);
        // The header first, on its own: its body is read only once the
        // header is judged.
        parser.eager(false);
    }
    http::request_parser<http::string_body> parser;
    bool headerJudged = false;
};

RequestReader::RequestReader(ReaderLimits limits)
    : limits_(limits), parser_(std::make_unique<Parser>(limits)) {}

RequestReader::~RequestReader() = default;

RequestReader::Progress RequestReader::feed(std::string_view bytes) {
    if (!error_.empty()) {
        return Progress::Bad;
    }
    // What is held never exceeds one request's limits and a read's worth:
    // the parser takes every whole header and body part it is shown.
    if (held_.size() + bytes.size() >
        limits_.headerBytes + limits_.bodyBytes + std::size_t{64} * 1024) {
        error_ = "the request is too large";
        badStatus_ = 413;
        return Progress::Bad;
    }
    held_.append(bytes);
    return parse();
}

RequestReader::Progress RequestReader::parse() {
    auto& parser = parser_->parser;
    while (!parser.is_done()) {
        if (held_.empty()) {
            return Progress::NeedMore;
        }
        boost::beast::error_code failure;
        const std::size_t used =
            parser.put(boost::asio::buffer(held_.data(), held_.size()), failure);
        held_.erase(0, used);
        if (failure == http::error::need_more) {
            if (used == 0 && held_.size() > limits_.headerBytes && !parser.is_header_done()) {
                error_ = "the request's header is too large";
                badStatus_ = 431;
                return Progress::Bad;
            }
            if (used == 0) {
                return Progress::NeedMore;
            }
            continue;
        }
        if (!failure && parser.is_header_done() && !parser_->headerJudged) {
            parser_->headerJudged = true;
            // The page sends its changes with a Content-Length; a chunked
            // body is nothing it sends, and is refused before it is read.
            if (parser.chunked()) {
                error_ = "a chunked body is not taken; send a Content-Length";
                badStatus_ = 411;
                return Progress::Bad;
            }
            parser.eager(true);
            continue;
        }
        if (failure) {
            error_ = failure.message();
            badStatus_ = failure == http::error::body_limit     ? 413
                         : failure == http::error::header_limit ? 431
                                                                : 400;
            return Progress::Bad;
        }
    }
    const auto& fields = parser.get();
    for (const auto field : {http::field::host, http::field::origin, http::field::authorization,
                             http::field::content_type}) {
        if (fields.count(field) > 1) {
            error_ = std::string(http::to_string(field)) + " is given twice";
            badStatus_ = 400;
            return Progress::Bad;
        }
    }
    return Progress::Ready;
}

Request RequestReader::take() {
    auto message = parser_->parser.release();
    parser_ = std::make_unique<Parser>(limits_);
    const auto header = [&](http::field field) {
        const auto found = message.find(field);
        return found == message.end() ? std::string() : std::string(found->value());
    };
    Request request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.host = header(http::field::host);
    request.origin = header(http::field::origin);
    request.contentType = header(http::field::content_type);
    request.authorization = header(http::field::authorization);
    const auto fetchSite = message.find("Sec-Fetch-Site");
    if (fetchSite != message.end()) {
        request.fetchSite = std::string(fetchSite->value());
    }
    request.keepAlive = message.keep_alive();
    request.body = std::move(message.body());
    return request;
}

std::string writeResponse(const Response& response) {
    http::response<http::string_body> out{static_cast<http::status>(response.status), 11};
    if (!response.contentType.empty()) {
        out.set(http::field::content_type, response.contentType);
    }
    for (const auto& [name, value] : response.headers) {
        out.set(name, value);
    }
    out.body() = response.body;
    out.keep_alive(response.keepAlive);
    out.prepare_payload();
    if (response.headOnly) {
        out.body().clear();
    }
    std::ostringstream bytes;
    bytes << out;
    return bytes.str();
}

}  // namespace tpg::web
