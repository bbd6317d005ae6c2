// The XML reader on what WebDAV servers send, and on what it must refuse.
#include "sync/dav_xml.h"
#include "sync/xml_reader.h"

#include <gtest/gtest.h>

using namespace caldav;

TEST(XmlReader, ReadsPrefixesDefaultNamespacesReferencesAndCdata) {
    // Radicale's style (a default namespace), Xandikos's (generated
    // prefixes), and the rest of what a multistatus may hold.
    const std::string document =
        "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\n<!-- answer -->\n"
        "<multistatus xmlns=\"DAV:\" xmlns:C='urn:ietf:params:xml:ns:caldav'>"
        "<sync-token>http://radicale.org/ns/sync/d62d</sync-token>"
        "<response><href> /anna/cal/a%201.ics </href><propstat><prop>"
        "<getetag>&quot;78aa&quot;</getetag>"
        "<C:calendar-data>BEGIN:VCALENDAR\r\nSUMMARY:Tom &amp; Jerry &lt;3 &#x1F600;&#233;\r\n"
        "<![CDATA[X-RAW:<b>&amp;</b>]]><?skip me?>END:VCALENDAR\r\n</C:calendar-data>"
        "</prop><status>HTTP/1.1 200 OK</status></propstat>"
        "<propstat><prop><displayname/></prop><status>HTTP/1.1 404 Not Found</status></propstat>"
        "</response>"
        "<ns0:response xmlns:ns0=\"DAV:\"><ns0:href>/gone.ics</ns0:href>"
        "<ns0:status>HTTP/1.1 404 Not Found</ns0:status></ns0:response>"
        "<x:other xmlns:x='urn:x' x:attr='1' plain=\"a&#10;b\"/>"
        "</multistatus>\n";
    Multistatus result;
    std::string error;
    ASSERT_TRUE(ParseMultistatus(document, result, error)) << error;
    EXPECT_EQ(result.syncToken, "http://radicale.org/ns/sync/d62d");
    ASSERT_EQ(result.resources.size(), 2u);
    const DavResource& first = result.resources[0];
    EXPECT_EQ(first.href, "/anna/cal/a%201.ics");
    EXPECT_EQ(first.PropertyText(kDav, "getetag"), "\"78aa\"");
    // Line ends come back as LF, as XML requires; references resolved.
    EXPECT_EQ(first.Property(kCalDav, "calendar-data")->text,
              "BEGIN:VCALENDAR\nSUMMARY:Tom & Jerry <3 \xF0\x9F\x98\x80\xC3\xA9\n"
              "X-RAW:<b>&amp;</b>END:VCALENDAR\n");
    ASSERT_EQ(first.missing.size(), 1u);
    EXPECT_EQ(first.missing[0].name, "displayname");
    EXPECT_EQ(result.resources[1].status, 404);

    xml::Element root;
    ASSERT_TRUE(xml::Parse(document, root, error));
    const xml::Element& other = root.children.back();
    EXPECT_TRUE(other.Is("urn:x", "other"));
    ASSERT_EQ(other.attributes.size(), 2u);
    EXPECT_EQ(other.attributes[0].ns, "urn:x");
    EXPECT_EQ(*other.AttributeValue("plain"), "a\nb");
}

TEST(XmlReader, RefusesDeclarationsBadReferencesAndAnythingMalformedOrTooBig) {
    const char* const refused[] = {
        "<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><d>&x;</d>",
        "<?xml version='1.0'?><!DOCTYPE d><d/>",
        "<d><!ENTITY x 'y'></d>",
        "<d>&unknown;</d>",
        "<d>&#0;</d>",
        "<d>&#xD800;</d>",
        "<d>&#x110000;</d>",
        "<d>&amp</d>",
        "<p:d/>",
        "<d xmlns:p=''/>",
        "<d></e>",
        "<d><e></d></e>",
        "<d>",
        "<d/><e/>",
        "<d/>text",
        "text<d/>",
        "",
        "<d a='1' a='2'/>",
        "<d a='<'/>",
        "<d a=1/>",
        "<d a='1'b='2'/>",
        "<d>]]></d>",
        "<d><!-- a -- b --></d>",
        "<d><![CDATA[open</d>",
        "<d>\x01</d>",
        // Control characters are refused in CDATA, comments and instructions
        // too, not only in text (found by the fuzzer).
        "<d><![CDATA[\x01]]></d>",
        "<d><!-- \x02 --></d>",
        "<?pi \x03?><d/>",
        "<d>\xC3\x28</d>",
        "<d>\xEF\xBF\xBE</d>",
    };
    for (const char* document : refused) {
        xml::Element root;
        std::string error;
        EXPECT_FALSE(xml::Parse(document, root, error)) << document;
        EXPECT_NE(error.find("at byte"), std::string::npos) << document;
    }
    xml::Limits limits;
    limits.maxDepth = 3;
    xml::Element root;
    std::string error;
    EXPECT_TRUE(xml::Parse("<a><b><c/></b></a>", root, error, limits));
    EXPECT_FALSE(xml::Parse("<a><b><c><d/></c></b></a>", root, error, limits));
    limits.maxBytes = 10;
    EXPECT_FALSE(xml::Parse("<a>0123456789</a>", root, error, limits));
    limits = xml::Limits();
    limits.maxElements = 3;
    EXPECT_FALSE(xml::Parse("<a><b/><b/><b/></a>", root, error, limits));

    // A multistatus that is not one, or is cut short, is an error too.
    Multistatus result;
    EXPECT_FALSE(ParseMultistatus("<error xmlns='DAV:'/>", result, error));
    EXPECT_FALSE(
        ParseMultistatus("<multistatus xmlns='DAV:'><response><href>/a</href>", result, error));
    EXPECT_FALSE(
        ParseMultistatus("<multistatus xmlns='DAV:'><response/></multistatus>", result, error));
}
