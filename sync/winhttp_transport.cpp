#include "sync/winhttp_transport.h"

#include "framework/utf_text.h"
#include "sync/url.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace caldav {

namespace {

struct InternetCloser {
    void operator()(HINTERNET h) const {
        if (h != nullptr)
            WinHttpCloseHandle(h);
    }
};
using unique_hinternet = std::unique_ptr<void, InternetCloser>;

HttpResponse Failure(TransportError kind, std::string message) {
    HttpResponse response;
    response.error = kind;
    response.message = std::move(message);
    return response;
}

std::string CertificateProblem(DWORD flags) {
    std::string what;
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)
        what = "its revocation could not be checked";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT)
        what = "it is not valid";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)
        what = "it was revoked";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)
        what = "it is not signed by an authority this computer trusts";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
        what = "it is made out to another name";
    else if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)
        what = "it has expired or is not yet valid";
    else
        what = "it could not be checked";
    return what;
}

// The certificate flags WinHTTP reports through its callback; the
// request's context value points at this.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context != 0 && info != nullptr)
        *reinterpret_cast<DWORD*>(context) = *static_cast<DWORD*>(info);
}

// WSAECONNABORTED and WSAECONNRESET, without the sockets header.
constexpr DWORD kSocketAborted = 10053;
constexpr DWORD kSocketReset = 10054;

HttpResponse FromError(DWORD code, const Url& url, DWORD certificateFlags) {
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
        return Failure(TransportError::Timeout,
                       "The server at " + url.host + " did not answer in time.");
    // Wine's WinHTTP says only "secure channel error" for an untrusted
    // certificate, and gives no flags; Windows says "secure failure" and why.
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        return Failure(TransportError::Certificate, "The secure connection to " + url.host +
                                                        " was refused: the server's "
                                                        "certificate cannot be trusted (" +
                                                        CertificateProblem(certificateFlags) +
                                                        ").");
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return Failure(TransportError::Other, "The server name " + url.host + " is not known.");
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return Failure(TransportError::Dropped, "No connection could be made to " + url.host + ".");
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    // Wine hands on the socket's own error where Windows says "connection
    // error": a server that resets the connection (one that closes after a
    // 401 with the request's body unread does) broke it, and a retry may
    // get through.
    case kSocketAborted:
    case kSocketReset:
        return Failure(TransportError::Dropped, "The connection to " + url.host + " was broken.");
    default:
        return Failure(TransportError::Other, "The request to " + url.host +
                                                  " failed (WinHTTP error " + std::to_string(code) +
                                                  ").");
    }
}

std::vector<HttpHeader> ParseHeaders(const std::wstring& raw) {
    std::vector<HttpHeader> headers;
    const std::string text = fw::Narrow(raw);
    std::size_t pos = text.find("\r\n"); // past the status line
    while (pos != std::string::npos && pos + 2 < text.size()) {
        const std::size_t start = pos + 2;
        const std::size_t end = text.find("\r\n", start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::size_t valueStart = colon + 1;
            while (valueStart < line.size() && line[valueStart] == ' ')
                ++valueStart;
            headers.push_back({line.substr(0, colon), line.substr(valueStart)});
        }
        pos = end;
    }
    return headers;
}

} // namespace

WinHttpTransport::WinHttpTransport(WinHttpOptions options) : m_options(options) {}

WinHttpTransport::~WinHttpTransport() {
    if (m_session != nullptr)
        WinHttpCloseHandle(m_session);
    if (m_directSession != nullptr)
        WinHttpCloseHandle(m_directSession);
}

HINTERNET WinHttpTransport::Session(bool loopback) {
    HINTERNET& session = loopback ? m_directSession : m_session;
    if (session == nullptr) {
        session =
            WinHttpOpen(L"Quillmere",
                        loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (session != nullptr) {
            WinHttpSetTimeouts(session, static_cast<int>(m_options.connectTimeout.count()),
                               static_cast<int>(m_options.connectTimeout.count()),
                               static_cast<int>(m_options.sendTimeout.count()),
                               static_cast<int>(m_options.receiveTimeout.count()));
            // TLS 1.2 and later only, where the system knows them.
            DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
#ifdef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
            protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
#endif
            if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                                  sizeof protocols)) {
                protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
                WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                                 sizeof protocols);
            }
        }
    }
    return session;
}

HttpResponse WinHttpTransport::Send(const HttpRequest& request) {
    Url url;
    if (!ParseUrl(request.url, url))
        return Failure(TransportError::Refused, "\"" + request.url + "\" is not a web address.");
    std::string why;
    if (!IsUrlAllowed(url, m_options.allowUnencrypted, why))
        return Failure(TransportError::Refused, why);
    const bool secure = url.scheme == "https";
    HINTERNET session = Session(IsLoopbackHost(url.host));
    if (session == nullptr)
        return FromError(GetLastError(), url, 0);
    unique_hinternet connection(WinHttpConnect(session, fw::Widen(url.host).c_str(),
                                               static_cast<INTERNET_PORT>(url.port), 0));
    if (!connection)
        return FromError(GetLastError(), url, 0);
    unique_hinternet handle(WinHttpOpenRequest(
        connection.get(), fw::Widen(request.method).c_str(), fw::Widen(url.path).c_str(), nullptr,
        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!handle)
        return FromError(GetLastError(), url, 0);
    // The client follows redirects itself (at most 5, method kept) and
    // answers authentication itself; WinHTTP does neither on its own.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(handle.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    DWORD autoLogon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    WinHttpSetOption(handle.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &autoLogon, sizeof autoLogon);
    DWORD certificateFlags = 0;
    WinHttpSetStatusCallback(handle.get(), OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&certificateFlags);
    WinHttpSetOption(handle.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);

    std::wstring headers;
    for (const HttpHeader& header : request.headers)
        headers += fw::Widen(header.name) + L": " + fw::Widen(header.value) + L"\r\n";
    const BOOL sent = WinHttpSendRequest(
        handle.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
        headers.empty() ? 0 : static_cast<DWORD>(-1L),
        request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data()),
        static_cast<DWORD>(request.body.size()), static_cast<DWORD>(request.body.size()), 0);
    // The header block is no longer needed; it may hold an Authorization value.
    SecureZeroMemory(headers.data(), headers.size() * sizeof(wchar_t));
    if (!sent || !WinHttpReceiveResponse(handle.get(), nullptr))
        return FromError(GetLastError(), url, certificateFlags);

    HttpResponse response;
    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return FromError(GetLastError(), url, 0);
    response.status = static_cast<int>(status);
    size = 0;
    WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (size > 0 && size < (1u << 20)) {
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF,
                                WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                                WINHTTP_NO_HEADER_INDEX)) {
            raw.resize(size / sizeof(wchar_t));
            response.headers = ParseHeaders(raw);
        }
    }
    // The body, never more than the bound: a larger answer is refused as it
    // arrives, not after it has been held whole.
    if (const std::string* length = response.Header("Content-Length")) {
        if (length->size() > 12 || std::stoull("0" + *length) > m_options.maxResponseBytes)
            return Failure(TransportError::TooLarge,
                           "The server's answer is larger than " +
                               std::to_string(m_options.maxResponseBytes >> 20) + " MiB.");
    }
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handle.get(), &available))
            return FromError(GetLastError(), url, 0);
        if (available == 0)
            break;
        // Read in pieces of at most 1 MiB: what is said to be available is
        // only a hint, and the bound is on what truly arrives.
        available = std::min<DWORD>(available, 1u << 20);
        if (response.body.size() + available > m_options.maxResponseBytes)
            return Failure(TransportError::TooLarge,
                           "The server's answer is larger than " +
                               std::to_string(m_options.maxResponseBytes >> 20) + " MiB.");
        const std::size_t before = response.body.size();
        response.body.resize(before + available);
        DWORD read = 0;
        if (!WinHttpReadData(handle.get(), response.body.data() + before, available, &read))
            return FromError(GetLastError(), url, 0);
        response.body.resize(before + read);
        if (read == 0)
            break;
    }
    // A connection closed before the announced length is a broken answer,
    // not a short one.
    if (const std::string* length = response.Header("Content-Length"))
        if (std::to_string(response.body.size()) != *length)
            return Failure(TransportError::Dropped,
                           "The connection to " + url.host + " broke off during the answer.");
    return response;
}

} // namespace caldav
