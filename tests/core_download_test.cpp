// The download's shared rules, on both platforms: the default limits every
// caller relies on without passing its own, and the retry after starting the
// service, whose start and second download share one 5 s budget (a fake clock).
#include "core/download.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using namespace std::chrono_literals;
using core::DownloadFailure;
using core::DownloadLimits;

TEST(DownloadLimits, DefaultsBoundEveryDownload)
{
    // Only the window's own downloads take the defaults, so no download test
    // would notice a changed default.
    const DownloadLimits limits;
    const struct {
        const char *what;
        std::chrono::milliseconds got, want;
    } rows[] = {
        {"connect", limits.connectTimeout, 60s},
        {"stall", limits.stallTimeout, 60s},
        {"overall", limits.totalTimeout, 60s},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.got, row.want) << row.what;
    EXPECT_EQ(limits.maxBodyBytes, 16u * 1024 * 1024);
}

class FakeClock : public core::Clock
{
public:
    std::chrono::steady_clock::time_point at {};
    std::chrono::steady_clock::time_point now() const override { return at; }
};

class FakeAttempt : public core::DownloadAttempt
{
public:
    DownloadFailure firstFailure = DownloadFailure::ConnectionRefused;
    std::vector<DownloadLimits> limits;
    std::u16string download(
        const std::u16string &, const DownloadLimits &given, DownloadFailure *failure) override
    {
        limits.push_back(given);
        if (failure)
            *failure = limits.size() == 1 ? firstFailure : DownloadFailure::None;
        return limits.size() == 1 ? u"" : u"second";
    }
};

class FakeStarter : public core::ServiceStarter
{
public:
    FakeClock &clock;
    std::chrono::milliseconds takes;
    bool comesUp;
    int starts = 0;
    int warmUps = 0;
    FakeStarter(FakeClock &c, std::chrono::milliseconds t, bool up)
        : clock(c)
        , takes(t)
        , comesUp(up)
    {
    }
    bool start(std::chrono::milliseconds within) override
    {
        ++starts;
        EXPECT_EQ(within, core::serviceStartBudget);
        clock.at += takes;
        return comesUp;
    }
    void warmUp() override { ++warmUps; }
};

class NoSession : public core::InternetSession, public core::DownloadAttempt
{
public:
    void open() override { }
    void close() override { }
    std::u16string downloadPage(const std::u16string &) override { return {}; }
    std::u16string download(
        const std::u16string &, const DownloadLimits &, DownloadFailure *) override
    {
        return {};
    }
};

// Once the window is shown, a loopback host's service is warmed up; opening the
// session starts nothing, and nothing else is ever started.
TEST(ServiceStartingSession, WarmsUpOnlyALoopbackHost)
{
    const struct {
        const char *host;
        int warmUps;
    } rows[] = {
        {"127.0.0.1:8765", 1},
        {"localhost", 1},
        {"[::1]:8765", 1},
        {"0.0.0.0:8765", 0},
        {"rates.example.org", 0},
        {"localhost:0", 0},
    };
    for (const auto &row : rows) {
        FakeClock clock;
        FakeStarter starter(clock, 0ms, true);
        NoSession system;
        core::ServiceStartingSession session(system, system, starter, row.host);
        session.open();
        EXPECT_EQ(starter.warmUps, 0) << row.host;
        session.warmUp();
        EXPECT_EQ(starter.warmUps, row.warmUps) << row.host;
        EXPECT_EQ(starter.starts, 0) << row.host;
    }
}

TEST(DownloadStartingService, RetriesOnceWithinWhatIsLeftOfTheBudget)
{
    const struct {
        const char *what;
        DownloadFailure first;
        bool loopback;
        std::chrono::milliseconds startTakes;
        bool comesUp;
        int starts;
        std::chrono::milliseconds retryLimit; // 0: no retry
    } rows[] = {
        {"refused, quick start", DownloadFailure::ConnectionRefused, true, 1500ms, true, 1, 3500ms},
        {"refused, instant start", DownloadFailure::ConnectionRefused, true, 0ms, true, 1, 5000ms},
        {"start used the budget", DownloadFailure::ConnectionRefused, true, 5000ms, true, 1, 0ms},
        {"service never came up", DownloadFailure::ConnectionRefused, true, 100ms, false, 1, 0ms},
        {"other failure", DownloadFailure::Other, true, 0ms, true, 0, 0ms},
        {"succeeded", DownloadFailure::None, true, 0ms, true, 0, 0ms},
        {"remote host", DownloadFailure::ConnectionRefused, false, 0ms, true, 0, 0ms},
    };
    for (const auto &row : rows) {
        FakeClock clock;
        FakeAttempt attempt;
        attempt.firstFailure = row.first;
        FakeStarter starter(clock, row.startTakes, row.comesUp);
        const std::u16string page
            = core::downloadStartingService(u"a", row.loopback, attempt, &starter, clock);
        EXPECT_EQ(starter.starts, row.starts) << row.what;
        EXPECT_EQ(attempt.limits.front().totalTimeout, DownloadLimits().totalTimeout) << row.what;
        if (row.retryLimit == 0ms) {
            EXPECT_EQ(attempt.limits.size(), 1u) << row.what;
            EXPECT_EQ(page, u"") << row.what;
            continue;
        }
        ASSERT_EQ(attempt.limits.size(), 2u) << row.what;
        EXPECT_EQ(page, u"second") << row.what;
        const DownloadLimits &retry = attempt.limits.back();
        EXPECT_EQ(retry.connectTimeout, row.retryLimit) << row.what;
        EXPECT_EQ(retry.stallTimeout, row.retryLimit) << row.what;
        EXPECT_EQ(retry.totalTimeout, row.retryLimit) << row.what;
    }
}

} // namespace
