#include "sync/url.h"

#include "sync/http_transport.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace caldav {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Removes "." and ".." segments (RFC 3986, 5.2.4) from a path without query
// that starts with '/'.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    bool trailingSlash = false;
    std::size_t start = 1;
    for (;;) {
        std::size_t end = path.find('/', start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = path.size();
        const std::string_view segment =
            path.substr(std::min(start, path.size()), end - std::min(start, path.size()));
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            trailingSlash = true;
        } else if (segment == ".") {
            trailingSlash = true;
        } else if (last && segment.empty()) {
            trailingSlash = true;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string out;
    for (const std::string_view segment : segments) {
        out += '/';
        out += segment;
    }
    if (out.empty() || trailingSlash)
        out += '/';
    return out;
}

std::string NormalizeFullPath(std::string_view pathAndQuery) {
    const std::size_t query = pathAndQuery.find('?');
    std::string path = RemoveDotSegments(pathAndQuery.substr(0, query));
    if (query != std::string_view::npos)
        path += pathAndQuery.substr(query);
    return path;
}

} // namespace

std::string Url::Origin() const {
    std::string out = scheme + "://";
    if (host.find(':') != std::string::npos) {
        out += '[';
        out += host;
        out += ']';
    } else {
        out += host;
    }
    const bool defaultPort = (scheme == "http" && port == 80) || (scheme == "https" && port == 443);
    if (!defaultPort) {
        out += ':';
        out += std::to_string(port);
    }
    return out;
}

std::string Url::ToString() const {
    return Origin() + path;
}

bool ParseUrl(std::string_view text, Url& url) {
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos)
        return false;
    Url result;
    result.scheme = Lower(text.substr(0, schemeEnd));
    if (result.scheme != "http" && result.scheme != "https")
        return false;
    std::string_view rest = text.substr(schemeEnd + 3);
    const std::size_t pathStart = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, pathStart);
    std::string_view path =
        pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
    if (authority.empty() || authority.find('@') != std::string_view::npos)
        return false;
    std::string_view portText;
    if (authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        result.host = Lower(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
        }
    } else {
        const std::size_t colon = authority.find(':');
        result.host = Lower(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1);
    }
    if (result.host.empty())
        return false;
    for (const char c : result.host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == ':' ||
              c == '_'))
            return false;
    result.port = result.scheme == "https" ? 443 : 80;
    if (!portText.empty()) {
        if (portText.size() > 5)
            return false;
        int port = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535)
            return false;
        result.port = port;
    }
    const std::size_t fragment = path.find('#');
    path = path.substr(0, fragment);
    for (const char c : path)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    if (path.empty() || path.front() == '?') {
        result.path = '/';
        result.path += path;
    } else
        result.path = NormalizeFullPath(path);
    url = std::move(result);
    return true;
}

bool ResolveUrl(const Url& base, std::string_view reference, Url& result) {
    // Servers put white space around hrefs in pretty-printed answers.
    while (!reference.empty() && std::isspace(static_cast<unsigned char>(reference.front())))
        reference.remove_prefix(1);
    while (!reference.empty() && std::isspace(static_cast<unsigned char>(reference.back())))
        reference.remove_suffix(1);
    if (reference.find("://") != std::string_view::npos)
        return ParseUrl(reference, result);
    for (const char c : reference)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    reference = reference.substr(0, reference.find('#'));
    Url out = base;
    if (reference.substr(0, 2) == "//") {
        return ParseUrl(base.scheme + ":" + std::string(reference), result);
    } else if (!reference.empty() && reference.front() == '/') {
        out.path = NormalizeFullPath(reference);
    } else if (reference.empty()) {
        out.path = base.path;
    } else if (reference.front() == '?') {
        out.path = base.path.substr(0, base.path.find('?')) + std::string(reference);
    } else {
        std::string basePath = base.path.substr(0, base.path.find('?'));
        basePath = basePath.substr(0, basePath.rfind('/') + 1);
        out.path = NormalizeFullPath(basePath + std::string(reference));
    }
    result = std::move(out);
    return true;
}

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "::1" || host == "0:0:0:0:0:0:0:1")
        return true;
    if (host.substr(0, 4) != "127.")
        return false;
    // A dotted IPv4 address in 127.0.0.0/8, nothing else that starts so.
    int parts = 0;
    std::size_t i = 0;
    while (i <= host.size()) {
        std::size_t end = host.find('.', i);
        if (end == std::string_view::npos)
            end = host.size();
        const std::string_view part = host.substr(i, end - i);
        if (part.empty() || part.size() > 3)
            return false;
        int value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return false;
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

bool IsUrlAllowed(const Url& url, bool allowUnencrypted, std::string& why) {
    if (url.scheme == "https")
        return true;
    if (url.scheme == "http" && (IsLoopbackHost(url.host) || allowUnencrypted))
        return true;
    why = "An unencrypted connection to " + url.host +
          " was refused: use an https:// address, or allow an unencrypted connection for this "
          "account.";
    return false;
}

std::string NormalizePath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '%' && i + 2 < path.size() + 0 && HexValue(path[i + 1]) >= 0 &&
            HexValue(path[i + 2]) >= 0) {
            const auto decoded =
                static_cast<unsigned char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
            const std::string_view subDelims = "!$&'()*+,;=:@";
            if (IsUnreserved(decoded) ||
                subDelims.find(static_cast<char>(decoded)) != std::string_view::npos) {
                out += static_cast<char>(decoded);
            } else {
                static const char kHex[] = "0123456789ABCDEF";
                out += '%';
                out += kHex[decoded >> 4];
                out += kHex[decoded & 15];
            }
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string EncodePathSegment(std::string_view segment) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : segment) {
        const auto u = static_cast<unsigned char>(c);
        if (IsUnreserved(u) || c == '@') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const std::string* HttpResponse::Header(std::string_view name) const {
    for (const HttpHeader& header : headers)
        if (EqualsNoCaseAscii(header.name, name))
            return &header.value;
    return nullptr;
}

} // namespace caldav
