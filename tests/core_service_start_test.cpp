// The one rule both windows start the service by, against a fake process whose
// port starts listening some time after its launch, or never: a press's start,
// the warm start at load, and a press that meets the warm start under way.
#include "core/service_start.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FakeProcess : public core::ServiceProcess
{
public:
    std::optional<std::chrono::milliseconds> upAfter; // nullopt: never listens
    std::atomic<bool> listeningBefore {false}; // a service nobody here launched
    bool canLaunch = true;
    bool exitsAtOnce = false; // and leaves nothing running
    std::atomic<int> launched {0};
    std::atomic<int> stopped {0};

    bool listens(std::chrono::milliseconds) override
    {
        if (listeningBefore)
            return true;
        const Clock::rep at = m_launchedAt;
        return at != 0 && upAfter
            && Clock::now().time_since_epoch().count() >= at + ticks(*upAfter);
    }
    bool launch() override
    {
        if (!canLaunch)
            return false;
        ++launched;
        m_launchedAt = Clock::now().time_since_epoch().count();
        return true;
    }
    bool running() override { return m_launchedAt != 0 && !exitsAtOnce; }
    void stop() override
    {
        ++stopped;
        m_launchedAt = 0;
    }
    // The service ends by itself (its idle exit).
    void exits()
    {
        listeningBefore = false;
        m_launchedAt = 0;
    }

private:
    static Clock::rep ticks(std::chrono::milliseconds d)
    {
        return std::chrono::duration_cast<Clock::duration>(d).count();
    }
    std::atomic<Clock::rep> m_launchedAt {0};
};

TEST(ServiceStartRule, APressLaunchesPollsAndStopsWhatNeverCameUp)
{
    const struct {
        const char *what;
        std::optional<std::chrono::milliseconds> upAfter;
        bool canLaunch;
        bool exitsAtOnce;
        bool up;
        int launches, stops;
    } rows[] = {
        {"listens soon", 100ms, true, false, true, 1, 0},
        {"listens only after the time given", 2s, true, false, false, 1, 1},
        {"never listens", std::nullopt, true, false, false, 1, 1},
        {"cannot be launched", 10ms, false, false, false, 0, 0},
        // Given up at once, with nothing left to stop.
        {"exits at once", std::nullopt, true, true, false, 1, 0},
        // Another window's service serves.
        {"exits, the port answers", 0ms, true, true, true, 1, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        FakeProcess process;
        process.upAfter = row.upAfter;
        process.canLaunch = row.canLaunch;
        process.exitsAtOnce = row.exitsAtOnce;
        core::ServiceStartRule rule(process);
        EXPECT_EQ(rule.start(400ms), row.up);
        EXPECT_EQ(process.launched, row.launches);
        EXPECT_EQ(process.stopped, row.stops);
    }
}

TEST(ServiceStartRule, WarmStartAtLoadServesTheFirstPress)
{
    const struct {
        const char *what;
        bool listeningBefore;
        std::optional<std::chrono::milliseconds> upAfter;
        std::chrono::milliseconds pressWithin;
        bool up;
        int launches;
    } rows[] = {
        // systemd's socket or another window's service: nothing is launched.
        {"already listening", true, 10ms, 1s, true, 0},
        // The press meets the warm start under way and waits for it.
        {"comes up during the press", false, 300ms, 2s, true, 1},
        // The press gives up at its own bound and launches no second service.
        {"slower than the press", false, 3s, 200ms, false, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        FakeProcess process;
        process.listeningBefore = row.listeningBefore;
        process.upAfter = row.upAfter;
        core::ServiceStartRule rule(process);
        rule.warmUp();
        rule.warmUp(); // a second load step starts nothing more
        if (!row.listeningBefore) {
            // The press comes once the warm start has launched.
            const auto giveUp = Clock::now() + 2s;
            while (process.launched == 0 && Clock::now() < giveUp)
                std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(row.listeningBefore || rule.start(row.pressWithin), row.up);
        EXPECT_EQ(process.launched, row.launches);
    }
}

TEST(ServiceStartRule, AWindowClosedAtOnceLeavesTheWarmStartAlone)
{
    FakeProcess process;
    process.upAfter = std::nullopt;
    {
        core::ServiceStartRule rule(process);
        rule.warmUp();
        const auto giveUp = Clock::now() + 2s;
        while (process.launched == 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(5ms);
    }
    // Left to its idle exit, not stopped as a failed start would be.
    EXPECT_EQ(process.launched, 1);
    EXPECT_EQ(process.stopped, 0);
}

TEST(ServiceStartRule, AServiceGoneSinceIsLaunchedAgain)
{
    FakeProcess process;
    process.upAfter = 20ms;
    core::ServiceStartRule rule(process);
    ASSERT_TRUE(rule.start(1s));
    process.exits();
    EXPECT_TRUE(rule.start(1s));
    EXPECT_EQ(process.launched, 2);
    EXPECT_EQ(rule.launches(), 2);
}

} // namespace
