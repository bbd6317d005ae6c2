#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A small, strict, namespace-aware XML reader: enough for WebDAV answers,
// nothing that reaches outside the document. A DOCTYPE (and with it every
// entity declaration) is refused, so no external entity is ever expanded.
namespace caldav::xml {

struct Attribute {
    std::string ns;   // namespace URI; empty for an unprefixed attribute
    std::string name; // local name
    std::string value;
};

struct Element {
    std::string ns;   // namespace URI, empty when none is in scope
    std::string name; // local name
    std::vector<Attribute> attributes;
    // The character data directly inside, entities and CDATA resolved,
    // concatenated across the child elements.
    std::string text;
    std::vector<Element> children;

    // The first child with this namespace and name, or nullptr.
    const Element* Child(std::string_view ns, std::string_view name) const;
    const std::string* AttributeValue(std::string_view name) const; // unprefixed
    bool Is(std::string_view ns, std::string_view name) const {
        return this->ns == ns && this->name == name;
    }
    // `text` without leading and trailing XML white space.
    std::string TrimmedText() const;
};

struct Limits {
    // Answers of any calendar a person keeps fit; larger is refused.
    std::size_t maxBytes = 64u << 20;
    int maxDepth = 64;
    // Memory stays in proportion: a listing of 100,000 events takes about
    // 600,000 elements.
    std::size_t maxElements = 1000000;
};

// Reads a whole document into `root`. On failure returns false and says why
// in `error` (with the byte offset); `root` is then unspecified.
bool Parse(std::string_view document, Element& root, std::string& error,
           const Limits& limits = Limits());

// Text and attribute values written safely inside XML.
std::string Escape(std::string_view text);

} // namespace caldav::xml
