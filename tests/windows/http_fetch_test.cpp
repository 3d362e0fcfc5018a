#include "platform/win32/http_fetch.h"

#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "http_test_server.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/wininet_library.h"

namespace kvat::win32 {
namespace {

using namespace std::chrono_literals;
using Outcome = HttpResult::Outcome;
using test::HttpResponse;
using test::HttpTestServer;
using Clock = std::chrono::steady_clock;

// A version document as the vendor serves it: 26 characters.
constexpr std::string_view kDocument = "VERSION=19.05 BUILD=000123";

HttpResult Fetch(std::string_view url, FetchLimits limits) {
    static WinInetLibrary wininet;
    return HttpGet(wininet, Widen(url), limits);
}

HttpResult Get(const HttpTestServer& server, std::string_view path,
               FetchLimits limits = {10s, 4096}) {
    return Fetch(server.Url(path), limits);
}

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

std::size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

TEST(HttpFetchAnswer, DocumentComesBackExactly) {
    HttpTestServer server;
    server.Serve("/plain.txt", {.body = std::string(kDocument)});
    server.Serve("/crlf.txt", {.body = std::string(kDocument) + "\r\n"});

    const HttpResult plain = Get(server, "/plain.txt");
    EXPECT_EQ(plain.outcome(), Outcome::Complete);
    EXPECT_EQ(plain.status, 200u);
    EXPECT_EQ(AnswerText(plain), kDocument);

    // The line end stays: judging the text's length is not the fetch's business.
    const HttpResult crlf = Get(server, "/crlf.txt");
    EXPECT_EQ(crlf.outcome(), Outcome::Complete);
    EXPECT_EQ(AnswerText(crlf), std::string(kDocument) + "\r\n");
    EXPECT_EQ(AnswerText(crlf).size(), 28u);
}

TEST(HttpFetchAnswer, ErrorStatusesGiveNoTextEvenWithABody) {
    HttpTestServer server;
    // An error page the same length as a good document must not pass for one.
    server.Serve("/missing.txt", {.status = 404, .body = std::string(kDocument)});
    server.Serve("/broken.txt", {.status = 500, .body = "Internal error"});

    const HttpResult missing = Get(server, "/missing.txt");
    EXPECT_EQ(missing.outcome(), Outcome::Complete);
    EXPECT_EQ(missing.status, 404u);
    EXPECT_EQ(missing.body, kDocument);
    EXPECT_EQ(AnswerText(missing), "");

    const HttpResult broken = Get(server, "/broken.txt");
    EXPECT_EQ(broken.outcome(), Outcome::Complete);
    EXPECT_EQ(broken.status, 500u);
    EXPECT_EQ(AnswerText(broken), "");
}

TEST(HttpFetchAnswer, EmptyDocumentIsCompleteAndEmpty) {
    HttpTestServer server;
    server.Serve("/empty.txt", {});

    const HttpResult result = Get(server, "/empty.txt");
    EXPECT_EQ(result.outcome(), Outcome::Complete);
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(AnswerText(result), "");
}

TEST(HttpFetchRedirect, FollowsRedirectsToOtherHostsAndRelativeAddresses) {
    HttpTestServer server;
    // "localhost" is another host name for the same server.
    const std::string elsewhere = "http://localhost:" + std::to_string(server.port());
    server.Serve("/moved.txt", {.status = 301, .headers = {"Location: " + elsewhere + "/a.txt"}});
    server.Serve("/a.txt", {.status = 308, .headers = {"Location: b.txt"}});
    server.Serve("/b.txt", {.status = 307, .headers = {"Location: /c.txt?x=1"}});
    server.Serve("/c.txt?x=1", {.body = std::string(kDocument)});

    const HttpResult result = Get(server, "/moved.txt");
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(AnswerText(result), kDocument);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].Header("host"), "localhost:" + std::to_string(server.port()));
    EXPECT_EQ(requests[3].path, "/c.txt?x=1");
}

TEST(HttpFetchRedirect, FinalAnswerOutside2xxIsNoAnswer) {
    HttpTestServer server;
    server.Serve("/old.txt", {.status = 302, .headers = {"Location: /gone.txt"}});
    server.Serve("/gone.txt", {.status = 404, .body = std::string(kDocument)});
    server.Serve("/nowhere.txt", {.status = 302, .body = std::string(kDocument)});

    const HttpResult gone = Get(server, "/old.txt");
    EXPECT_EQ(gone.status, 404u);
    EXPECT_EQ(AnswerText(gone), "");
    // A redirect without a Location is the final answer.
    const HttpResult nowhere = Get(server, "/nowhere.txt");
    EXPECT_EQ(nowhere.status, 302u);
    EXPECT_EQ(AnswerText(nowhere), "");
}

TEST(HttpFetchRedirect, LoopEndsAsNoAnswerAtTheRedirectBound) {
    HttpTestServer server;
    server.Serve("/loop.txt", {.status = 302, .headers = {"Location: /loop.txt"}});
    const FetchLimits limits{20s, 4096, 3};

    const auto start = Clock::now();
    const HttpResult result = Get(server, "/loop.txt", limits);
    EXPECT_EQ(result.outcome(), Outcome::TransportError);
    EXPECT_EQ(result.failure, FetchFailure::RedirectLimit);
    EXPECT_EQ(AnswerText(result), "");
    EXPECT_EQ(server.Requests().size(), limits.max_redirects + 1);
    EXPECT_LT(Since(start), 3s);
}

TEST(HttpFetchText, BytesAreReadInTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "needs ANSI code page 1252, this system has " << GetACP();
    }
    HttpTestServer server;
    // 0x80 is the euro sign in 1252 but a control character in Latin-1.
    server.Serve("/ansi.txt", {.body = "\xE9t\xE9 \x80"});

    EXPECT_EQ(AnswerText(Get(server, "/ansi.txt")), "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
}

TEST(HttpFetchFreshness, EveryFetchAsksTheServer) {
    HttpTestServer server;
    // Everything a caching, cookie-keeping client would act on.
    server.Serve("/version.txt", {.body = "first",
                                  .headers = {"Cache-Control: public, max-age=86400",
                                              "Expires: Fri, 01 Jan 2100 00:00:00 GMT",
                                              "Last-Modified: Mon, 01 Jan 2001 00:00:00 GMT",
                                              "ETag: \"v1\"", "Set-Cookie: session=abc"}});
    EXPECT_EQ(AnswerText(Get(server, "/version.txt")), "first");

    server.Serve("/version.txt", {.body = "second"});
    EXPECT_EQ(AnswerText(Get(server, "/version.txt")), "second");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("user-agent"), "KVAT_Launcher");
    }
    // What keeps a proxy's cache out of it.
    EXPECT_EQ(requests[1].Header("pragma"), "no-cache");
    EXPECT_EQ(requests[1].Header("cookie"), "");
    EXPECT_EQ(requests[1].Header("if-none-match"), "");
    EXPECT_EQ(requests[1].Header("if-modified-since"), "");
}

TEST(HttpFetchSize, CapIsInclusive) {
    HttpTestServer server;
    server.Serve("/fits.txt", {.body = std::string(kDocument)});
    server.Serve("/over.txt", {.body = std::string(kDocument) + "!"});
    const FetchLimits limits{10s, kDocument.size()};

    const HttpResult fits = Get(server, "/fits.txt", limits);
    EXPECT_EQ(fits.outcome(), Outcome::Complete);
    EXPECT_EQ(AnswerText(fits), kDocument);

    const HttpResult over = Get(server, "/over.txt", limits);
    EXPECT_EQ(over.outcome(), Outcome::TooLarge);
    EXPECT_LE(over.body.size(), kDocument.size());
    EXPECT_EQ(AnswerText(over), "");
}

TEST(HttpFetchSize, HugeAnswerStopsAtTheCapQuickly) {
    HttpTestServer server;
    // As a network delivers it: piece by piece, not all at once as loopback would.
    server.Serve("/huge.bin", {.drip = 100ms, .generated_size = 4ull << 30});
    const std::size_t peak_before = PeakWorkingSet();

    const auto start = Clock::now();
    const HttpResult result = Get(server, "/huge.bin", {60s, 4096});
    const auto took = Since(start);

    EXPECT_EQ(result.outcome(), Outcome::TooLarge);
    EXPECT_EQ(result.status, 200u);
    EXPECT_LE(result.body.size(), 4096u);
    EXPECT_EQ(AnswerText(result), "");
    // Reading the rest, or waiting while closing the request drains it, takes far longer.
    EXPECT_LT(took, 2s);
    EXPECT_LT(PeakWorkingSet() - peak_before, 64u << 20);
}

TEST(HttpFetchBound, SlowBodyTimesOutAtTheBound) {
    HttpTestServer server;
    // Each byte comes well within the bound; the whole body would take 20 s.
    server.Serve("/drip.txt", {.body = std::string(100, 'd'), .drip = 200ms});
    const FetchLimits limits{1500ms, 4096};

    const auto start = Clock::now();
    const HttpResult result = Get(server, "/drip.txt", limits);
    const auto took = Since(start);

    EXPECT_EQ(result.outcome(), Outcome::TimedOut);
    EXPECT_EQ(AnswerText(result), "");
    EXPECT_GE(took, limits.bound - 50ms);
    EXPECT_LT(took, limits.bound + 2s);

    // The transfer left behind gives up soon after the bound, although every byte came in time:
    // a server that drips forever must not keep its thread and connection.
    const auto left = [&] { return server.Requests().at(0).client_left; };
    while (!left() && Since(start) < limits.bound + 8s) {
        Sleep(50);
    }
    ASSERT_TRUE(left());
    EXPECT_LT(*left() - start, limits.bound + 3s);

    // The transfer left behind must not disturb the next one.
    server.Serve("/after.txt", {.body = std::string(kDocument)});
    EXPECT_EQ(AnswerText(Get(server, "/after.txt")), kDocument);
}

TEST(HttpFetchBound, SilentServerTimesOutAndIsLeftSoonAfter) {
    HttpTestServer server;
    server.Serve("/late.txt", {.body = std::string(kDocument), .delay = 20s});
    const FetchLimits limits{1s, 4096};

    const auto start = Clock::now();
    const HttpResult result = Get(server, "/late.txt", limits);

    EXPECT_EQ(result.outcome(), Outcome::TimedOut);
    EXPECT_LT(Since(start), limits.bound + 2s);

    // The transfer left behind gives up on its own instead of holding the connection until the
    // server lets go.
    const auto left = [&] { return server.Requests().at(0).client_left; };
    while (!left() && Since(start) < limits.bound + 8s) {
        Sleep(50);
    }
    ASSERT_TRUE(left());
    EXPECT_LT(*left() - start, limits.bound + 5s);
}

TEST(HttpFetchBound, RedirectsShareTheOneBound) {
    HttpTestServer server;
    // Each hop is quick enough on its own; together they are not. The second one answers well
    // after the bound, so a request after it would come far later than the slack below.
    for (const char* hop : {"/1", "/2", "/3", "/4"}) {
        server.Serve(
            hop,
            {.status = 302, .headers = {std::string("Location: ") + hop + "x"}, .delay = 800ms});
    }
    server.Serve("/1x", {.status = 302, .headers = {"Location: /2"}});
    server.Serve("/2x", {.status = 302, .headers = {"Location: /3"}});
    server.Serve("/3x", {.status = 302, .headers = {"Location: /4"}});
    const FetchLimits limits{1s, 4096, 10};

    const auto start = Clock::now();
    const HttpResult result = Get(server, "/1", limits);
    EXPECT_EQ(result.outcome(), Outcome::TimedOut);
    EXPECT_LT(Since(start), limits.bound + 2s);

    // The transfer left behind starts no request once the bound has passed.
    Sleep(2000);
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_LT(requests.back().received - start, limits.bound + 300ms);
}

// Stops waiting after `after`, as the user's Skip does.
class SkipAfter final : public FetchWaiter {
  public:
    explicit SkipAfter(std::chrono::milliseconds after) : after_(after) {}
    bool Skipped() const override { return false; }
    WaitEnd Wait(HANDLE finished, Clock::time_point, std::wstring_view) override {
        return WaitForSingleObject(finished, static_cast<DWORD>(after_.count())) == WAIT_OBJECT_0
                   ? WaitEnd::Finished
                   : WaitEnd::Skipped;
    }

  private:
    std::chrono::milliseconds after_;
};

TEST(HttpFetchBound, SkipKeepsWhatWasSeenAndStartsNothingMore) {
    HttpTestServer server;
    server.Serve("/a", {.status = 302, .headers = {"Location: /b"}});
    server.Serve("/b", {.status = 302, .headers = {"Location: /c"}, .delay = 1500ms});
    server.Serve("/c", {.body = std::string(kDocument)});
    static WinInetLibrary wininet;
    SkipAfter skip(500ms);

    const auto start = Clock::now();
    const HttpResult result = HttpGet(wininet, Widen(server.Url("/a")), {10s, 4096}, skip);
    EXPECT_EQ(result.outcome(), Outcome::Skipped);
    EXPECT_LT(Since(start), 1s);
    // The address being asked when the user skipped, and the last status seen on the way.
    EXPECT_EQ(Narrow(result.final_url), server.Url("/b"));
    EXPECT_EQ(result.status, 302u);
    EXPECT_EQ(AnswerOf(result, Widen(server.Url("/a"))).final_url, server.Url("/b"));

    // The next fetch does not wait for the one left behind, which still holds its thread.
    server.Serve("/next", {.body = std::string(kDocument)});
    const auto next_start = Clock::now();
    EXPECT_EQ(AnswerText(HttpGet(wininet, Widen(server.Url("/next")), {10s, 4096})), kDocument);
    EXPECT_LT(Since(next_start), 500ms);

    // The redirect that comes after the skip is not followed.
    Sleep(2500);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].path, "/b");
    EXPECT_EQ(requests[2].path, "/next");
}

TEST(HttpFetchBound, AbandonedFetchesAreWaitedForAtMostTwoSecondsAtTheEnd) {
    HttpTestServer server;
    server.Serve("/late", {.body = std::string(kDocument), .delay = 20s});
    auto wininet = std::make_unique<WinInetLibrary>();
    SkipAfter skip(200ms);
    EXPECT_EQ(HttpGet(*wininet, Widen(server.Url("/late")), {10s, 4096}, skip).outcome(),
              Outcome::Skipped);

    // As the launcher ends: its fetch still waits on the silent server (under Wine at least).
    const auto start = Clock::now();
    wininet.reset();
    EXPECT_LT(Since(start), 2500ms);
}

TEST(HttpFetchBound, SlowButTimelyAnswerIsComplete) {
    HttpTestServer server;
    server.Serve("/drip.txt", {.body = std::string(kDocument), .drip = 20ms});

    const HttpResult result = Get(server, "/drip.txt", {5s, 4096});
    EXPECT_EQ(result.outcome(), Outcome::Complete);
    EXPECT_EQ(AnswerText(result), kDocument);
}

TEST(HttpFetchTransport, ConnectionRefusedIsReportedAtOnce) {
    std::string url;
    {
        HttpTestServer gone;
        url = gone.Url("/version.txt");
    }
    const auto start = Clock::now();
    const HttpResult result = Fetch(url, {20s, 4096});

    EXPECT_EQ(result.outcome(), Outcome::TransportError);
    EXPECT_EQ(result.error, static_cast<unsigned long>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ(AnswerText(result), "");
    EXPECT_LT(Since(start), 3s);
}

TEST(HttpFetchTransport, BrokenAnswersGiveNoText) {
    using Ending = HttpResponse::Ending;
    HttpTestServer server;
    const std::string body = std::string(kDocument) + std::string(kDocument);
    server.Serve("/silent.txt", {.body = body, .ending = Ending::CloseWithoutAnswer});
    server.Serve("/cut.txt", {.body = body, .ending = Ending::CloseMidBody});
    server.Serve("/reset.txt", {.body = body, .ending = Ending::ResetMidBody});

    for (const char* path : {"/silent.txt", "/cut.txt", "/reset.txt"}) {
        SCOPED_TRACE(path);
        const auto start = Clock::now();
        const HttpResult result = Get(server, path, {20s, 4096});
        EXPECT_EQ(result.outcome(), Outcome::TransportError);
        EXPECT_NE(result.error, 0u);
        EXPECT_EQ(AnswerText(result), "");
        EXPECT_LT(Since(start), 3s);
    }
}

}  // namespace
}  // namespace kvat::win32
