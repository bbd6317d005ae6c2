#include "sync/http_auth.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>

namespace caldav {

namespace {

// MD5 (RFC 1321), which Digest authentication is defined over.
class Md5 {
public:
    void Update(std::string_view data) {
        for (const char c : data) {
            m_block[m_used++] = static_cast<std::uint8_t>(c);
            if (m_used == 64) {
                Transform();
                m_used = 0;
            }
        }
        m_length += data.size();
    }
    std::array<std::uint8_t, 16> Finish() {
        const std::uint64_t bits = m_length * 8;
        Update(std::string_view("\x80", 1));
        while (m_used != 56)
            Update(std::string_view("\0", 1));
        for (int i = 0; i < 8; ++i)
            m_block[56 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        Transform();
        std::array<std::uint8_t, 16> digest{};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                digest[i * 4 + j] = static_cast<std::uint8_t>(m_state[i] >> (8 * j));
        return digest;
    }

private:
    static std::uint32_t Rotate(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
    void Transform() {
        static const std::uint32_t k[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
            0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
            0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
            0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
            0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
            0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
            0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
            0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
            0xeb86d391};
        static const int r[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                  5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                  4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                  6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<std::uint32_t>(m_block[i * 4]) |
                   (static_cast<std::uint32_t>(m_block[i * 4 + 1]) << 8) |
                   (static_cast<std::uint32_t>(m_block[i * 4 + 2]) << 16) |
                   (static_cast<std::uint32_t>(m_block[i * 4 + 3]) << 24);
        std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const std::uint32_t next = d;
            d = c;
            c = b;
            b = b + Rotate(a + f + k[i] + w[g], r[i]);
            a = next;
        }
        m_state[0] += a;
        m_state[1] += b;
        m_state[2] += c;
        m_state[3] += d;
    }

    std::uint32_t m_state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::uint8_t m_block[64] = {};
    std::size_t m_used = 0;
    std::uint64_t m_length = 0;
};

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

void SkipSpaceAndCommas(std::string_view text, std::size_t& i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ','))
        ++i;
}

std::string Token(std::string_view text, std::size_t& i) {
    const std::size_t start = i;
    while (i < text.size() && IsTokenChar(text[i]))
        ++i;
    return std::string(text.substr(start, i - start));
}

// Challenges in one header value: scheme, then name=value pairs (tokens or
// quoted strings), a comma before each further pair or challenge.
void ParseHeader(std::string_view text, std::vector<AuthChallenge>& out) {
    std::size_t i = 0;
    while (i < text.size()) {
        SkipSpaceAndCommas(text, i);
        std::string scheme = Token(text, i);
        if (scheme.empty())
            return;
        AuthChallenge challenge{std::move(scheme), {}};
        for (;;) {
            SkipSpaceAndCommas(text, i);
            const std::size_t start = i;
            std::string name = Token(text, i);
            std::size_t j = i;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
                ++j;
            if (name.empty() || j >= text.size() || text[j] != '=') {
                i = start; // the next challenge's scheme (or nothing more)
                break;
            }
            i = j + 1;
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
            std::string value;
            if (i < text.size() && text[i] == '"') {
                for (++i; i < text.size() && text[i] != '"'; ++i) {
                    if (text[i] == '\\' && i + 1 < text.size())
                        ++i;
                    value += text[i];
                }
                if (i < text.size())
                    ++i;
            } else {
                value = Token(text, i);
            }
            challenge.parameters.push_back({std::move(name), std::move(value)});
        }
        out.push_back(std::move(challenge));
    }
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string RandomNonce() {
    std::random_device device;
    std::string out;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        out += part;
    }
    return out;
}

} // namespace

const std::string* AuthChallenge::Parameter(std::string_view name) const {
    for (const HttpHeader& parameter : parameters)
        if (EqualsNoCaseAscii(parameter.name, name))
            return &parameter.value;
    return nullptr;
}

std::vector<AuthChallenge> ParseChallenges(const HttpResponse& response) {
    std::vector<AuthChallenge> challenges;
    for (const HttpHeader& header : response.headers)
        if (EqualsNoCaseAscii(header.name, "WWW-Authenticate"))
            ParseHeader(header.value, challenges);
    return challenges;
}

std::string Base64(std::string_view bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Md5Hex(std::string_view bytes) {
    Md5 md5;
    md5.Update(bytes);
    const auto digest = md5.Finish();
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

Authenticator::Authenticator(std::string user, std::string password)
    : makeClientNonce(RandomNonce), m_user(std::move(user)), m_password(std::move(password)) {}

Authenticator::~Authenticator() {
    // The password leaves memory with the account's session.
    volatile char* p = m_password.data();
    for (std::size_t i = 0; i < m_password.size(); ++i)
        p[i] = 0;
}

bool Authenticator::Accept(const HttpResponse& unauthorized, std::string& why) {
    if (m_user.empty()) {
        why = "The server asks for a user name and password.";
        return false;
    }
    const std::vector<AuthChallenge> challenges = ParseChallenges(unauthorized);
    const AuthChallenge* basic = nullptr;
    const AuthChallenge* digest = nullptr;
    for (const AuthChallenge& challenge : challenges) {
        if (EqualsNoCaseAscii(challenge.scheme, "Basic") && basic == nullptr) {
            basic = &challenge;
        } else if (EqualsNoCaseAscii(challenge.scheme, "Digest") && digest == nullptr) {
            const std::string* algorithm = challenge.Parameter("algorithm");
            const bool md5 = algorithm == nullptr || EqualsNoCaseAscii(*algorithm, "MD5") ||
                             EqualsNoCaseAscii(*algorithm, "MD5-sess");
            const std::string* qop = challenge.Parameter("qop");
            bool qopUsable = qop == nullptr;
            if (qop != nullptr) {
                std::size_t i = 0;
                while (i < qop->size() && !qopUsable) {
                    while (i < qop->size() && ((*qop)[i] == ',' || (*qop)[i] == ' '))
                        ++i;
                    const std::string item = Token(*qop, i);
                    qopUsable = EqualsNoCaseAscii(item, "auth");
                    if (item.empty())
                        ++i;
                }
            }
            if (md5 && qopUsable && challenge.Parameter("nonce") != nullptr)
                digest = &challenge;
        }
    }
    if (digest != nullptr) {
        const std::string* stale = digest->Parameter("stale");
        const bool renewal =
            m_scheme == Scheme::Digest && stale != nullptr && EqualsNoCaseAscii(*stale, "true");
        if (m_scheme == Scheme::Digest && !renewal) {
            why = "The server refused the user name or password.";
            return false;
        }
        m_scheme = Scheme::Digest;
        const std::string* realm = digest->Parameter("realm");
        const std::string* opaque = digest->Parameter("opaque");
        const std::string* algorithm = digest->Parameter("algorithm");
        m_realm = realm != nullptr ? *realm : std::string();
        m_nonce = *digest->Parameter("nonce");
        m_opaque = opaque != nullptr ? *opaque : std::string();
        m_algorithm = algorithm != nullptr ? *algorithm : std::string();
        m_qopAuth = digest->Parameter("qop") != nullptr;
        m_nonceCount = 0;
        return true;
    }
    if (basic != nullptr) {
        if (m_scheme == Scheme::Basic) {
            why = "The server refused the user name or password.";
            return false;
        }
        m_scheme = Scheme::Basic;
        return true;
    }
    why = challenges.empty() ? "The server asks for authentication but names no scheme."
                             : "The server asks for an authentication scheme other than Basic "
                               "or Digest (" +
                                   challenges.front().scheme + ").";
    return false;
}

std::string Authenticator::HeaderFor(std::string_view method, std::string_view pathAndQuery) {
    if (m_scheme == Scheme::Basic)
        return "Basic " + Base64(m_user + ":" + m_password);
    if (m_scheme != Scheme::Digest)
        return std::string();
    const std::string cnonce = makeClientNonce();
    char count[9];
    std::snprintf(count, sizeof count, "%08x", static_cast<unsigned>(++m_nonceCount));
    std::string ha1 = Md5Hex(m_user + ":" + m_realm + ":" + m_password);
    if (EqualsNoCaseAscii(m_algorithm, "MD5-sess"))
        ha1 = Md5Hex(ha1 + ":" + m_nonce + ":" + cnonce);
    const std::string ha2 = Md5Hex(std::string(method) + ":" + std::string(pathAndQuery));
    const std::string response =
        m_qopAuth ? Md5Hex(ha1 + ":" + m_nonce + ":" + count + ":" + cnonce + ":auth:" + ha2)
                  : Md5Hex(ha1 + ":" + m_nonce + ":" + ha2);
    std::string header = "Digest username=" + Quoted(m_user) + ", realm=" + Quoted(m_realm) +
                         ", nonce=" + Quoted(m_nonce) + ", uri=" + Quoted(pathAndQuery) +
                         ", response=\"" + response + "\"";
    if (!m_algorithm.empty())
        header += ", algorithm=" + m_algorithm;
    if (m_qopAuth)
        header += ", qop=auth, nc=" + std::string(count) + ", cnonce=\"" + cnonce + "\"";
    if (!m_opaque.empty())
        header += ", opaque=" + Quoted(m_opaque);
    return header;
}

} // namespace caldav
