#pragma once

#include "sync/http_transport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// HTTP authentication done by the client itself, the same on Windows and
// under Wine (whose WinHTTP accepts Digest credentials but never sends them):
// Basic (RFC 7617) and Digest with MD5 (RFC 7616, qop=auth).
namespace caldav {

struct AuthChallenge {
    std::string scheme; // as written; compare without case
    std::vector<HttpHeader> parameters;

    const std::string* Parameter(std::string_view name) const;
};

// The challenges of every WWW-Authenticate header of an answer.
std::vector<AuthChallenge> ParseChallenges(const HttpResponse& response);

std::string Base64(std::string_view bytes);
std::string Md5Hex(std::string_view bytes);

class Authenticator {
public:
    Authenticator(std::string user, std::string password);
    ~Authenticator();
    Authenticator(const Authenticator&) = delete;
    Authenticator& operator=(const Authenticator&) = delete;

    // Takes the scheme the server asked for in a 401 (Digest over Basic when
    // both are offered). False, with `why`, when none can be answered or no
    // user name is set. A Digest challenge marked stale renews the nonce.
    bool Accept(const HttpResponse& unauthorized, std::string& why);

    // The Authorization header value for the next request, or "" before a
    // scheme is known. Basic is sent up front once known: that saves a 401
    // round trip on every request.
    std::string HeaderFor(std::string_view method, std::string_view pathAndQuery);

    bool Knows() const { return m_scheme != Scheme::None; }
    // Starts with Basic sent up front (an account known to use it).
    void AssumeBasic() { m_scheme = Scheme::Basic; }
    bool UsesBasic() const { return m_scheme == Scheme::Basic; }

    // The client nonce source; tests fix it.
    std::function<std::string()> makeClientNonce;

private:
    enum class Scheme { None, Basic, Digest };
    std::string m_user;
    std::string m_password;
    Scheme m_scheme = Scheme::None;
    std::string m_realm, m_nonce, m_opaque, m_algorithm;
    bool m_qopAuth = false;
    std::uint32_t m_nonceCount = 0;
};

} // namespace caldav
