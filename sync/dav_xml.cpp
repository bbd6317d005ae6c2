#include "sync/dav_xml.h"

#include <utility>

namespace caldav {

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string Prefixed(const PropertyName& property) {
    if (property.ns == kDav)
        return "d:" + std::string(property.name);
    if (property.ns == kCalDav)
        return "c:" + std::string(property.name);
    return "cs:" + std::string(property.name);
}

const char kNamespaces[] = " xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\""
                           " xmlns:cs=\"http://calendarserver.org/ns/\"";

} // namespace

const xml::Element* DavResource::Property(std::string_view ns, std::string_view name) const {
    for (const xml::Element& property : properties)
        if (property.Is(ns, name))
            return &property;
    return nullptr;
}

std::string DavResource::PropertyText(std::string_view ns, std::string_view name) const {
    const xml::Element* property = Property(ns, name);
    return property == nullptr ? std::string() : property->TrimmedText();
}

int ParseStatusLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return 0;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status;
}

bool ParseMultistatus(std::string_view body, Multistatus& result, std::string& error) {
    xml::Element root;
    if (!xml::Parse(body, root, error)) {
        error = "The server's answer is not well-formed XML: " + error;
        return false;
    }
    if (!root.Is(kDav, "multistatus")) {
        error = "The server's answer is not a WebDAV multistatus.";
        return false;
    }
    result = Multistatus();
    for (xml::Element& child : root.children) {
        if (child.Is(kDav, "sync-token")) {
            result.syncToken = child.TrimmedText();
            continue;
        }
        if (!child.Is(kDav, "response"))
            continue;
        DavResource resource;
        bool haveHref = false;
        for (xml::Element& part : child.children) {
            if (part.Is(kDav, "href") && !haveHref) {
                resource.href = part.TrimmedText();
                haveHref = !resource.href.empty();
            } else if (part.Is(kDav, "status")) {
                resource.status = ParseStatusLine(part.TrimmedText());
            } else if (part.Is(kDav, "propstat")) {
                const xml::Element* status = part.Child(kDav, "status");
                const int code = status == nullptr ? 0 : ParseStatusLine(status->TrimmedText());
                for (xml::Element& prop : part.children) {
                    if (!prop.Is(kDav, "prop"))
                        continue;
                    for (xml::Element& property : prop.children) {
                        if (code >= 200 && code < 300) {
                            resource.properties.push_back(std::move(property));
                        } else {
                            property.children.clear();
                            resource.missing.push_back(std::move(property));
                        }
                    }
                }
            }
        }
        if (!haveHref) {
            error = "The server's answer names a resource without an href.";
            return false;
        }
        result.resources.push_back(std::move(resource));
    }
    return true;
}

bool ErrorBodyNames(std::string_view body, std::string_view ns, std::string_view name) {
    xml::Element root;
    std::string error;
    if (!xml::Parse(body, root, error) || !root.Is(kDav, "error"))
        return false;
    return root.Child(ns, name) != nullptr;
}

std::string PropfindBody(const std::vector<PropertyName>& properties) {
    std::string body = kHeader;
    body += "<d:propfind";
    body += kNamespaces;
    body += "><d:prop>";
    for (const PropertyName& property : properties) {
        body += '<';
        body += Prefixed(property);
        body += "/>";
    }
    body += "</d:prop></d:propfind>\n";
    return body;
}

std::string SyncCollectionBody(std::string_view syncToken) {
    std::string body = kHeader;
    body += "<d:sync-collection xmlns:d=\"DAV:\">";
    if (syncToken.empty())
        body += "<d:sync-token/>";
    else
        body += "<d:sync-token>" + xml::Escape(syncToken) + "</d:sync-token>";
    body += "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>\n";
    return body;
}

std::string CalendarMultigetBody(const std::vector<std::string>& hrefs) {
    std::string body = kHeader;
    body += "<c:calendar-multiget";
    body += kNamespaces;
    body += "><d:prop><d:getetag/><c:calendar-data/></d:prop>";
    for (const std::string& href : hrefs)
        body += "<d:href>" + xml::Escape(href) + "</d:href>";
    body += "</c:calendar-multiget>\n";
    return body;
}

} // namespace caldav
