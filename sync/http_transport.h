#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One HTTP exchange as the CalDAV client sees it, and the interface that
// carries it: WinHTTP in the program, an in-memory server in the tests.
namespace caldav {

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method; // GET, PUT, DELETE, PROPFIND, REPORT, ...
    std::string url;    // absolute
    std::vector<HttpHeader> headers;
    std::string body;
};

// Why a request got no HTTP answer at all.
enum class TransportError {
    None,
    Timeout,     // no answer in time
    Dropped,     // the connection failed or closed before the answer was whole
    Certificate, // the server's certificate is not trusted; never retried
    TooLarge,    // the answer exceeded the size bound
    Refused,     // the client would not send it (plain text to a remote host, a bad URL)
    Other,
};

struct HttpResponse {
    int status = 0; // 0 when `error` is set
    std::vector<HttpHeader> headers;
    std::string body;
    TransportError error = TransportError::None;
    std::string message; // what went wrong, for the user, when `error` is set

    // The first header of this name (compared without case), or nullptr.
    const std::string* Header(std::string_view name) const;
};

// The largest answer read; a larger one is an error, never a bigger buffer.
constexpr std::size_t kMaxResponseBytes = 64u << 20;

class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    // Sends one request and returns its answer as it came: no redirect is
    // followed and no authentication is answered here. Never throws.
    virtual HttpResponse Send(const HttpRequest& request) = 0;
};

bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

} // namespace caldav
