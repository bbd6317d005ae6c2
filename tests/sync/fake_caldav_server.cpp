#include "tests/sync/fake_caldav_server.h"

#include "sync/dav_xml.h"
#include "sync/http_auth.h"
#include "sync/url.h"
#include "sync/xml_reader.h"

using namespace caldav;

namespace {

const char kMultistatusStart[] =
    "<?xml version=\"1.0\"?>\n<D:multistatus xmlns:D=\"DAV:\" "
    "xmlns:C=\"urn:ietf:params:xml:ns:caldav\" xmlns:CS=\"http://calendarserver.org/ns/\">";

std::string Response(const std::string& href, const std::string& props) {
    return "<D:response><D:href>" + xml::Escape(href) + "</D:href><D:propstat><D:prop>" + props +
           "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
}

std::string NotFound(const std::string& href) {
    return "<D:response><D:href>" + xml::Escape(href) +
           "</D:href><D:status>HTTP/1.1 404 Not Found</D:status></D:response>";
}

std::string Wrapped(const std::string& inner) {
    return kMultistatusStart + inner + "</D:multistatus>";
}

const std::string* RequestHeader(const HttpRequest& request, std::string_view name) {
    for (const HttpHeader& header : request.headers)
        if (EqualsNoCaseAscii(header.name, name))
            return &header.value;
    return nullptr;
}

} // namespace

HttpResponse MakeResponse(int status, std::string body, std::vector<HttpHeader> headers) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers = std::move(headers);
    return response;
}

void FakeCalDavServer::Changed(const std::string& name) {
    ++m_revision;
    m_changes.push_back({m_revision, name});
}

void FakeCalDavServer::Store(const std::string& name, const std::string& body) {
    Changed(name);
    m_resources[name] = {"\"e" + std::to_string(m_revision) + "\"", body};
}

void FakeCalDavServer::Erase(const std::string& name) {
    if (m_resources.erase(name) != 0)
        Changed(name);
}

void FakeCalDavServer::EraseAll() {
    while (!m_resources.empty())
        Erase(std::string(m_resources.begin()->first)); // a copy: the key goes with the entry
}

HttpResponse FakeCalDavServer::Send(const HttpRequest& request) {
    ++requests;
    Url url;
    if (!ParseUrl(request.url, url))
        return MakeResponse(400);
    log.push_back(request.method + " " + url.path);
    if (fault)
        if (std::optional<HttpResponse> injected = fault(request))
            return *injected;
    if (!basicCredentials.empty()) {
        const std::string* authorization = RequestHeader(request, "Authorization");
        if (authorization == nullptr || *authorization != "Basic " + Base64(basicCredentials))
            return MakeResponse(401, "", {{"WWW-Authenticate", "Basic realm=\"fake\""}});
    }
    const std::string path = NormalizePath(url.path);
    if (path == "/.well-known/caldav")
        return MakeResponse(301, "", {{"Location", "/"}});
    if (request.method == "PROPFIND")
        return Propfind(path, request);
    if (request.method == "REPORT" && path == kCalendar)
        return Report(request);
    const std::string calendar = kCalendar;
    if (path.rfind(calendar, 0) != 0 || path.size() == calendar.size())
        return MakeResponse(405);
    const std::string name = path.substr(calendar.size());
    if (request.method == "PUT")
        return Put(name, request);
    if (request.method == "DELETE")
        return Delete(name, request);
    if (request.method == "GET") {
        const auto it = m_resources.find(name);
        return it == m_resources.end()
                   ? MakeResponse(404)
                   : MakeResponse(200, it->second.body, {{"ETag", it->second.etag}});
    }
    return MakeResponse(405);
}

HttpResponse FakeCalDavServer::Propfind(const std::string& path, const HttpRequest& request) {
    const std::string* depth = RequestHeader(request, "Depth");
    const bool deep = depth != nullptr && *depth == "1";
    const std::string calendarProps =
        "<D:resourcetype><D:collection/><C:calendar/></D:resourcetype>"
        "<D:displayname>Work &amp; home</D:displayname>"
        "<C:supported-calendar-component-set><C:comp name=\"VEVENT\"/>"
        "</C:supported-calendar-component-set><CS:getctag>ctag-" +
        std::to_string(m_revision) + "</CS:getctag>" +
        (supportsSync ? "<D:sync-token>tok-" + std::to_string(m_revision) + "</D:sync-token>"
                      : std::string());
    if (path == "/")
        return MakeResponse(
            207, Wrapped(Response("/", "<D:current-user-principal><D:href>/principals/anna/"
                                       "</D:href></D:current-user-principal>")));
    if (path == "/principals/anna/")
        return MakeResponse(
            207, Wrapped(Response(path, "<C:calendar-home-set><D:href>/home/anna/</D:href>"
                                        "</C:calendar-home-set>")));
    const std::string tasks = Response(
        "/home/anna/tasks/", "<D:resourcetype><D:collection/><C:calendar/></D:resourcetype>"
                             "<D:displayname>Tasks</D:displayname>"
                             "<C:supported-calendar-component-set><C:comp name=\"VTODO\"/>"
                             "</C:supported-calendar-component-set>");
    if (path == "/home/anna/tasks/")
        return MakeResponse(207, Wrapped(tasks));
    if (path == "/home/anna/") {
        std::string inner = Response(path, "<D:resourcetype><D:collection/></D:resourcetype>");
        if (deep)
            inner += Response(kCalendar, calendarProps) + tasks;
        return MakeResponse(207, Wrapped(inner));
    }
    if (path == kCalendar) {
        std::string inner = Response(kCalendar, calendarProps);
        if (deep)
            for (const auto& [name, resource] : m_resources)
                inner +=
                    Response(kCalendar + name, "<D:resourcetype/><D:getetag>" +
                                                   xml::Escape(resource.etag) + "</D:getetag>");
        return MakeResponse(207, Wrapped(inner));
    }
    const std::string calendar = kCalendar;
    if (path.rfind(calendar, 0) == 0) {
        const auto it = m_resources.find(path.substr(calendar.size()));
        if (it == m_resources.end())
            return MakeResponse(404);
        return MakeResponse(
            207,
            Wrapped(Response(path, "<D:getetag>" + xml::Escape(it->second.etag) + "</D:getetag>")));
    }
    return MakeResponse(404);
}

HttpResponse FakeCalDavServer::Report(const HttpRequest& request) {
    xml::Element root;
    std::string error;
    if (!xml::Parse(request.body, root, error))
        return MakeResponse(400, error);
    if (root.Is(kDav, "sync-collection")) {
        if (!supportsSync)
            return MakeResponse(501);
        const xml::Element* token = root.Child(kDav, "sync-token");
        std::string since = token == nullptr ? std::string() : token->TrimmedText();
        // A page token: "page-<since>-<offset>" (since is "" for a listing).
        std::size_t offset = 0;
        if (since.rfind("page-", 0) == 0) {
            const std::size_t dash = since.rfind('-');
            offset = std::stoul(since.substr(dash + 1));
            since = since.substr(5, dash - 5);
        }
        std::vector<std::string> entries;
        if (since.empty()) {
            for (const auto& [name, resource] : m_resources)
                entries.push_back(Response(
                    kCalendar + name, "<D:getetag>" + xml::Escape(resource.etag) + "</D:getetag>"));
        } else {
            if (since.rfind("tok-", 0) != 0 || std::stoi(since.substr(4)) > m_revision)
                return MakeResponse(403, "<?xml version=\"1.0\"?><D:error xmlns:D=\"DAV:\">"
                                         "<D:valid-sync-token/></D:error>");
            const int from = std::stoi(since.substr(4));
            std::map<std::string, bool> touched;
            for (const auto& [revision, name] : m_changes)
                if (revision > from)
                    touched[name] = true;
            for (const auto& [name, unused] : touched) {
                const auto it = m_resources.find(name);
                entries.push_back(
                    it == m_resources.end()
                        ? NotFound(kCalendar + name)
                        : Response(kCalendar + name,
                                   "<D:getetag>" + xml::Escape(it->second.etag) + "</D:getetag>"));
            }
        }
        std::string inner;
        std::size_t end = entries.size();
        if (maxResults != 0 && entries.size() - offset > maxResults)
            end = offset + maxResults;
        for (std::size_t i = offset; i < end; ++i)
            inner += entries[i];
        if (end < entries.size())
            inner += "<D:response><D:href>" + std::string(kCalendar) +
                     "</D:href><D:status>HTTP/1.1 507 Insufficient Storage</D:status>"
                     "</D:response><D:sync-token>page-" +
                     since + "-" + std::to_string(end) + "</D:sync-token>";
        else
            inner += "<D:sync-token>tok-" + std::to_string(m_revision) + "</D:sync-token>";
        return MakeResponse(207, Wrapped(inner));
    }
    if (root.Is(kCalDav, "calendar-multiget")) {
        std::string inner;
        for (const xml::Element& child : root.children) {
            if (!child.Is(kDav, "href"))
                continue;
            const std::string href = NormalizePath(child.TrimmedText());
            const std::string calendar = kCalendar;
            const auto it = href.rfind(calendar, 0) == 0
                                ? m_resources.find(href.substr(calendar.size()))
                                : m_resources.end();
            if (it == m_resources.end())
                inner += NotFound(href);
            else
                inner += Response(href, "<D:getetag>" + xml::Escape(it->second.etag) +
                                            "</D:getetag><C:calendar-data>" +
                                            xml::Escape(it->second.body) + "</C:calendar-data>");
        }
        return MakeResponse(207, Wrapped(inner));
    }
    return MakeResponse(403, "<D:error xmlns:D=\"DAV:\"><D:supported-report/></D:error>");
}

HttpResponse FakeCalDavServer::Put(const std::string& name, const HttpRequest& request) {
    const auto it = m_resources.find(name);
    const std::string* ifNoneMatch = RequestHeader(request, "If-None-Match");
    const std::string* ifMatch = RequestHeader(request, "If-Match");
    if (ifNoneMatch != nullptr && *ifNoneMatch == "*" && it != m_resources.end())
        return MakeResponse(412);
    if (ifMatch != nullptr && (it == m_resources.end() || it->second.etag != *ifMatch))
        return MakeResponse(412);
    const bool created = it == m_resources.end();
    Store(name, request.body);
    std::vector<HttpHeader> headers;
    if (etagOnPut)
        headers.push_back({"ETag", m_resources[name].etag});
    return MakeResponse(created ? 201 : 204, "", headers);
}

HttpResponse FakeCalDavServer::Delete(const std::string& name, const HttpRequest& request) {
    const auto it = m_resources.find(name);
    if (it == m_resources.end())
        return MakeResponse(404);
    const std::string* ifMatch = RequestHeader(request, "If-Match");
    if (ifMatch != nullptr && it->second.etag != *ifMatch)
        return MakeResponse(412);
    Erase(name);
    return MakeResponse(204);
}
