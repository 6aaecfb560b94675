// The window under a real Wayland compositor (weston, run by
// wayland_session.sh): it is drawn, and a maximize or full-screen request made
// through the window's toplevel, as the title bar's maximize button makes it,
// ends with the window at the compositor's size instead of a protocol error that
// would end the process; back in the normal state it is fixed again. Skipped on
// any other platform.
#include "app/main_window.h"
#include "fake_ports.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace
{

TEST(WaylandWindow, CompositorSizedStatesAreObeyedAndUndone)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        GTEST_SKIP() << "needs the Wayland platform, not "
                     << qPrintable(QGuiApplication::platformName());
    fakes::Session session;
    fakes::Settings settings;
    fakes::Browser browser;
    fakes::FixedDraw random;
    MainWindow window({session, settings, browser, random, u"127.0.0.1:8765", QString(), false});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize fixed = window.size();

    // Drawn: white where no control stands.
    QImage shot = window.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(shot.width() - 3, shot.height() / 2)), QColor(Qt::white));

    struct Row {
        const char *what;
        Qt::WindowState state;
    };
    const Row rows[] = {{"maximized", Qt::WindowMaximized}, {"full screen", Qt::WindowFullScreen},
        {"maximized again", Qt::WindowMaximized}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        window.windowHandle()->setWindowStates(row.state);
        // weston offers a maximized window its work area and a full-screen one
        // the whole output; the window takes either, and lives on to see it.
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.windowState() & row.state; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.width() > fixed.width(); }, 5000));
        QTest::qWait(300);
        window.windowHandle()->setWindowStates(Qt::WindowNoState);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window.windowState() == Qt::WindowNoState && window.size() == fixed; },
            5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.maximumSize() == fixed; }, 5000));
        EXPECT_EQ(window.minimumSize(), fixed);
    }
    // Still connected: one more round trip to the compositor is answered.
    window.resize(800, 600);
    QTest::qWait(200);
    EXPECT_EQ(window.size(), fixed);
    EXPECT_TRUE(window.isVisible());
}

} // namespace
