// What a console control event does to the serving korvalux-service, handed to
// the handler's work directly: Wine does not deliver GenerateConsoleCtrlEvent to
// another process, so the started exe cannot be stopped that way in a test.
#include "service/console_stop.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using korvalux::service::ConsoleStop;
using korvalux::service::ServerControl;

class FakeControl final : public ServerControl
{
public:
    Executor executor() const override { return boost::asio::make_strand(m_io); }
    void requestStop() override { ++stops; }
    void requestReload() override { ++reloads; }

    std::atomic<int> stops {0};
    std::atomic<int> reloads {0};

private:
    mutable boost::asio::io_context m_io;
};

enum class Stage { Starting, Serving, Forgotten };

TEST(ConsoleStop, AsksTheServerToStopAndHoldsAClosingConsoleForMain)
{
    const auto never = std::chrono::milliseconds::max();
    const struct {
        const char *what;
        Stage stage;
        DWORD event;
        std::chrono::milliseconds finishAfter; // when main finishes; never: not in time
        bool handled;
        int stops;
        std::chrono::milliseconds atLeast, below; // how long the handler took
    } rows[] = {
        {"Ctrl+C before serving", Stage::Starting, CTRL_C_EVENT, never, false, 0, 0ms, 500ms},
        {"Ctrl+C", Stage::Serving, CTRL_C_EVENT, never, true, 1, 0ms, 500ms},
        {"Ctrl+Break", Stage::Serving, CTRL_BREAK_EVENT, never, true, 1, 0ms, 500ms},
        {"close, main done soon", Stage::Serving, CTRL_CLOSE_EVENT, 300ms, true, 1, 250ms, 900ms},
        {"close, main late", Stage::Serving, CTRL_CLOSE_EVENT, never, true, 1, 900ms, 2000ms},
        {"shutdown", Stage::Serving, CTRL_SHUTDOWN_EVENT, 300ms, true, 1, 250ms, 900ms},
        {"Ctrl+C while leaving", Stage::Forgotten, CTRL_C_EVENT, never, true, 0, 0ms, 500ms},
    };
    for (const auto &row : rows) {
        ConsoleStop stop(1000ms);
        FakeControl control;
        if (row.stage != Stage::Starting)
            stop.watch(control);
        if (row.stage == Stage::Forgotten)
            stop.forget();
        std::thread main;
        if (row.finishAfter != never)
            main = std::thread([&] {
                std::this_thread::sleep_for(row.finishAfter);
                stop.finished();
            });
        const auto started = std::chrono::steady_clock::now();
        const bool handled = stop.handle(row.event);
        const auto took = std::chrono::steady_clock::now() - started;
        if (main.joinable())
            main.join();

        EXPECT_EQ(handled, row.handled) << row.what;
        EXPECT_EQ(control.stops, row.stops) << row.what;
        EXPECT_EQ(control.reloads, 0) << row.what;
        EXPECT_GE(took, row.atLeast) << row.what;
        EXPECT_LT(took, row.below) << row.what;
    }
}

} // namespace
