#pragma once

#include "sync/http_transport.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <string>

// The transport of the program: WinHTTP with the system's TLS and
// certificate checks. A certificate that is not trusted ends the request with
// a message; no check is ever switched off. Redirects and authentication are
// left to the client, so that they behave the same everywhere.
namespace caldav {

struct WinHttpOptions {
    bool allowUnencrypted = false; // plain http:// to a host other than loopback
    std::chrono::milliseconds connectTimeout{15000};
    std::chrono::milliseconds sendTimeout{30000};
    std::chrono::milliseconds receiveTimeout{60000};
    std::size_t maxResponseBytes = kMaxResponseBytes;
};

class WinHttpTransport final : public IHttpTransport {
public:
    explicit WinHttpTransport(WinHttpOptions options = WinHttpOptions());
    ~WinHttpTransport() override;
    WinHttpTransport(const WinHttpTransport&) = delete;
    WinHttpTransport& operator=(const WinHttpTransport&) = delete;

    HttpResponse Send(const HttpRequest& request) override;

private:
    HINTERNET Session(bool loopback);

    WinHttpOptions m_options;
    HINTERNET m_session = nullptr;       // with the system's proxy settings
    HINTERNET m_directSession = nullptr; // loopback never goes through a proxy
};

} // namespace caldav
