// The XML reader and the multistatus on any input: bounded, and whatever it
// accepts, written out again and read back, gives the same tree.

#include "fuzz/fuzz_check.h"
#include "sync/dav_xml.h"
#include "sync/xml_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// The tree as XML, every namespace declared where it is used.
void Write(const caldav::xml::Element& element, std::string& out) {
    out += "<e:" + element.name + " xmlns:e=\"" + caldav::xml::Escape(element.ns) + "\"";
    int n = 0;
    for (const caldav::xml::Attribute& attribute : element.attributes) {
        const std::string prefix = "a" + std::to_string(n++);
        if (attribute.ns.empty())
            out += " " + attribute.name;
        else
            out += " xmlns:" + prefix + "=\"" + caldav::xml::Escape(attribute.ns) + "\" " + prefix +
                   ":" + attribute.name;
        out += "=\"";
        for (const char c : attribute.value)
            out += c == '\n'   ? std::string("&#10;")
                   : c == '\t' ? std::string("&#9;")
                               : caldav::xml::Escape({&c, 1});
        out += "\"";
    }
    out += ">" + caldav::xml::Escape(element.text);
    for (const caldav::xml::Element& child : element.children)
        Write(child, out);
    out += "</e:" + element.name + ">";
}

bool Same(const caldav::xml::Element& a, const caldav::xml::Element& b) {
    if (a.ns != b.ns || a.name != b.name || a.text != b.text ||
        a.attributes.size() != b.attributes.size() || a.children.size() != b.children.size())
        return false;
    for (std::size_t i = 0; i < a.attributes.size(); ++i)
        if (a.attributes[i].ns != b.attributes[i].ns ||
            a.attributes[i].name != b.attributes[i].name ||
            a.attributes[i].value != b.attributes[i].value)
            return false;
    for (std::size_t i = 0; i < a.children.size(); ++i)
        if (!Same(a.children[i], b.children[i]))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    caldav::xml::Limits limits;
    limits.maxDepth = 40;
    caldav::xml::Element root;
    std::string error;
    if (caldav::xml::Parse(input, root, error, limits)) {
        FUZZ_CHECK(error.empty());
        // A name never holds a colon or is empty once resolved.
        FUZZ_CHECK(!root.name.empty() && root.name.find(':') == std::string::npos);
        // Unprefixed elements without a default namespace have none; the
        // writer cannot declare an empty prefix, so those are left out.
        bool writable = true;
        const auto check = [&](const auto& self, const caldav::xml::Element& e) -> void {
            writable = writable && !e.ns.empty();
            for (const auto& child : e.children)
                self(self, child);
        };
        check(check, root);
        if (writable) {
            std::string again;
            Write(root, again);
            caldav::xml::Element reread;
            std::string rereadError;
            FUZZ_CHECK(caldav::xml::Parse(again, reread, rereadError, limits));
            FUZZ_CHECK(Same(root, reread));
        }
    } else {
        FUZZ_CHECK(!error.empty());
    }
    caldav::Multistatus multistatus;
    if (caldav::ParseMultistatus(input, multistatus, error))
        for (const caldav::DavResource& resource : multistatus.resources)
            FUZZ_CHECK(!resource.href.empty());
    return 0;
}
