#pragma once

#include "sync/dav_xml.h"
#include "sync/http_auth.h"
#include "sync/http_transport.h"
#include "sync/retry_policy.h"
#include "sync/url.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The CalDAV operations one calendar's sync needs, over any transport:
// discovery, changes since a token, bodies, and conditional writes. It
// follows redirects, answers authentication, retries what is worth retrying
// and counts every request it sends. Nothing here throws.
namespace caldav {

struct ClientOptions {
    std::string user;
    std::string password;
    bool allowUnencrypted = false;
    // Send Basic credentials with the first request (an account known to use
    // Basic): a poll is then one request, not a 401 and a retry.
    bool assumeBasic = false;
    RetryPolicy retry;
    // Seams for the tests: how to wait and what time it is (Unix seconds).
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<std::int64_t()> now;
};

// What every operation reports.
struct Outcome {
    bool ok = false;
    int status = 0;                  // the last HTTP status seen, 0 without one
    bool preconditionFailed = false; // 412: someone else changed the resource
    std::string message;             // for the user when !ok
};

struct CalendarInfo {
    std::string url; // absolute
    std::string displayName;
    bool holdsEvents = true; // VEVENT among its components, or none named
    std::string ctag;
    std::string syncToken;
};

struct DiscoveryResult : Outcome {
    std::string principalUrl;
    std::string homeUrl;
    std::vector<CalendarInfo> calendars; // only those that hold events
};

// A resource of the calendar: its path (normalized, see NormalizePath) and
// ETag.
struct ResourceTag {
    std::string href;
    std::string etag;
};

struct ChangeSet : Outcome {
    bool tokenRefused = false; // the saved token is no longer valid: list anew
    bool unsupported = false;  // no sync-collection here: use the ctag and a listing
    bool complete = true;      // false when the server cut the answer short (507)
    bool fullListing = false;  // every resource is in `changed`
    std::vector<ResourceTag> changed;
    std::vector<std::string> removed;
    std::string newToken;
};

struct CollectionState : Outcome {
    std::string ctag;
    std::string syncToken;
};

struct Listing : Outcome {
    std::vector<ResourceTag> resources;
};

struct FetchedResource {
    std::string href;
    std::string etag;
    std::string data;  // the iCalendar text, CR LF line ends
    std::string error; // why this one could not be read; `data` is empty then
};

struct FetchResult : Outcome {
    std::vector<FetchedResource> resources; // one per asked href, in that order
};

struct WriteResult : Outcome {
    std::string etag; // of the stored resource; fetched when the PUT gave none
};

class CalDavClient {
public:
    CalDavClient(IHttpTransport& transport, ClientOptions options);

    // From a server's address, a principal's or a calendar's, the calendars
    // that hold events. A calendar's own address gives just that calendar.
    // Never throws.
    DiscoveryResult Discover(const std::string& url);

    // Changes since `syncToken` (RFC 6578); an empty token lists everything.
    ChangeSet SyncCollection(const std::string& calendarUrl, const std::string& syncToken);
    // The calendar's getctag and sync-token (one PROPFIND, Depth 0).
    CollectionState GetCollectionState(const std::string& calendarUrl);
    // Every resource with its ETag (PROPFIND, Depth 1): for servers without
    // sync-collection.
    Listing ListResources(const std::string& calendarUrl);
    // The bodies of at most 100 resources (calendar-multiget).
    FetchResult Fetch(const std::string& calendarUrl, const std::vector<std::string>& hrefs);
    // PUT: a new resource when `ifMatchEtag` is empty (If-None-Match: *),
    // else a change of the version with that ETag.
    WriteResult Put(const std::string& href, const std::string& icalendar,
                    const std::string& ifMatchEtag);
    // DELETE of the version with that ETag; a resource already gone is done.
    Outcome Delete(const std::string& href, const std::string& etag);
    WriteResult FetchEtag(const std::string& href);

    // Every HTTP request sent, retries, redirects and 401 rounds included.
    int RequestCount() const { return m_requests; }
    // The scheme the server asked for, to send up front next time.
    bool UsesBasic() const { return m_auth.UsesBasic(); }
    // The absolute URL of a path on the calendar's server.
    std::string UrlOf(const std::string& calendarUrl, const std::string& href) const;

    static constexpr std::size_t kMaxBatch = 100;

private:
    struct Exchange {
        HttpResponse response;
        Url finalUrl;        // after redirects
        std::string failure; // set when there is no usable answer
    };
    Exchange Send(const std::string& method, const std::string& url,
                  std::vector<HttpHeader> headers, const std::string& body);
    static bool Unwritten(const Exchange& exchange, Outcome& result);
    DiscoveryResult DiscoverSteps(const std::string& url);
    bool Propfind(const std::string& url, int depth, const std::vector<PropertyName>& props,
                  Multistatus& result, Url& finalUrl, Outcome& outcome);
    std::string PathOf(const Url& base, const std::string& href) const;
    void Wait(std::chrono::milliseconds delay);

    IHttpTransport& m_transport;
    ClientOptions m_options;
    Authenticator m_auth;
    int m_requests = 0;
};

// A body is taken for iCalendar when it is a VCALENDAR object.
bool LooksLikeICalendar(std::string_view text);

} // namespace caldav
