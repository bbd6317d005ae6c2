#pragma once

#include <ostream>

// What each real server the suite runs against does its own way, kept in one
// table as mature CalDAV libraries keep theirs. The client handles all of
// them without asking which server it talks to; the suite checks that each
// quirk is still there, so a server that changes is noticed.
struct ServerQuirks {
    const char* name;
    const char* urlVariable; // environment variable with the server's root URL
    const char* userVariable;
    const char* passwordVariable;
    // Where the test user's calendars are made (MKCALENDAR), below the root.
    const char* calendarHome;
    // The answer to a sync token the server does not know: Radicale 403
    // with <valid-sync-token/>, Xandikos a bare 500.
    int unknownTokenStatus;
    // The status of /.well-known/caldav's redirect to the root.
    int wellKnownRedirect;
    // The server stores its own serialization of an event (both reorder
    // properties); what comes back is not what was sent, and the kept server
    // text is what the server sends back.
    bool rewritesEvents;
    // Sync tokens are URLs (Radicale) or bare hex (Xandikos): opaque either way.
    bool tokensAreUrls;
    // Basic authentication from htpasswd; Xandikos has none of its own.
    bool basicAuthentication;
    // A principal's calendar home is the principal itself (Radicale).
    bool homeIsPrincipal;
};

inline constexpr ServerQuirks kRadicale = {
    "Radicale",
    "QM_SYNC_RADICALE_URL",
    "QM_SYNC_RADICALE_USER",
    "QM_SYNC_RADICALE_PASSWORD",
    "/anna/",
    403,
    301,
    true,
    true,
    true,
    true,
};
inline constexpr ServerQuirks kXandikos = {
    "Xandikos", "QM_SYNC_XANDIKOS_URL", "", "", "/user/calendars/", 500, 302, true, false, false,
    false,
};

// GoogleTest names the server, not the bytes of the table row.
inline void PrintTo(const ServerQuirks& quirks, std::ostream* out) {
    *out << quirks.name;
}
