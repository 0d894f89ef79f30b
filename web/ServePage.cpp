#include "web/ServePage.h"

#include <fstream>
#include <ostream>

#include "server/ListenAddress.h"
#include "web/WebServer.h"

namespace tpg::web {
namespace {

// The password is the file's first line, without its line end.
std::optional<std::string> readPassword(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line)) {
        error = "cannot read the password file " + path;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        error = "the password file " + path + " holds no password on its first line";
        return std::nullopt;
    }
    return line;
}

}  // namespace

std::string resourceHost(const asio::ip::tcp::endpoint& endpoint) {
    const auto address = endpoint.address();
    if (address.is_unspecified()) {
        std::error_code failure;
        const std::string name = asio::ip::host_name(failure);
        // A machine without a name (an initramfs says "(none)") is
        // named by its loopback name.
        return failure || name.empty() || name == "(none)" ? "localhost" : name;
    }
    // Built by appending: GCC 12 at -O2 warns of overlapping copies in
    // "literal" + std::string temporaries that are not there.
    if (!address.is_v6()) {
        return address.to_string();
    }
    std::string text(1, '[');
    text.append(address.to_string()).push_back(']');
    return text;
}

StartedPage startPage(asio::io_context& io, const PageOptions& options, scpi::Generator& generator,
                      lock::GeneratorLock& lock, std::ostream& err) {
    StartedPage out;
    if (options.off) {
        return out;
    }
    std::string error;
    const auto endpoint = server::parseListenAddress(options.http.value_or(kDefaultHttp), error);
    if (!endpoint) {
        err << "trelvix-pulse-cli: --http: " << error << "\n";
        out.status = 1;
        return out;
    }
    WebOptions web;
    web.endpoint = *endpoint;
    web.resources = options.resources;
    if (options.passwordFile) {
        web.password = readPassword(*options.passwordFile, error);
        if (!web.password) {
            err << "trelvix-pulse-cli: " << error << "\n";
            out.status = 1;
            return out;
        }
    }
    try {
        out.server = std::make_unique<WebServer>(io, web, generator, lock, err);
    } catch (const asio::system_error& failure) {
        err << "trelvix-pulse-cli: cannot serve the page on " << server::endpointText(*endpoint)
            << ": " << failure.code().message() << "\n";
        if (options.http) {
            out.status = 3;
        } else {
            err << "trelvix-pulse-cli: serving without the page (--http HOST:PORT chooses "
                   "another address)\n";
        }
        return out;
    }
    if (!endpoint->address().is_loopback()) {
        err << "trelvix-pulse-cli: page at " << out.server->pageUrl() << ": "
            << (web.password ? "changes need the password, sent without encryption"
                             : "read-only there (no --http-password-file)")
            << "\n";
    }
    return out;
}

}  // namespace tpg::web
