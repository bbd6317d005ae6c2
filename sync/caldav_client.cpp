#include "sync/caldav_client.h"

#include "sync/dav_xml.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

namespace caldav {

namespace {

const HttpHeader kXmlBody{"Content-Type", "application/xml; charset=utf-8"};

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsRetryable(int status) {
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

bool IsIpAddress(const std::string& host) {
    return host.find(':') != std::string::npos || std::all_of(host.begin(), host.end(), [](char c) {
               return (c >= '0' && c <= '9') || c == '.';
           });
}

// Credentials go to the account's host and to hosts of the same domain that
// it redirects to (a provider's calendar host beside its login host).
bool SharesDomain(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (IsIpAddress(a) || IsIpAddress(b))
        return false;
    const auto parent = [](const std::string& host) {
        const std::size_t last = host.rfind('.');
        if (last == std::string::npos || last == 0)
            return host;
        const std::size_t before = host.rfind('.', last - 1);
        return before == std::string::npos ? host : host.substr(before + 1);
    };
    return parent(a) == parent(b);
}

std::string Describe(const std::string& method, const Url& url, int status) {
    return "The server answered " + method + " " + url.path + " with HTTP " +
           std::to_string(status) + ".";
}

// Calendar data inside XML comes with LF line ends; iCalendar wants CR LF.
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

bool HasChild(const xml::Element* element, std::string_view ns, std::string_view name) {
    return element != nullptr && element->Child(ns, name) != nullptr;
}

std::string FirstHref(const xml::Element* property) {
    if (property == nullptr)
        return std::string();
    const xml::Element* href = property->Child(kDav, "href");
    return href == nullptr ? std::string() : href->TrimmedText();
}

CalendarInfo CalendarOf(const DavResource& resource, const Url& absolute) {
    CalendarInfo info;
    info.url = absolute.ToString();
    info.displayName = resource.PropertyText(kDav, "displayname");
    info.ctag = resource.PropertyText(kCalendarServer, "getctag");
    info.syncToken = resource.PropertyText(kDav, "sync-token");
    if (const xml::Element* set = resource.Property(kCalDav, "supported-calendar-component-set")) {
        info.holdsEvents = false;
        for (const xml::Element& comp : set->children) {
            const std::string* name = comp.AttributeValue("name");
            if (comp.Is(kCalDav, "comp") && name != nullptr && EqualsNoCaseAscii(*name, "VEVENT"))
                info.holdsEvents = true;
        }
    }
    return info;
}

const std::vector<PropertyName> kCalendarProperties = {
    {kDav, "resourcetype"},
    {kDav, "displayname"},
    {kCalDav, "supported-calendar-component-set"},
    {kCalendarServer, "getctag"},
    {kDav, "sync-token"},
};

} // namespace

bool LooksLikeICalendar(std::string_view text) {
    std::size_t start = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        start = 3;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\r' ||
                                   text[start] == '\n' || text[start] == '\t'))
        ++start;
    const std::string_view begin = "BEGIN:VCALENDAR";
    if (text.size() - start < begin.size())
        return false;
    return EqualsNoCaseAscii(text.substr(start, begin.size()), begin) &&
           text.find("END:VCALENDAR") != std::string_view::npos;
}

CalDavClient::CalDavClient(IHttpTransport& transport, ClientOptions options)
    : m_transport(transport), m_options(std::move(options)),
      m_auth(m_options.user, m_options.password) {
    // The password lives on in the authenticator only.
    std::fill(m_options.password.begin(), m_options.password.end(), '\0');
    m_options.password.clear();
    if (m_options.assumeBasic && !m_options.user.empty())
        m_auth.AssumeBasic();
    if (!m_options.sleep)
        m_options.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
    if (!m_options.now)
        m_options.now = [] {
            return std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                .count();
        };
}

void CalDavClient::Wait(std::chrono::milliseconds delay) {
    m_options.sleep(delay);
}

std::string CalDavClient::UrlOf(const std::string& calendarUrl, const std::string& href) const {
    Url base, result;
    if (!ParseUrl(calendarUrl, base) || !ResolveUrl(base, href, result))
        return std::string();
    return result.ToString();
}

std::string CalDavClient::PathOf(const Url& base, const std::string& href) const {
    Url resolved;
    if (!ResolveUrl(base, href, resolved))
        return std::string();
    return NormalizePath(resolved.path);
}

CalDavClient::Exchange CalDavClient::Send(const std::string& method, const std::string& url,
                                          std::vector<HttpHeader> headers,
                                          const std::string& body) {
    Exchange exchange;
    Url current;
    if (!ParseUrl(url, current)) {
        exchange.failure = "\"" + url + "\" is not an http:// or https:// address.";
        return exchange;
    }
    const std::string accountHost = current.host;
    std::string currentMethod = method;
    std::string currentBody = body;
    int redirects = 0, attempts = 0, authRounds = 0;
    std::chrono::milliseconds waited{0};
    for (;;) {
        std::string why;
        if (!IsUrlAllowed(current, m_options.allowUnencrypted, why)) {
            exchange.failure = why;
            return exchange;
        }
        HttpRequest request{currentMethod, current.ToString(), headers, currentBody};
        const bool trusted = SharesDomain(accountHost, current.host);
        if (trusted && m_auth.Knows())
            request.headers.push_back(
                {"Authorization", m_auth.HeaderFor(currentMethod, current.path)});
        ++m_requests;
        ++attempts;
        HttpResponse response = m_transport.Send(request);
        std::chrono::milliseconds delay{0};
        bool retry = false;
        if (response.error != TransportError::None) {
            retry = response.error == TransportError::Timeout ||
                    response.error == TransportError::Dropped;
            if (!retry || attempts >= m_options.retry.maxAttempts) {
                exchange.failure =
                    response.message.empty() ? "The connection failed." : response.message;
                exchange.response = std::move(response);
                exchange.finalUrl = current;
                return exchange;
            }
        } else if (response.status == 401 && trusted && authRounds < 2) {
            if (!m_auth.Accept(response, why)) {
                exchange.failure = why;
                exchange.response = std::move(response);
                exchange.finalUrl = current;
                return exchange;
            }
            ++authRounds;
            --attempts; // answering a challenge is no failed try
            continue;
        } else if (IsRedirect(response.status) && response.Header("Location") != nullptr) {
            Url next;
            if (++redirects > 5) {
                exchange.failure = "The server redirected more than 5 times.";
                return exchange;
            }
            if (!ResolveUrl(current, *response.Header("Location"), next)) {
                exchange.failure = "The server redirected to an address that cannot be read.";
                return exchange;
            }
            // 303 asks for a GET; every other redirect keeps the method and
            // body, which PROPFIND, REPORT and PUT need (a browser's change
            // of POST to GET is no rule for WebDAV).
            if (response.status == 303) {
                currentMethod = "GET";
                currentBody.clear();
            }
            current = next;
            attempts = 0;
            continue;
        } else if (IsRetryable(response.status)) {
            retry = attempts < m_options.retry.maxAttempts;
        }
        if (retry) {
            delay = m_options.retry.firstDelay * (1 << std::min(attempts - 1, 10));
            std::int64_t seconds = 0;
            const std::string* retryAfter = response.Header("Retry-After");
            if (retryAfter != nullptr && ParseRetryAfter(*retryAfter, m_options.now(), seconds))
                delay = std::chrono::milliseconds(std::min<std::int64_t>(seconds, 86400) * 1000);
            if (waited + delay > m_options.retry.maxTotalWait)
                retry = false;
        }
        if (retry) {
            waited += delay;
            Wait(delay);
            continue;
        }
        if (response.error != TransportError::None)
            exchange.failure = response.message;
        exchange.response = std::move(response);
        exchange.finalUrl = current;
        return exchange;
    }
}

bool CalDavClient::Propfind(const std::string& url, int depth,
                            const std::vector<PropertyName>& properties, Multistatus& result,
                            Url& finalUrl, Outcome& outcome) {
    Exchange exchange = Send("PROPFIND", url, {{"Depth", std::to_string(depth)}, kXmlBody},
                             PropfindBody(properties));
    outcome.status = exchange.response.status;
    if (!exchange.failure.empty()) {
        outcome.message = exchange.failure;
        return false;
    }
    finalUrl = exchange.finalUrl;
    if (exchange.response.status != 207) {
        outcome.message = Describe("PROPFIND", exchange.finalUrl, exchange.response.status);
        return false;
    }
    if (!ParseMultistatus(exchange.response.body, result, outcome.message))
        return false;
    return true;
}

DiscoveryResult CalDavClient::Discover(const std::string& url) {
    // Account setup runs this on a worker thread: nothing thrown leaves it.
    try {
        return DiscoverSteps(url);
    } catch (const std::exception&) {
        DiscoveryResult result;
        result.message = "The server's answers could not be read (out of memory).";
        return result;
    }
}

DiscoveryResult CalDavClient::DiscoverSteps(const std::string& url) {
    DiscoveryResult result;
    Url start;
    if (!ParseUrl(url, start)) {
        result.message = "\"" + url + "\" is not an http:// or https:// address.";
        return result;
    }
    const std::vector<PropertyName> first = {
        {kDav, "resourcetype"},
        {kDav, "displayname"},
        {kCalDav, "supported-calendar-component-set"},
        {kCalendarServer, "getctag"},
        {kDav, "sync-token"},
        {kDav, "current-user-principal"},
        {kCalDav, "calendar-home-set"},
    };
    const std::string wellKnown = start.Origin() + "/.well-known/caldav";
    // A bare server address starts at the well-known address (RFC 6764); any
    // other address is asked first, the well-known one if that fails.
    std::vector<std::string> tries;
    if (start.path == "/")
        tries = {wellKnown, start.ToString()};
    else
        tries = {start.ToString(), wellKnown};
    Multistatus answer;
    Url answered;
    Outcome firstFailure;
    bool found = false;
    for (const std::string& candidate : tries) {
        Outcome outcome;
        if (Propfind(candidate, 0, first, answer, answered, outcome) && !answer.resources.empty()) {
            found = true;
            break;
        }
        if (firstFailure.message.empty())
            firstFailure = outcome;
    }
    if (!found) {
        static_cast<Outcome&>(result) = firstFailure;
        if (result.message.empty())
            result.message = "No CalDAV service was found at " + url + ".";
        return result;
    }
    const DavResource& self = answer.resources.front();
    if (HasChild(self.Property(kDav, "resourcetype"), kCalDav, "calendar")) {
        Url calendar;
        ResolveUrl(answered, self.href, calendar);
        result.calendars.push_back(CalendarOf(self, calendar));
        result.ok = result.calendars.front().holdsEvents;
        if (!result.ok) {
            result.calendars.clear();
            result.message = "That calendar holds no events (only tasks or notes).";
        }
        return result;
    }
    std::string home = FirstHref(self.Property(kCalDav, "calendar-home-set"));
    Url base = answered;
    if (home.empty()) {
        const std::string principal = FirstHref(self.Property(kDav, "current-user-principal"));
        if (principal.empty()) {
            result.message = "The server at " + url + " names no calendars for this user.";
            return result;
        }
        Url principalUrl;
        ResolveUrl(answered, principal, principalUrl);
        result.principalUrl = principalUrl.ToString();
        Multistatus principalAnswer;
        if (!Propfind(result.principalUrl, 0, {{kCalDav, "calendar-home-set"}}, principalAnswer,
                      base, result))
            return result;
        if (!principalAnswer.resources.empty())
            home =
                FirstHref(principalAnswer.resources.front().Property(kCalDav, "calendar-home-set"));
        if (home.empty()) {
            result.message = "The server names no calendar home for this user.";
            return result;
        }
    }
    Url homeUrl;
    ResolveUrl(base, home, homeUrl);
    result.homeUrl = homeUrl.ToString();
    Multistatus calendars;
    Url listed;
    if (!Propfind(result.homeUrl, 1, kCalendarProperties, calendars, listed, result))
        return result;
    for (const DavResource& resource : calendars.resources) {
        if (!HasChild(resource.Property(kDav, "resourcetype"), kCalDav, "calendar"))
            continue;
        Url calendar;
        if (!ResolveUrl(listed, resource.href, calendar))
            continue;
        CalendarInfo info = CalendarOf(resource, calendar);
        if (info.holdsEvents)
            result.calendars.push_back(std::move(info));
    }
    result.ok = true;
    return result;
}

ChangeSet CalDavClient::SyncCollection(const std::string& calendarUrl,
                                       const std::string& syncToken) {
    ChangeSet result;
    result.fullListing = syncToken.empty();
    Exchange exchange =
        Send("REPORT", calendarUrl, {{"Depth", "0"}, kXmlBody}, SyncCollectionBody(syncToken));
    result.status = exchange.response.status;
    if (!exchange.failure.empty()) {
        result.message = exchange.failure;
        return result;
    }
    const int status = exchange.response.status;
    if (status != 207) {
        const bool namesToken = ErrorBodyNames(exchange.response.body, kDav, "valid-sync-token");
        if (!syncToken.empty() &&
            (namesToken || status == 403 || status == 409 || status == 412 || status == 500)) {
            // Radicale says 403 with valid-sync-token, others 409 or 412;
            // Xandikos fails with 500 on a token it does not know.
            result.tokenRefused = true;
        } else if (status == 400 || status == 403 || status == 405 || status == 415 ||
                   status == 501) {
            result.unsupported = true;
        }
        result.message = Describe("REPORT sync-collection", exchange.finalUrl, status);
        return result;
    }
    Multistatus answer;
    if (!ParseMultistatus(exchange.response.body, answer, result.message))
        return result;
    const std::string self = NormalizePath(exchange.finalUrl.path);
    for (const DavResource& resource : answer.resources) {
        const std::string path = PathOf(exchange.finalUrl, resource.href);
        if (path.empty())
            continue;
        if (path == self || path + "/" == self) {
            if (resource.status == 507)
                result.complete = false;
            continue;
        }
        if (resource.status == 404) {
            result.removed.push_back(path);
            continue;
        }
        const std::string etag = resource.PropertyText(kDav, "getetag");
        if (resource.status >= 400 || etag.empty())
            continue; // a resource the server could not describe: not a change we can act on
        if (!path.empty() && path.back() == '/')
            continue; // a sub-collection
        result.changed.push_back({path, etag});
    }
    result.newToken = answer.syncToken;
    result.ok = true;
    return result;
}

CollectionState CalDavClient::GetCollectionState(const std::string& calendarUrl) {
    CollectionState result;
    Multistatus answer;
    Url answered;
    if (!Propfind(calendarUrl, 0, {{kCalendarServer, "getctag"}, {kDav, "sync-token"}}, answer,
                  answered, result))
        return result;
    if (!answer.resources.empty()) {
        result.ctag = answer.resources.front().PropertyText(kCalendarServer, "getctag");
        result.syncToken = answer.resources.front().PropertyText(kDav, "sync-token");
    }
    result.ok = true;
    return result;
}

Listing CalDavClient::ListResources(const std::string& calendarUrl) {
    Listing result;
    Multistatus answer;
    Url answered;
    if (!Propfind(calendarUrl, 1, {{kDav, "resourcetype"}, {kDav, "getetag"}}, answer, answered,
                  result))
        return result;
    const std::string self = NormalizePath(answered.path);
    for (const DavResource& resource : answer.resources) {
        const std::string path = PathOf(answered, resource.href);
        if (path.empty() || path == self || path + "/" == self || path.back() == '/')
            continue;
        if (HasChild(resource.Property(kDav, "resourcetype"), kDav, "collection"))
            continue;
        const std::string etag = resource.PropertyText(kDav, "getetag");
        if (!etag.empty())
            result.resources.push_back({path, etag});
    }
    result.ok = true;
    return result;
}

FetchResult CalDavClient::Fetch(const std::string& calendarUrl,
                                const std::vector<std::string>& hrefs) {
    FetchResult result;
    if (hrefs.size() > kMaxBatch) {
        result.message = "At most 100 events are fetched at once.";
        return result;
    }
    Exchange exchange =
        Send("REPORT", calendarUrl, {{"Depth", "1"}, kXmlBody}, CalendarMultigetBody(hrefs));
    result.status = exchange.response.status;
    if (!exchange.failure.empty()) {
        result.message = exchange.failure;
        return result;
    }
    if (exchange.response.status != 207) {
        result.message =
            Describe("REPORT calendar-multiget", exchange.finalUrl, exchange.response.status);
        return result;
    }
    Multistatus answer;
    if (!ParseMultistatus(exchange.response.body, answer, result.message))
        return result;
    for (const std::string& href : hrefs) {
        FetchedResource item;
        item.href = href;
        const std::string wanted = PathOf(exchange.finalUrl, href);
        const DavResource* found = nullptr;
        for (const DavResource& resource : answer.resources)
            if (PathOf(exchange.finalUrl, resource.href) == wanted) {
                found = &resource;
                break;
            }
        if (found == nullptr) {
            item.error = "The server did not send " + href + ".";
        } else if (found->status >= 300 || found->Property(kCalDav, "calendar-data") == nullptr) {
            item.error = "The server could not send " + href + " (HTTP " +
                         std::to_string(found->status == 0 ? 404 : found->status) + ").";
        } else {
            item.etag = found->PropertyText(kDav, "getetag");
            std::string data = WithCrLf(found->Property(kCalDav, "calendar-data")->text);
            if (!LooksLikeICalendar(data))
                item.error = href + " is not iCalendar data.";
            else
                item.data = std::move(data);
        }
        result.resources.push_back(std::move(item));
    }
    result.ok = true;
    return result;
}

// A write that did not reach the server, or found the resource changed
// there (412): says so in `result`.
bool CalDavClient::Unwritten(const Exchange& exchange, Outcome& result) {
    result.status = exchange.response.status;
    if (!exchange.failure.empty()) {
        result.message = exchange.failure;
        return true;
    }
    if (exchange.response.status == 412) {
        result.preconditionFailed = true;
        result.message = "The event at " + exchange.finalUrl.path + " was changed on the server.";
        return true;
    }
    return false;
}

WriteResult CalDavClient::Put(const std::string& href, const std::string& icalendar,
                              const std::string& ifMatchEtag) {
    WriteResult result;
    std::vector<HttpHeader> headers = {{"Content-Type", "text/calendar; charset=utf-8"}};
    if (ifMatchEtag.empty())
        headers.push_back({"If-None-Match", "*"});
    else
        headers.push_back({"If-Match", ifMatchEtag});
    Exchange exchange = Send("PUT", href, headers, icalendar);
    if (Unwritten(exchange, result))
        return result;
    const int status = exchange.response.status;
    if (status < 200 || status >= 300) {
        result.message = Describe("PUT", exchange.finalUrl, status);
        return result;
    }
    const std::string* etag = exchange.response.Header("ETag");
    if (etag != nullptr && !etag->empty() && etag->rfind("W/", 0) != 0) {
        result.etag = *etag;
        result.ok = true;
        return result;
    }
    // No ETag, or a weak one that says the server changed what it stored:
    // ask for the one it keeps.
    WriteResult fetched = FetchEtag(exchange.finalUrl.ToString());
    result.etag = fetched.etag;
    result.ok = fetched.ok;
    result.message = fetched.message;
    if (fetched.ok)
        result.status = status;
    return result;
}

Outcome CalDavClient::Delete(const std::string& href, const std::string& etag) {
    Outcome result;
    std::vector<HttpHeader> headers;
    if (!etag.empty())
        headers.push_back({"If-Match", etag});
    Exchange exchange = Send("DELETE", href, headers, std::string());
    if (Unwritten(exchange, result))
        return result;
    const int status = exchange.response.status;
    result.ok = (status >= 200 && status < 300) || status == 404 || status == 410;
    if (!result.ok)
        result.message = Describe("DELETE", exchange.finalUrl, status);
    return result;
}

WriteResult CalDavClient::FetchEtag(const std::string& href) {
    WriteResult result;
    Multistatus answer;
    Url answered;
    if (!Propfind(href, 0, {{kDav, "getetag"}}, answer, answered, result))
        return result;
    if (!answer.resources.empty())
        result.etag = answer.resources.front().PropertyText(kDav, "getetag");
    result.ok = !result.etag.empty();
    if (!result.ok)
        result.message = "The server keeps no ETag for " + answered.path + ".";
    return result;
}

} // namespace caldav
