// The fault proxy between the client and Radicale: dropped connections,
// server errors, a forced conflict, a slow answer and a cut XML answer.
// After each, nothing is lost and the next sync completes. Also what WinHTTP
// itself must refuse: an untrusted certificate, an answer over the bound.
#include "sync/caldav_client.h"
#include "sync/http_auth.h"
#include "sync/sync_engine.h"
#include "sync/winhttp_transport.h"
#include "tests/sync/fake_local_calendar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

using namespace caldav;

namespace {

// "s7" and its like, built without the operator+ on a temporary that GCC 12
// warns about wrongly (-Wrestrict).
std::string Numbered(const char* stem, int i) {
    std::string name = stem;
    name += std::to_string(i);
    return name;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class Faults : public testing::Test {
protected:
    void SetUp() override {
        proxy = Environment("QM_SYNC_PROXY_URL");
        if (proxy.empty())
            GTEST_SKIP() << "the fault proxy is not running (tests/sync/run_servers.sh)";
        options.user = Environment("QM_SYNC_RADICALE_USER");
        options.password = Environment("QM_SYNC_RADICALE_PASSWORD");
        options.assumeBasic = true;
        options.retry.firstDelay = std::chrono::milliseconds(200);
        options.retry.maxTotalWait = std::chrono::milliseconds(8000);
    }
    void Fault(const std::string& mode, int count, const std::string& method = "") {
        std::string url = proxy + "__fault__/" + mode + "?count=" + std::to_string(count);
        if (!method.empty())
            url += "&method=" + method;
        WinHttpTransport control;
        ASSERT_EQ(control.Send({"PUT", url, {}, ""}).status, 204);
    }
    std::string MakeCalendar(const std::string& name) {
        const std::string url =
            proxy + "anna/" + name + "-" + std::to_string(GetTickCount64() % 1000000) + "/";
        WinHttpTransport transport;
        const HttpResponse made = transport.Send(
            {"MKCALENDAR",
             url,
             {{"Authorization", "Basic " + Base64(options.user + ":" + options.password)}},
             ""});
        EXPECT_EQ(made.status, 201) << made.message;
        return url;
    }
    std::string proxy;
    ClientOptions options;
};

struct Device {
    FakeLocalCalendar local;
    MemoryStateStore store;
    SyncReport Run(IHttpTransport& transport, const ClientOptions& options,
                   const std::string& calendar) {
        CalDavClient client(transport, options);
        SyncState state = store.saved;
        SyncEngine engine(client, local, state, store);
        SyncOptions syncOptions;
        syncOptions.calendarUrl = calendar;
        return engine.Run(syncOptions);
    }
};

std::string IdOf(FakeLocalCalendar& local, const std::string& uid) {
    for (const auto& [id, item] : local.Live())
        if (item.uid == uid)
            return id;
    return std::string();
}

} // namespace

TEST_F(Faults, NothingIsLostAndTheNextSyncCompletes) {
    struct Case {
        const char* mode;
        int count;
        const char* method;
        bool syncSurvives; // retried within the sync, or the sync fails and the next one mends
    };
    const Case cases[] = {
        {"drop", 1, "REPORT", true}, {"drop", 20, "", false},          {"500", 1, "PUT", true},
        {"503", 2, "", true},        {"500", 20, "", false},           {"412put", 1, "", true},
        {"slow", 1, "REPORT", true}, {"truncate", 1, "REPORT", false}, {"reset", 1, "REPORT", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " x" + std::to_string(c.count));
        const std::string calendar = MakeCalendar(c.mode);
        WinHttpOptions transportOptions;
        transportOptions.receiveTimeout = std::chrono::milliseconds(2000);
        WinHttpTransport transport(transportOptions);
        Device device;
        {
            CalDavClient other(transport, options);
            for (int i = 0; i < 12; ++i)
                ASSERT_TRUE(other
                                .Put(calendar + Numbered("s", i) + ".ics",
                                     EventText(Numbered("s", i), "Server"), "")
                                .ok);
        }
        ASSERT_EQ(device.Run(transport, options, calendar).status, SyncStatus::Done);
        // Work waiting on both sides: a local edit, a local new event, a
        // server edit.
        device.local[IdOf(device.local, "s1")].summary = "Edited here";
        device.local.Add("new-here", "New here");
        {
            CalDavClient other(transport, options);
            const FetchResult current = other.Fetch(calendar, {calendar + "s2.ics"});
            ASSERT_TRUE(other
                            .Put(calendar + "s2.ics", EventText("s2", "Edited there"),
                                 current.resources.at(0).etag)
                            .ok);
        }
        Fault(c.mode, c.count, c.method);
        const SyncReport faulted = device.Run(transport, options, calendar);
        Fault("none", 0);
        std::printf("[ fault %s x%d ] status %d, %d requests: %s\n", c.mode, c.count,
                    static_cast<int>(faulted.status), faulted.requests, faulted.message.c_str());
        if (c.syncSurvives)
            EXPECT_NE(faulted.status, SyncStatus::Failed) << faulted.message;
        else
            EXPECT_EQ(faulted.status, SyncStatus::Failed);
        EXPECT_EQ(device.local.Live().size(), 13u); // nothing local lost, whatever happened

        const SyncReport next = device.Run(transport, options, calendar);
        ASSERT_EQ(next.status, SyncStatus::Done) << next.message;
        EXPECT_EQ(device.local.FindUid("s2")->summary, "Edited there");
        // Both sides hold the same 13 events, each once.
        Device fresh;
        ASSERT_EQ(fresh.Run(transport, options, calendar).status, SyncStatus::Done);
        std::map<std::string, std::string> server, here;
        for (const auto& [id, item] : fresh.local.Live())
            EXPECT_TRUE(server.emplace(item.uid, item.summary).second) << "twice: " << item.uid;
        for (const auto& [id, item] : device.local.Live())
            here.emplace(item.uid, item.summary);
        EXPECT_EQ(server, here);
        EXPECT_EQ(server["s1"], "Edited here");
        EXPECT_EQ(server.count("new-here"), 1u);
    }
}

TEST(Transport, RefusesAnUntrustedCertificateAndAnswersOverTheBound) {
    const std::string tls = Environment("QM_SYNC_TLS_URL");
    const std::string proxy = Environment("QM_SYNC_PROXY_URL");
    if (tls.empty() || proxy.empty())
        GTEST_SKIP() << "the proxy's TLS port is not running (tests/sync/run_servers.sh)";
    WinHttpTransport transport;
    const HttpResponse refused = transport.Send({"GET", tls + ".well-known/caldav", {}, ""});
    EXPECT_EQ(refused.error, TransportError::Certificate) << refused.message;
    EXPECT_EQ(refused.status, 0);
    EXPECT_NE(refused.message.find("certificate"), std::string::npos) << refused.message;
    std::printf("[ certificate ] %s\n", refused.message.c_str());

    // The same request through the plain port works: only the certificate
    // was refused. An answer over the bound is an error, not a buffer.
    WinHttpOptions small;
    small.maxResponseBytes = 8;
    WinHttpTransport bounded(small);
    const HttpResponse large = bounded.Send({"GET", proxy + ".well-known/caldav", {}, ""});
    EXPECT_EQ(large.error, TransportError::TooLarge) << large.status << " " << large.message;
    WinHttpTransport plain;
    EXPECT_EQ(plain.Send({"GET", proxy + ".well-known/caldav", {}, ""}).status, 301);
}
