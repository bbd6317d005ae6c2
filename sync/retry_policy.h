#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

// How the client waits and tries again when a server is busy or the network
// fails: bounded in tries and in total time, and as long as the server asks
// (Retry-After) when that fits in the bound.
namespace caldav {

struct RetryPolicy {
    int maxAttempts = 4; // the first try included
    std::chrono::milliseconds firstDelay{1000};
    std::chrono::milliseconds maxTotalWait{60000};
};

// Reads a Retry-After value, delay-seconds or an HTTP date, into seconds
// from `nowUnixSeconds` (never negative). False when it cannot be read.
bool ParseRetryAfter(std::string_view value, std::int64_t nowUnixSeconds, std::int64_t& seconds);

// An HTTP date (IMF-fixdate, RFC 850 or asctime form) as Unix seconds.
bool ParseHttpDate(std::string_view text, std::int64_t& unixSeconds);

} // namespace caldav
