#pragma once

#include "sync/xml_reader.h"

#include <string>
#include <string_view>
#include <vector>

// The WebDAV and CalDAV request bodies the client sends, and the multistatus
// answers it reads (RFC 4918, 4791, 6578).
namespace caldav {

inline constexpr std::string_view kDav = "DAV:";
inline constexpr std::string_view kCalDav = "urn:ietf:params:xml:ns:caldav";
inline constexpr std::string_view kCalendarServer = "http://calendarserver.org/ns/";

struct PropertyName {
    std::string_view ns;
    std::string_view name;
};

// One <response> of a multistatus.
struct DavResource {
    std::string href;                     // as the server wrote it, trimmed
    int status = 0;                       // the response's own <status>, 0 when it gave propstats
    std::vector<xml::Element> properties; // those found (2xx propstat)
    std::vector<xml::Element> missing;    // asked for and not found: names only

    const xml::Element* Property(std::string_view ns, std::string_view name) const;
    // The trimmed text of a found property, or "" .
    std::string PropertyText(std::string_view ns, std::string_view name) const;
};

struct Multistatus {
    std::vector<DavResource> resources;
    std::string syncToken; // of a sync-collection answer
};

// Reads a 207 answer; false with `error` when it is not a well-formed
// multistatus.
bool ParseMultistatus(std::string_view body, Multistatus& result, std::string& error);

// "HTTP/1.1 404 Not Found" -> 404; 0 when it cannot be read.
int ParseStatusLine(std::string_view line);

// Whether an error body names this precondition (<D:error><D:valid-sync-token/>).
bool ErrorBodyNames(std::string_view body, std::string_view ns, std::string_view name);

std::string PropfindBody(const std::vector<PropertyName>& properties);
std::string SyncCollectionBody(std::string_view syncToken);
std::string CalendarMultigetBody(const std::vector<std::string>& hrefs);

} // namespace caldav
