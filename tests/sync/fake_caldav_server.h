#pragma once

#include "sync/http_transport.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A CalDAV server in memory, behind the transport interface: one principal,
// a calendar home with an events calendar and a tasks-only one, ETags,
// conditional writes and sync tokens. Tests change it directly as another
// device would, and inject faults through `fault`.
class FakeCalDavServer : public caldav::IHttpTransport {
public:
    struct Resource {
        std::string etag;
        std::string body;
    };

    static constexpr const char* kOrigin = "https://dav.example.com";
    static constexpr const char* kCalendar = "/home/anna/work/";
    std::string CalendarUrl() const { return std::string(kOrigin) + kCalendar; }

    bool supportsSync = true;     // sync-collection; false: getctag and a listing only
    bool etagOnPut = true;        // an ETag header in a PUT's answer
    std::size_t maxResults = 0;   // sync-collection answers cut to pages of this size (507)
    std::string basicCredentials; // "user:password" to require Basic authentication
    // Consulted before anything else; an answer it gives is the server's.
    std::function<std::optional<caldav::HttpResponse>(const caldav::HttpRequest&)> fault;

    int requests = 0;
    std::vector<std::string> log; // "METHOD path" of each request

    // What another device does: store or delete a resource by name.
    void Store(const std::string& name, const std::string& body);
    void Erase(const std::string& name);
    void EraseAll();
    const std::map<std::string, Resource>& Resources() const { return m_resources; }
    int Revision() const { return m_revision; }

    caldav::HttpResponse Send(const caldav::HttpRequest& request) override;

private:
    caldav::HttpResponse Propfind(const std::string& path, const caldav::HttpRequest& request);
    caldav::HttpResponse Report(const caldav::HttpRequest& request);
    caldav::HttpResponse Put(const std::string& name, const caldav::HttpRequest& request);
    caldav::HttpResponse Delete(const std::string& name, const caldav::HttpRequest& request);
    void Changed(const std::string& name);

    std::map<std::string, Resource> m_resources;        // by name within the calendar
    std::vector<std::pair<int, std::string>> m_changes; // revision, name
    int m_revision = 1;
};

caldav::HttpResponse MakeResponse(int status, std::string body = std::string(),
                                  std::vector<caldav::HttpHeader> headers = {});
