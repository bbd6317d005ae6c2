#pragma once

#include <string>
#include <string_view>

// The few URL operations a CalDAV client needs: read an http(s) URL, resolve
// the hrefs a server answers with, and decide which URLs may carry a password.
namespace caldav {

struct Url {
    std::string scheme; // "http" or "https", lower case
    std::string host;   // lower case; an IPv6 address without brackets
    int port = 0;       // always set (80 or 443 by default)
    std::string path;   // starts with '/', the query included

    std::string Origin() const;   // scheme://host[:port]
    std::string ToString() const; // Origin() + path
};

// Reads an absolute http or https URL; false for anything else (user info in
// the URL is refused so that no password travels in one).
bool ParseUrl(std::string_view text, Url& url);

// `reference` (an absolute URL, an absolute path, or a relative path) against
// `base`, as a browser would resolve it; false when it cannot be read.
bool ResolveUrl(const Url& base, std::string_view reference, Url& result);

// 127.0.0.0/8, ::1 and localhost.
bool IsLoopbackHost(std::string_view host);

// Whether a request may go to `url`: https always, plain http only to the
// loopback address or when the account allows an unencrypted connection.
// `why` says what is wrong when not.
bool IsUrlAllowed(const Url& url, bool allowUnencrypted, std::string& why);

// A path as the server meant it, for comparing hrefs that servers encode
// differently: %XX decoded where it stands for an unreserved character or a
// sub-delimiter, hex digits in upper case elsewhere.
std::string NormalizePath(std::string_view path);

// A path segment with everything but unreserved characters percent-encoded.
std::string EncodePathSegment(std::string_view segment);

} // namespace caldav
