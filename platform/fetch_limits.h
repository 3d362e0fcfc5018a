// The bounds of one fetch of a version file, for the launcher and for the vendor's check of its
// server alike.
#pragma once

#include <chrono>
#include <cstddef>

namespace kvat {

// The whole fetch, connect to last byte, redirects included.
inline constexpr unsigned kFetchTimeLimitSeconds = 60;
// The most that is read of an answer; a longer one is no answer.
inline constexpr std::size_t kFetchMaxBytes = 4096;
// Redirects followed before the fetch gives up on an answer: enough for http to https and one
// move of the site, short of any loop.
inline constexpr unsigned kFetchMaxRedirects = 5;

// How long the launcher, as it ends, waits for the fetches it stopped waiting for (Skip, or the
// bound): long enough for one whose call has returned to close its connection.
inline constexpr std::chrono::seconds kAbandonedFetchWait{2};

}  // namespace kvat
