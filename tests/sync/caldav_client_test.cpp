// The CalDAV client over the in-memory server: discovery, redirects, the
// rules of plain text, authentication, retries and answers it cannot use.
#include "sync/caldav_client.h"
#include "tests/sync/fake_caldav_server.h"
#include "tests/sync/fake_local_calendar.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace caldav;

namespace {

struct ClientSetup {
    std::vector<std::chrono::milliseconds> waits;
    ClientOptions Options() {
        ClientOptions options;
        options.sleep = [this](std::chrono::milliseconds d) { waits.push_back(d); };
        options.now = [] { return std::int64_t{784111777}; }; // Sun, 06 Nov 1994 08:49:37 GMT
        return options;
    }
};

HttpResponse Dropped() {
    HttpResponse response;
    response.error = TransportError::Dropped;
    response.message = "The connection was broken.";
    return response;
}

} // namespace

TEST(CalDavClient, DiscoversFromTheServerThePrincipalOrTheCalendarItself) {
    FakeCalDavServer server;
    ClientSetup setup;
    CalDavClient client(server, setup.Options());
    for (const char* start : {"https://dav.example.com", "https://dav.example.com/",
                              "https://dav.example.com/principals/anna/"}) {
        const DiscoveryResult found = client.Discover(start);
        ASSERT_TRUE(found.ok) << start << ": " << found.message;
        // The tasks-only calendar is left out.
        ASSERT_EQ(found.calendars.size(), 1u) << start;
        EXPECT_EQ(found.calendars[0].url, server.CalendarUrl());
        EXPECT_EQ(found.calendars[0].displayName, "Work & home");
        EXPECT_EQ(found.homeUrl, "https://dav.example.com/home/anna/");
    }
    const DiscoveryResult direct = client.Discover(server.CalendarUrl());
    ASSERT_TRUE(direct.ok) << direct.message;
    ASSERT_EQ(direct.calendars.size(), 1u);
    EXPECT_EQ(direct.calendars[0].url, server.CalendarUrl());
    EXPECT_FALSE(client.Discover("https://dav.example.com/home/anna/tasks/").ok);
    EXPECT_FALSE(client.Discover("ftp://dav.example.com/").ok);
}

TEST(CalDavClient, RedirectsKeepMethodAndBodyUpToFiveAndNeverDowngrade) {
    FakeCalDavServer server;
    int hops = 0, limit = 0;
    std::vector<std::string> seen;
    server.fault = [&](const HttpRequest& request) -> std::optional<HttpResponse> {
        seen.push_back(request.method + " " + std::to_string(request.body.size()));
        if (request.url.find("/old/") == std::string::npos)
            return std::nullopt;
        if (++hops < limit)
            return MakeResponse(hops % 2 ? 301 : 308, "",
                                {{"Location", "/old/" + std::to_string(hops) + "/"}});
        return MakeResponse(302, "", {{"Location", FakeCalDavServer::kCalendar}});
    };
    ClientSetup setup;
    CalDavClient client(server, setup.Options());
    limit = 5; // five redirects: followed
    const ChangeSet followed = client.SyncCollection("https://dav.example.com/old/", "");
    EXPECT_TRUE(followed.ok) << followed.message;
    ASSERT_EQ(seen.size(), 6u);
    for (const std::string& request : seen)
        EXPECT_EQ(request, seen.front()); // REPORT with its body, every time
    EXPECT_EQ(seen.front().rfind("REPORT ", 0), 0u);
    hops = 0;
    limit = 6; // six: refused
    EXPECT_FALSE(client.SyncCollection("https://dav.example.com/old/", "").ok);

    // A redirect from https to plain http on another host is refused.
    server.fault = [](const HttpRequest&) -> std::optional<HttpResponse> {
        return MakeResponse(301, "", {{"Location", "http://dav.example.com/cal/"}});
    };
    const ChangeSet downgraded = client.SyncCollection(server.CalendarUrl(), "");
    EXPECT_FALSE(downgraded.ok);
    EXPECT_NE(downgraded.message.find("unencrypted"), std::string::npos) << downgraded.message;
}

TEST(CalDavClient, PlainHttpGoesOnlyToLoopbackUnlessTheAccountAllowsIt) {
    FakeCalDavServer server;
    ClientSetup setup;
    {
        CalDavClient client(server, setup.Options());
        EXPECT_FALSE(client.GetCollectionState("http://dav.example.com/home/anna/work/").ok);
        EXPECT_EQ(server.requests, 0);
        for (const char* loopback :
             {"http://127.0.0.1:5232/home/anna/work/", "http://127.8.9.10/home/anna/work/",
              "http://localhost:80/home/anna/work/", "http://[::1]:5232/home/anna/work/"})
            EXPECT_TRUE(client.GetCollectionState(loopback).ok) << loopback;
        for (const char* remote :
             {"http://127.0.0.1.example.com/home/anna/work/", "http://128.0.0.1/home/anna/work/",
              "http://user:pw@127.0.0.1/home/anna/work/"})
            EXPECT_FALSE(client.GetCollectionState(remote).ok) << remote;
    }
    ClientOptions allowed = setup.Options();
    allowed.allowUnencrypted = true;
    CalDavClient client(server, allowed);
    EXPECT_TRUE(client.GetCollectionState("http://dav.example.com/home/anna/work/").ok);
}

TEST(CalDavClient, AnswersBasicAndDigestChallenges) {
    FakeCalDavServer server;
    server.basicCredentials = "anna:s3cr\xC3\xA9t";
    ClientSetup setup;
    ClientOptions options = setup.Options();
    options.user = "anna";
    options.password = "s3cr\xC3\xA9t";
    {
        CalDavClient client(server, options);
        ASSERT_TRUE(client.GetCollectionState(server.CalendarUrl()).ok);
        EXPECT_EQ(client.RequestCount(), 2); // the 401, then the answer
        EXPECT_TRUE(client.UsesBasic());
        ASSERT_TRUE(client.GetCollectionState(server.CalendarUrl()).ok);
        EXPECT_EQ(client.RequestCount(), 3); // sent up front from then on
    }
    options.password = "wrong";
    CalDavClient refused(server, options);
    const CollectionState wrong = refused.GetCollectionState(server.CalendarUrl());
    EXPECT_FALSE(wrong.ok);
    EXPECT_EQ(refused.RequestCount(), 2); // never a loop of retries

    // Digest as RFC 2617 works it through.
    Authenticator digest("Mufasa", "Circle Of Life");
    digest.makeClientNonce = [] { return std::string("0a4f113b"); };
    HttpResponse challenge = MakeResponse(
        401, "",
        {{"WWW-Authenticate", "Basic realm=\"x\""},
         {"WWW-Authenticate", "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                              "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""}});
    std::string why;
    ASSERT_TRUE(digest.Accept(challenge, why)) << why;
    const std::string header = digest.HeaderFor("GET", "/dir/index.html");
    EXPECT_NE(header.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos)
        << header;
    EXPECT_NE(header.find("nc=00000001"), std::string::npos);
    EXPECT_FALSE(digest.Accept(challenge, why)); // the same challenge again: refused
    EXPECT_EQ(Base64("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(CalDavClient, RetriesBackOffHonourRetryAfterAndStopAtTheirBounds) {
    FakeCalDavServer server;
    std::vector<HttpResponse> script;
    server.fault = [&](const HttpRequest&) -> std::optional<HttpResponse> {
        if (script.empty())
            return std::nullopt;
        HttpResponse next = script.front();
        script.erase(script.begin());
        return next;
    };
    ClientSetup setup;
    CalDavClient client(server, setup.Options());
    using std::chrono::milliseconds;
    script = {MakeResponse(503, "", {{"Retry-After", "7"}}),
              MakeResponse(503, "", {{"Retry-After", "Sun, 06 Nov 1994 08:49:40 GMT"}}), Dropped()};
    EXPECT_TRUE(client.GetCollectionState(server.CalendarUrl()).ok);
    EXPECT_EQ(setup.waits, (std::vector<milliseconds>{milliseconds(7000), milliseconds(3000),
                                                      milliseconds(4000)}));
    // Four tries at most, then the failure is told.
    setup.waits.clear();
    script = {MakeResponse(500), MakeResponse(502), MakeResponse(429), MakeResponse(504),
              MakeResponse(200)};
    const CollectionState busy = client.GetCollectionState(server.CalendarUrl());
    EXPECT_FALSE(busy.ok);
    EXPECT_EQ(busy.status, 504);
    EXPECT_EQ(setup.waits.size(), 3u);
    // A wait longer than the whole budget is not waited for.
    setup.waits.clear();
    script = {MakeResponse(503, "", {{"Retry-After", "3600"}})};
    EXPECT_FALSE(client.GetCollectionState(server.CalendarUrl()).ok);
    EXPECT_TRUE(setup.waits.empty());
    // A conflict is told at once, never retried.
    server.Store("a.ics", EventText("a", "A"));
    const int before = server.requests;
    const WriteResult conflict =
        client.Put(server.CalendarUrl() + "a.ics", EventText("a", "B"), "\"stale\"");
    EXPECT_TRUE(conflict.preconditionFailed);
    EXPECT_EQ(server.requests - before, 1);
}

TEST(CalDavClient, TellsARefusedTokenFromMissingSupportAndFetchesMissingEtags) {
    FakeCalDavServer server;
    ClientSetup setup;
    CalDavClient client(server, setup.Options());
    EXPECT_TRUE(client.SyncCollection(server.CalendarUrl(), "tok-99").tokenRefused); // 403
    for (const int status : {409, 412, 500}) {
        server.fault = [status](const HttpRequest&) -> std::optional<HttpResponse> {
            return MakeResponse(status);
        };
        EXPECT_TRUE(client.SyncCollection(server.CalendarUrl(), "opaque").tokenRefused) << status;
    }
    server.fault = nullptr;
    server.supportsSync = false;
    const ChangeSet unsupported = client.SyncCollection(server.CalendarUrl(), "");
    EXPECT_TRUE(unsupported.unsupported);
    EXPECT_FALSE(unsupported.tokenRefused);

    server.etagOnPut = false;
    const WriteResult put = client.Put(server.CalendarUrl() + "n.ics", EventText("n", "N"), "");
    ASSERT_TRUE(put.ok) << put.message;
    EXPECT_EQ(put.etag, server.Resources().at("n.ics").etag);
    EXPECT_EQ(server.log.back(), "PROPFIND /home/anna/work/n.ics");
}

TEST(CalDavClient, AnswersItCannotUseFailWithAMessage) {
    FakeCalDavServer server;
    server.Store("good.ics", EventText("good", "Good"));
    server.Store("text.ics", "Hello, this is no calendar");
    ClientSetup setup;
    CalDavClient client(server, setup.Options());
    const FetchResult fetched =
        client.Fetch(server.CalendarUrl(), {FakeCalDavServer::kCalendar + std::string("good.ics"),
                                            FakeCalDavServer::kCalendar + std::string("text.ics"),
                                            FakeCalDavServer::kCalendar + std::string("no.ics")});
    ASSERT_TRUE(fetched.ok) << fetched.message;
    EXPECT_EQ(fetched.resources[0].data, EventText("good", "Good"));
    EXPECT_NE(fetched.resources[1].error.find("not iCalendar"), std::string::npos);
    EXPECT_FALSE(fetched.resources[2].error.empty());

    for (const std::string& body :
         {std::string("<multistatus xmlns='DAV:'><response><href>/a</href>"), std::string(""),
          std::string("<html>Service unavailable</html>")}) {
        server.fault = [body](const HttpRequest&) -> std::optional<HttpResponse> {
            return MakeResponse(207, body);
        };
        const ChangeSet broken = client.SyncCollection(server.CalendarUrl(), "");
        EXPECT_FALSE(broken.ok);
        EXPECT_FALSE(broken.message.empty());
    }
    server.fault = [](const HttpRequest&) -> std::optional<HttpResponse> {
        HttpResponse large;
        large.error = TransportError::TooLarge;
        large.message = "The server's answer is larger than 64 MiB.";
        return large;
    };
    const int before = server.requests;
    const ChangeSet tooLarge = client.SyncCollection(server.CalendarUrl(), "");
    EXPECT_FALSE(tooLarge.ok);
    EXPECT_NE(tooLarge.message.find("64 MiB"), std::string::npos);
    EXPECT_EQ(server.requests - before, 1); // not retried
}
