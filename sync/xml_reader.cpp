#include "sync/xml_reader.h"

#include "ical/ical_text.h"

#include <cstdint>
#include <utility>

namespace caldav::xml {

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Characters XML allows in a document at all.
bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

struct RawAttribute {
    std::string qname;
    std::string value;
};

struct Binding {
    std::string prefix; // empty for the default namespace
    std::string uri;
};

class Parser {
public:
    Parser(std::string_view text, const Limits& limits) : m_text(text), m_limits(limits) {}

    bool Run(Element& root, std::string& error) {
        if (m_text.size() > m_limits.maxBytes)
            return Fail(error, "the document is larger than " +
                                   std::to_string(m_limits.maxBytes >> 20) + " MiB");
        if (!ical::IsValidUtf8(m_text))
            return Fail(error, "the document is not UTF-8");
        // Characters XML forbids are refused wherever they stand, in
        // comments, CDATA and skipped instructions too.
        for (std::size_t i = 0; i < m_text.size(); ++i) {
            const auto c = static_cast<unsigned char>(m_text[i]);
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
                (c == 0xEF && i + 2 < m_text.size() && m_text[i + 1] == '\xBF' &&
                 (m_text[i + 2] == '\xBE' || m_text[i + 2] == '\xBF'))) {
                m_pos = i;
                return Fail(error, "a character XML forbids");
            }
        }
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
            m_pos = 3;
        if (!SkipMisc())
            return Fail(error, m_error);
        if (m_pos >= m_text.size() || m_text[m_pos] != '<')
            return Fail(error, "no root element");
        if (!ParseElement(root, 1))
            return Fail(error, m_error);
        if (!SkipMisc())
            return Fail(error, m_error);
        if (m_pos != m_text.size())
            return Fail(error, "content after the root element");
        return true;
    }

private:
    bool Fail(std::string& error, const std::string& what) {
        error = what + " (at byte " + std::to_string(m_pos) + ")";
        return false;
    }
    bool Error(std::string what) {
        if (m_error.empty())
            m_error = std::move(what);
        return false;
    }
    bool StartsWith(std::string_view s) const { return m_text.substr(m_pos, s.size()) == s; }
    void SkipSpace() {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos]))
            ++m_pos;
    }

    // Skips from `m_pos` past `end`; false when it never comes.
    bool SkipPast(std::string_view end) {
        const std::size_t at = m_text.find(end, m_pos);
        if (at == std::string_view::npos)
            return Error("unterminated markup");
        m_pos = at + end.size();
        return true;
    }

    // White space, comments and processing instructions around the root.
    bool SkipMisc() {
        for (;;) {
            SkipSpace();
            if (StartsWith("<!--")) {
                if (!SkipComment())
                    return false;
            } else if (StartsWith("<?")) {
                if (!SkipPast("?>"))
                    return false;
            } else if (StartsWith("<!")) {
                return Error("document type declarations are not accepted");
            } else {
                return true;
            }
        }
    }

    bool SkipComment() {
        m_pos += 4;
        const std::size_t at = m_text.find("--", m_pos);
        if (at == std::string_view::npos)
            return Error("unterminated comment");
        if (m_text.substr(at, 3) != "-->")
            return Error("\"--\" inside a comment");
        m_pos = at + 3;
        return true;
    }

    bool ParseName(std::string& name) {
        const std::size_t start = m_pos;
        if (m_pos >= m_text.size() || !IsNameStart(static_cast<unsigned char>(m_text[m_pos])))
            return Error("a name was expected");
        while (m_pos < m_text.size() && IsNameChar(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        name.assign(m_text.substr(start, m_pos - start));
        return true;
    }

    // The text from `m_pos` to the next `stop` character, references
    // resolved, appended to `out`.
    bool ParseCharacters(char stop, std::string& out) {
        while (m_pos < m_text.size() && m_text[m_pos] != stop) {
            const char c = m_text[m_pos];
            if (c == '&') {
                if (!ParseReference(out))
                    return false;
                continue;
            }
            if (stop != '<' && c == '<')
                return Error("\"<\" inside an attribute value");
            if (stop == '<' && c == ']' && StartsWith("]]>"))
                return Error("\"]]>\" in text");
            const std::size_t length = ical::Utf8SequenceLength(m_text.substr(m_pos));
            std::uint32_t code = static_cast<unsigned char>(c);
            if (length == 1 && !IsXmlChar(code))
                return Error("a control character in the text");
            if (length == 3 && c == '\xEF' && m_text[m_pos + 1] == '\xBF' &&
                (m_text[m_pos + 2] == '\xBE' || m_text[m_pos + 2] == '\xBF'))
                return Error("a non-character in the text");
            // Attribute values normalise line breaks and tabs to spaces; text
            // turns CR LF and a lone CR into LF, as every XML reader must.
            if (stop != '<' && (c == '\t' || c == '\n' || c == '\r')) {
                if (!(c == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n'))
                    out += ' ';
            } else if (c == '\r') {
                if (!(m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n'))
                    out += '\n';
            } else
                out.append(m_text.substr(m_pos, length));
            m_pos += length;
        }
        return true;
    }

    bool ParseReference(std::string& out) {
        const std::size_t end = m_text.find(';', m_pos);
        if (end == std::string_view::npos || end - m_pos > 12)
            return Error("an unterminated character reference");
        const std::string_view ref = m_text.substr(m_pos + 1, end - m_pos - 1);
        if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "amp")
            out += '&';
        else if (ref == "apos")
            out += '\'';
        else if (ref == "quot")
            out += '"';
        else if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty())
                return Error("an empty character reference");
            std::uint32_t code = 0;
            for (const char d : digits) {
                int value;
                if (d >= '0' && d <= '9')
                    value = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    value = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    value = d - 'A' + 10;
                else
                    return Error("a malformed character reference");
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
                if (code > 0x10FFFF)
                    return Error("a character reference beyond Unicode");
            }
            if (!IsXmlChar(code))
                return Error("a character reference to a character XML forbids");
            AppendUtf8(out, code);
        } else {
            return Error("an undeclared entity \"&" + std::string(ref) + ";\"");
        }
        m_pos = end + 1;
        return true;
    }

    // Resolves a qualified name against the bindings in scope.
    bool Resolve(const std::string& qname, bool isAttribute, std::string& ns, std::string& local) {
        const std::size_t colon = qname.find(':');
        std::string prefix;
        if (colon == std::string::npos) {
            local = qname;
        } else {
            prefix = qname.substr(0, colon);
            local = qname.substr(colon + 1);
            if (prefix.empty() || local.empty() || local.find(':') != std::string::npos)
                return Error("a malformed qualified name \"" + qname + "\"");
        }
        if (prefix.empty() && isAttribute) {
            ns.clear();
            return true;
        }
        if (prefix == "xml") {
            ns = kXmlNamespace;
            return true;
        }
        for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it) {
            if (it->prefix == prefix) {
                ns = it->uri;
                return true;
            }
        }
        if (prefix.empty()) {
            ns.clear();
            return true;
        }
        return Error("an undeclared namespace prefix \"" + prefix + "\"");
    }

    bool ParseElement(Element& element, int depth) {
        if (depth > m_limits.maxDepth)
            return Error("elements nested deeper than " + std::to_string(m_limits.maxDepth));
        if (++m_elements > m_limits.maxElements)
            return Error("more than " + std::to_string(m_limits.maxElements) + " elements");
        ++m_pos; // '<'
        std::string qname;
        if (!ParseName(qname))
            return false;
        std::vector<RawAttribute> raw;
        const std::size_t bindingsBefore = m_bindings.size();
        bool empty = false;
        for (;;) {
            const std::size_t before = m_pos;
            SkipSpace();
            if (m_pos >= m_text.size())
                return Error("an unterminated start tag");
            if (m_text[m_pos] == '>') {
                ++m_pos;
                break;
            }
            if (StartsWith("/>")) {
                m_pos += 2;
                empty = true;
                break;
            }
            if (before == m_pos)
                return Error("white space was expected between attributes");
            RawAttribute attribute;
            if (!ParseName(attribute.qname))
                return false;
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '=')
                return Error("\"=\" was expected after an attribute name");
            ++m_pos;
            SkipSpace();
            if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\''))
                return Error("a quoted attribute value was expected");
            const char quote = m_text[m_pos++];
            if (!ParseCharacters(quote, attribute.value))
                return false;
            if (m_pos >= m_text.size())
                return Error("an unterminated attribute value");
            ++m_pos;
            for (const RawAttribute& other : raw)
                if (other.qname == attribute.qname)
                    return Error("a repeated attribute \"" + attribute.qname + "\"");
            if (attribute.qname == "xmlns") {
                m_bindings.push_back({"", attribute.value});
            } else if (attribute.qname.rfind("xmlns:", 0) == 0) {
                const std::string prefix = attribute.qname.substr(6);
                if (attribute.value.empty())
                    return Error("a namespace prefix bound to nothing");
                m_bindings.push_back({prefix, attribute.value});
            } else {
                raw.push_back(std::move(attribute));
            }
        }
        if (!Resolve(qname, false, element.ns, element.name))
            return false;
        for (RawAttribute& attribute : raw) {
            Attribute resolved;
            if (!Resolve(attribute.qname, true, resolved.ns, resolved.name))
                return false;
            resolved.value = std::move(attribute.value);
            element.attributes.push_back(std::move(resolved));
        }
        if (!empty && !ParseContent(element, qname, depth))
            return false;
        m_bindings.resize(bindingsBefore);
        return true;
    }

    bool ParseContent(Element& element, const std::string& qname, int depth) {
        for (;;) {
            if (!ParseCharacters('<', element.text))
                return false;
            if (m_pos >= m_text.size())
                return Error("the element \"" + qname + "\" is not closed");
            if (StartsWith("</")) {
                m_pos += 2;
                std::string closing;
                if (!ParseName(closing))
                    return false;
                if (closing != qname)
                    return Error("\"" + closing + "\" closes \"" + qname + "\"");
                SkipSpace();
                if (m_pos >= m_text.size() || m_text[m_pos] != '>')
                    return Error("an unterminated end tag");
                ++m_pos;
                return true;
            }
            if (StartsWith("<!--")) {
                if (!SkipComment())
                    return false;
            } else if (StartsWith("<![CDATA[")) {
                m_pos += 9;
                const std::size_t end = m_text.find("]]>", m_pos);
                if (end == std::string_view::npos)
                    return Error("an unterminated CDATA section");
                for (std::size_t i = m_pos; i < end; ++i) {
                    if (m_text[i] != '\r')
                        element.text += m_text[i];
                    else if (i + 1 >= end || m_text[i + 1] != '\n')
                        element.text += '\n';
                }
                m_pos = end + 3;
            } else if (StartsWith("<?")) {
                if (!SkipPast("?>"))
                    return false;
            } else if (StartsWith("<!")) {
                return Error("a declaration inside an element");
            } else {
                element.children.emplace_back();
                if (!ParseElement(element.children.back(), depth + 1))
                    return false;
            }
        }
    }

    std::string_view m_text;
    const Limits& m_limits;
    std::size_t m_pos = 0;
    std::size_t m_elements = 0;
    std::vector<Binding> m_bindings;
    std::string m_error;
};

} // namespace

const Element* Element::Child(std::string_view wantedNs, std::string_view wantedName) const {
    for (const Element& child : children)
        if (child.Is(wantedNs, wantedName))
            return &child;
    return nullptr;
}

const std::string* Element::AttributeValue(std::string_view wanted) const {
    for (const Attribute& attribute : attributes)
        if (attribute.ns.empty() && attribute.name == wanted)
            return &attribute.value;
    return nullptr;
}

std::string Element::TrimmedText() const {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool Parse(std::string_view document, Element& root, std::string& error, const Limits& limits) {
    root = Element();
    return Parser(document, limits).Run(root, error);
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace caldav::xml
