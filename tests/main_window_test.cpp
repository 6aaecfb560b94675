// The main window with its handlers, start-up and shut-down, driven like a user
// would: keys, clicks and mouse moves through QTest on the offscreen platform.
// Downloads are fakes that count their calls, the settings live in a temporary
// folder, the home page never opens and closing never ends the test process.
#include "app/main_window.h"

#include "core/currency_catalogue.h"
#include "fake_ports.h"
#include "loopback_http_server.h"
#include "net/internet_session.h"
#include "net/service_starter.h"
#include "settings/ini_settings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace
{

const QString usd = QStringLiteral("United States Dollar (USD)");
const QString eur = QStringLiteral("Euro (EUR)");
const QString jpy = QStringLiteral("Japanese Yen (JPY)");
const QString gbp = QStringLiteral("British Pound (GBP)");
const QString isk = QStringLiteral("Icelandic Kr\u00f3na (ISK)");
const QString veb = QStringLiteral("Venezuelan Bol\u00edvar (VEB)");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString toQString(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

std::u16string u16(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

// The draw, with a look at the window while the home-page step takes it.
class WatchedDraw : public fakes::FixedDraw
{
public:
    std::function<void()> during;
    double draw() override
    {
        if (during)
            during();
        return FixedDraw::draw();
    }
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        session.page = u"<html><td align=left>1.00 USD = 0.92 EUR</td></html>";
    }

    void TearDown() override
    {
        if (m_window)
            m_window->close();
        m_window.reset();
    }

    QString settingsFile() const { return m_dir.filePath(QStringLiteral("Vantoril.ini")); }

    MainWindow &start()
    {
        m_window = std::make_unique<MainWindow>(
            MainWindowPorts {realSession ? *realSession : session, settings, browser, random,
                u16(host), m_dir.filePath(QStringLiteral("HAND-M.CUR")), false});
        return *m_window;
    }

    MainWindow &startShown()
    {
        MainWindow &window = start();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        return window;
    }

    // A move as the window system delivers it: to whatever lies under the point.
    void hover(QWidget *over, QPoint local)
    {
        QWidget *top = over->window();
        QTest::mouseMove(top->windowHandle(), over->mapTo(top, local));
    }

    int downloads() const { return int(session.asked.size()); }
    QString lastAddress() const
    {
        return session.asked.empty() ? QString() : toQString(session.asked.back());
    }
    bool unloaded() const { return m_window && m_window->behaviour().unloaded(); }
    core::MousePointer pointer() const { return m_window->behaviour().mousePointer(); }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    fakes::Session session;
    settings::IniSettings settings {m_dir.path()};
    fakes::Browser browser;
    WatchedDraw random;
    QString host = QStringLiteral("127.0.0.1:8765");
    // Set: the window asks through this session instead of the fake.
    core::InternetSession *realSession = nullptr;
};

// A loopback port nothing listens on (closed again right away).
quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

// Ends a service a test started, by its process group, and waits until it is gone.
void stopGroup(pid_t group)
{
    if (group <= 0 || ::kill(-group, SIGTERM) != 0)
        return;
    EXPECT_TRUE(QTest::qWaitFor(
        [group] {
            ::waitpid(group, nullptr, WNOHANG);
            return !localservice::groupAlive(group);
        },
        10000));
}

TEST_F(MainWindowTest, FirstRunOpensCentredWithDefaults)
{
    MainWindow &window = startShown();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Korvalux"));
    EXPECT_EQ(window.cboFromCurrency->currentText(), usd);
    EXPECT_EQ(window.cboToCurrency->currentText(), eur);
    EXPECT_EQ(QApplication::focusWidget(), window.Text1);
    EXPECT_EQ(window.Text1->selectedText(), QStringLiteral("1.00"));
    EXPECT_EQ(window.Text2->text(), QString());
    EXPECT_EQ(pointer(), core::MousePointer::Default);
    EXPECT_FALSE(window.mouseIcon().has_value());
    // Centred before the first show, when the decoration may not be known yet:
    // allow the window's own frame as slack.
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    const int slack = std::max({client.left() - frame.left(), client.top() - frame.top(),
                          frame.right() - client.right(), frame.bottom() - client.bottom()})
        + 1;
    const QPoint offset = frame.center() - window.screen()->geometry().center();
    EXPECT_LE(std::abs(offset.x()), slack) << offset.x();
    EXPECT_LE(std::abs(offset.y()), slack) << offset.y();
    for (QComboBox *list : {window.cboFromCurrency, window.cboToCurrency}) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        QStringList entries;
        for (const std::u16string &entry : core::currencyEntries())
            entries << toQString(entry);
        EXPECT_EQ(items, entries);
    }
}

TEST_F(MainWindowTest, LoadRunsInItsOrder)
{
    writeFile(settingsFile(),
        "[Korvalux]\nFromCurrency=Japanese Yen (JPY)\n"
        "ToCurrency=British Pound (GBP)\n");
    // The draw is taken by the home-page step, between the cursor and the restore.
    struct Snapshot {
        bool sessionOpen;
        int fromCount, toCount;
        QString fromText, toText, title;
    };
    std::optional<Snapshot> atDraw;
    random.during = [&] {
        MainWindow *window = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *candidate = qobject_cast<MainWindow *>(top))
                window = candidate;
        ASSERT_NE(window, nullptr);
        atDraw = Snapshot {session.isOpen, window->cboFromCurrency->count(),
            window->cboToCurrency->count(), window->cboFromCurrency->currentText(),
            window->cboToCurrency->currentText(), window->windowTitle()};
    };
    MainWindow &window = start();
    ASSERT_TRUE(atDraw.has_value());
    EXPECT_TRUE(atDraw->sessionOpen);
    EXPECT_EQ(atDraw->fromCount, 65);
    EXPECT_EQ(atDraw->toCount, 65);
    EXPECT_NE(atDraw->fromText, jpy);
    EXPECT_NE(atDraw->toText, gbp);
    EXPECT_EQ(atDraw->title, QString());
    EXPECT_EQ(window.cboFromCurrency->currentText(), jpy);
    EXPECT_EQ(window.cboToCurrency->currentText(), gbp);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Korvalux"));
}

TEST_F(MainWindowTest, StoredChoicesAreRestored)
{
    struct Row {
        const char *name;
        std::optional<QByteArray> file;
        QString from, to;
    };
    const Row rows[] = {
        {"first run", std::nullopt, usd, eur},
        {"stored pair",
            "[Korvalux]\nFromCurrency=Japanese Yen (JPY)\nToCurrency=British Pound (GBP)\n", jpy,
            gbp},
        {"non-ASCII pair",
            "[Korvalux]\nFromCurrency=Icelandic Kr\xc3\xb3na (ISK)\nToCurrency=Venezuelan "
            "Bol\xc3\xadvar "
            "(VEB)\n",
            isk, veb},
        {"empty values", "[Korvalux]\nFromCurrency=\nToCurrency=\n", usd, eur},
        {"one stored", "[Korvalux]\nToCurrency=Thai Baht (THB)\n", usd,
            QStringLiteral("Thai Baht (THB)")},
        {"unknown entries",
            "[Korvalux]\nFromCurrency=Klingon Darsek (KDS)\nToCurrency=euro (eur)\n", usd, eur},
        {"corrupt file", "[Korvalux\n\x01\x02\xff\xfe garbage\nFromCurrency=Japanese Yen (JPY)\n",
            usd, eur},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(settingsFile());
        if (row.file)
            writeFile(settingsFile(), *row.file);
        MainWindow &window = start();
        EXPECT_EQ(window.cboFromCurrency->currentText(), row.from);
        EXPECT_EQ(window.cboToCurrency->currentText(), row.to);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Korvalux"));
        m_window.reset();
    }
}

TEST_F(MainWindowTest, ClosingSavesTheChoicesAndTheNextStartRestoresThem)
{
    struct Row {
        QString from, to;
    };
    const Row rows[] = {{jpy, gbp}, {isk, veb}, {usd, eur}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.from.toStdString());
        MainWindow &window = startShown();
        window.cboFromCurrency->setCurrentText(row.from);
        window.cboToCurrency->setCurrentText(row.to);
        window.close();
        EXPECT_TRUE(unloaded());
        EXPECT_FALSE(session.isOpen);
        const QByteArray file = readFile(settingsFile());
        EXPECT_TRUE(file.contains("FromCurrency=" + row.from.toUtf8())) << file.toStdString();
        EXPECT_TRUE(file.contains("ToCurrency=" + row.to.toUtf8())) << file.toStdString();
        m_window.reset();

        MainWindow &again = start();
        EXPECT_EQ(again.cboFromCurrency->currentText(), row.from);
        EXPECT_EQ(again.cboToCurrency->currentText(), row.to);
        m_window.reset();
    }
}

TEST_F(MainWindowTest, ClosingRightAfterStartWritesBothAndEndsOnce)
{
    MainWindow &window = startShown();
    EXPECT_TRUE(session.isOpen);
    EXPECT_FALSE(QFile::exists(settingsFile()));
    window.close();
    window.close();
    EXPECT_TRUE(unloaded());
    EXPECT_FALSE(session.isOpen);
    const QByteArray file = readFile(settingsFile());
    EXPECT_TRUE(file.contains("[Korvalux]")) << file.toStdString();
    EXPECT_TRUE(file.contains("FromCurrency=" + usd.toUtf8())) << file.toStdString();
    EXPECT_TRUE(file.contains("ToCurrency=" + eur.toUtf8())) << file.toStdString();
}

TEST_F(MainWindowTest, NoOrBrokenHandCursorStartsNormally)
{
    struct Row {
        const char *name;
        std::optional<QByteArray> file;
    };
    const Row rows[] = {
        {"no file", std::nullopt},
        {"not a cursor", "this is plain text, not a cursor"},
        {"empty file", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = m_dir.filePath(QStringLiteral("HAND-M.CUR"));
        QFile::remove(path);
        if (row.file)
            writeFile(path, *row.file);
        MainWindow &window = startShown();
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Korvalux"));
        EXPECT_FALSE(window.mouseIcon().has_value());
        hover(&window, QPoint(2, 2));
        hover(window.Check2, window.Check2->rect().center());
        EXPECT_EQ(pointer(), core::MousePointer::Custom);
        // Custom without an image of its own shows the ordinary arrow.
        EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
        m_window->close();
        m_window.reset();
    }
}

TEST_F(MainWindowTest, HandCursorIsTheCustomPointer)
{
    const QString drawn = QStringLiteral(KORVALUX_HAND_CURSOR_FILE);
    ASSERT_TRUE(QFile::exists(drawn));
    ASSERT_TRUE(QFile::copy(drawn, m_dir.filePath(QStringLiteral("HAND-M.CUR"))));
    MainWindow &window = startShown();
    ASSERT_TRUE(window.mouseIcon().has_value());
    const QCursor hand = *window.mouseIcon();
    EXPECT_EQ(hand.shape(), Qt::BitmapCursor);

    struct Step {
        const char *over;
        QWidget *widget;
        QPoint local;
        bool handShown;
    };
    const Step steps[] = {
        {"bare window", &window, QPoint(2, 2), false},
        {"Convert", window.Check2, QPoint(5, 5), true},
        {"frame", window.Frame2, QPoint(3, window.Frame2->height() / 2), false},
        {"Copy", window.Check1, QPoint(5, 5), true},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.over);
        hover(step.widget, step.local);
        const QCursor shown = window.cursor();
        if (step.handShown) {
            EXPECT_EQ(shown.shape(), Qt::BitmapCursor);
            EXPECT_EQ(shown.hotSpot(), hand.hotSpot());
            EXPECT_EQ(shown.pixmap().toImage(), hand.pixmap().toImage());
        } else {
            EXPECT_EQ(shown.shape(), Qt::ArrowCursor);
        }
    }
}

TEST_F(MainWindowTest, OnePressConvertsOnceAndTheButtonSpringsBack)
{
    struct Row {
        const char *how;
        QString amount, from, to;
        const char *query;
    };
    const Row rows[] = {
        {"mouse", QStringLiteral("250"), eur, usd, "a=250&from=EUR&to=USD"},
        {"space", QStringLiteral("1,5 x"), usd, eur, "a=1,5 x&from=USD&to=EUR"},
        {"mouse", QString(), jpy, gbp, "a=&from=JPY&to=GBP"},
        {"return key", QStringLiteral("12.5"), gbp, jpy, "a=12.5&from=GBP&to=JPY"},
        {"enter key", QStringLiteral("7"), usd, eur, "a=7&from=USD&to=EUR"},
    };
    MainWindow &window = startShown();
    QSignalSpy toggles(window.Check2, &QPushButton::toggled);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.how);
        session.asked.clear();
        toggles.clear();
        window.Text1->setText(row.amount);
        window.cboFromCurrency->setCurrentText(row.from);
        window.cboToCurrency->setCurrentText(row.to);
        if (QByteArray(row.how) == "mouse") {
            QTest::mouseClick(window.Check2, Qt::LeftButton);
        } else if (QByteArray(row.how).endsWith("key")) {
            window.Text1->setFocus(Qt::TabFocusReason);
            QTest::keyClick(
                window.Text1, QByteArray(row.how) == "return key" ? Qt::Key_Return : Qt::Key_Enter);
        } else {
            window.Check2->setFocus(Qt::TabFocusReason);
            QTest::keyClick(window.Check2, Qt::Key_Space);
        }
        EXPECT_EQ(downloads(), 1);
        EXPECT_TRUE(lastAddress().endsWith(
            QStringLiteral("/finance/converter?") + QString::fromUtf8(row.query)))
            << lastAddress().toStdString();
        EXPECT_EQ(window.Text2->text(), QStringLiteral("1.00 USD = 0.92 EUR"));
        EXPECT_FALSE(window.Check2->isChecked());
        // Pressed in, then sprung back by the handler itself.
        EXPECT_EQ(toggles.size(), 2);
        EXPECT_EQ(pointer(), core::MousePointer::Default);
    }
}

TEST_F(MainWindowTest, OnePressCopiesOnce)
{
    struct Row {
        const char *name;
        QString page;
        QString expected;
    };
    const Row rows[] = {
        {"result", QStringLiteral("<td align=left>100 USD = 87.50 EUR</td>"),
            QStringLiteral("100 USD = 87.50 EUR")},
        {"empty cell", QStringLiteral("<td align=left></td>"), QString()},
        {"non-ASCII", QStringLiteral("<td align=left>1 ISK = 0.007 EUR \u00e9</td>"),
            QStringLiteral("1 ISK = 0.007 EUR \u00e9")},
    };
    MainWindow &window = startShown();
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        clipboard->setText(QStringLiteral("stale"));
        session.page = u16(row.page);
        QTest::mouseClick(window.Check2, Qt::LeftButton);
        ASSERT_EQ(window.Text2->text(), row.expected);
        QSignalSpy changes(clipboard, &QClipboard::dataChanged);
        QTest::mouseClick(window.Check1, Qt::LeftButton);
        EXPECT_EQ(changes.size(), 1);
        EXPECT_EQ(clipboard->text(), row.expected);
        EXPECT_FALSE(window.Check1->isChecked());
        EXPECT_FALSE(window.Check2->isChecked());
    }
}

TEST_F(MainWindowTest, FocusSelectsTheWholeAmount)
{
    struct Row {
        const char *how;
        QString text;
    };
    const Row rows[] = {
        {"tab", QStringLiteral("250")},
        {"backtab", QStringLiteral("12.75")},
        {"click", QStringLiteral("1.00")},
        {"click", QStringLiteral("99999.99")},
        {"tab", QString()},
        {"click", QString()},
    };
    MainWindow &window = startShown();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.how);
        window.Text1->setText(row.text);
        const QString how = QString::fromLatin1(row.how);
        if (how == QStringLiteral("tab")) {
            window.Check1->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(window.Check1, Qt::Key_Tab);
        } else if (how == QStringLiteral("backtab")) {
            window.cboFromCurrency->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(window.cboFromCurrency, Qt::Key_Backtab);
        } else {
            window.Check2->setFocus(Qt::OtherFocusReason);
            QTest::mouseClick(
                window.Text1, Qt::LeftButton, {}, QPoint(5, window.Text1->height() / 2));
        }
        ASSERT_EQ(QApplication::focusWidget(), window.Text1);
        EXPECT_EQ(window.Text1->selectedText(), row.text);
        // Typing replaces the whole amount.
        QTest::keyClicks(window.Text1, QStringLiteral("7"));
        EXPECT_EQ(window.Text1->text(), QStringLiteral("7"));
    }
    // A click inside the box that already has the focus just places the caret.
    window.Text1->setText(QStringLiteral("1234"));
    QTest::mouseClick(window.Text1, Qt::LeftButton, {}, QPoint(5, window.Text1->height() / 2));
    EXPECT_EQ(window.Text1->selectedText(), QString());
}

TEST_F(MainWindowTest, HoverRulesFollowThePointerAcrossTheWindow)
{
    MainWindow &window = startShown();
    const QPoint bareWindow(window.width() - 3, window.Check2->y() + 5);
    const QPoint bareFrame(3, window.Frame2->height() / 2);
    struct Step {
        const char *over;
        QWidget *widget;
        QPoint local;
        core::MousePointer pointer;
    };
    const Step steps[] = {
        {"bare window", &window, bareWindow, core::MousePointer::Default},
        {"Convert", window.Check2, window.Check2->rect().center(), core::MousePointer::Custom},
        {"amount box", window.Text1, window.Text1->rect().center(), core::MousePointer::Custom},
        {"label", window.Label2, window.Label2->rect().center(), core::MousePointer::Custom},
        {"source list", window.cboFromCurrency, QPoint(10, 10), core::MousePointer::Custom},
        {"frame", window.Frame2, bareFrame, core::MousePointer::Default},
        {"Copy", window.Check1, window.Check1->rect().center(), core::MousePointer::Custom},
        {"Results box", window.Text2, window.Text2->rect().center(), core::MousePointer::Custom},
        {"frame again", window.Frame2, bareFrame, core::MousePointer::Default},
        {"target list", window.cboToCurrency, QPoint(10, 10), core::MousePointer::Default},
        {"Convert again", window.Check2, QPoint(2, 2), core::MousePointer::Custom},
        {"line", window.Line1, QPoint(window.Line1->width() / 2, 0), core::MousePointer::Default},
        {"Copy again", window.Check1, QPoint(3, 3), core::MousePointer::Custom},
        {"bare window again", &window, QPoint(2, 2), core::MousePointer::Default},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.over);
        hover(step.widget, step.local);
        EXPECT_EQ(pointer(), step.pointer);
    }
}

TEST_F(MainWindowTest, BusyHoldsDuringAConversionWhateverTheMouseDoes)
{
    MainWindow &window = startShown();
    hover(window.Check2, QPoint(4, 4));
    ASSERT_EQ(pointer(), core::MousePointer::Custom);
    struct Seen {
        const char *over;
        core::MousePointer pointer;
        bool overrideIsWait;
    };
    QList<Seen> seen;
    const auto look = [&](const char *over) {
        const QCursor *override = QGuiApplication::overrideCursor();
        seen.append({over, pointer(), override && override->shape() == Qt::WaitCursor});
    };
    session.duringDownload = [&] {
        look("start");
        QTest::mouseMove(window.Check2, QPoint(5, 5));
        look("Convert");
        QTest::mouseMove(window.Check1, QPoint(5, 5));
        look("Copy");
        QTest::mouseMove(window.Frame2, QPoint(3, window.Frame2->height() / 2));
        look("frame");
        QTest::mouseMove(&window, QPoint(window.width() - 3, window.Check2->y() + 5));
        look("bare window");
    };
    QTest::mouseClick(window.Check2, Qt::LeftButton);
    ASSERT_EQ(seen.size(), 5);
    for (const Seen &s : seen) {
        SCOPED_TRACE(s.over);
        EXPECT_EQ(s.pointer, core::MousePointer::Busy);
        EXPECT_TRUE(s.overrideIsWait);
    }
    EXPECT_EQ(pointer(), core::MousePointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ALongResultShowsItsBeginningAndCopiesWhole)
{
    struct Row {
        const char *name;
        int length;
    };
    const Row rows[] = {
        {"wider than the box", 200},
        {"over the default length limit", 40000},
    };
    MainWindow &window = startShown();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QString sentence = QStringLiteral("1.00 USD = 0.92 EUR ");
        while (sentence.size() < row.length)
            sentence += QLatin1Char(char('a' + sentence.size() % 26));
        session.page = u16(QStringLiteral("<td align=left>") + sentence + QStringLiteral("</td>"));
        QTest::mouseClick(window.Check2, Qt::LeftButton);
        EXPECT_EQ(window.Text2->text(), sentence);
        EXPECT_EQ(window.Text2->cursorPosition(), 0);
        // The caret at the first character sits at the box's left edge: the
        // view is scrolled to the beginning.
        EXPECT_LT(window.Text2->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(),
            window.Text2->width() / 4);
        QTest::mouseClick(window.Check1, Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), sentence);
    }
}

TEST_F(MainWindowTest, APartialSelectionSurvivesFocusThatDoesNotMove)
{
    MainWindow &window = startShown();
    QWidget other;
    other.resize(100, 100);
    struct Row {
        const char *what;
        std::function<void()> act;
    };
    const Row rows[] = {
        {"context menu closed with Escape",
            [&] {
                QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5),
                    window.Text1->mapToGlobal(QPoint(5, 5)));
                QApplication::sendEvent(window.Text1, &menu);
                ASSERT_TRUE(QTest::qWaitFor(
                    [] { return QApplication::activePopupWidget() != nullptr; }, 5000));
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
                ASSERT_TRUE(QTest::qWaitFor(
                    [] { return QApplication::activePopupWidget() == nullptr; }, 5000));
                // The focus comes back once the window is active again.
                EXPECT_TRUE(QTest::qWaitFor(
                    [&] { return QApplication::focusWidget() == window.Text1; }, 5000));
            }},
        {"another window and back",
            [&] {
                other.show();
                other.activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
                window.activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
            }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        window.Text1->setFocus(Qt::TabFocusReason);
        window.Text1->setText(QStringLiteral("12345"));
        window.Text1->setSelection(1, 3);
        row.act();
        EXPECT_EQ(QApplication::focusWidget(), window.Text1);
        EXPECT_EQ(window.Text1->selectedText(), QStringLiteral("234"));
        EXPECT_EQ(window.Text1->selectionStart(), 1);
    }
}

// The real download against a server that sends a byte now and then for far
// longer than the download's overall limit, and a close request that arrives
// while the conversion blocks the window.
TEST_F(MainWindowTest, ACloseDuringATricklingConversionSavesBothOnceItEnds)
{
    MainWindow *target = nullptr;
    loopback::Answer trickle;
    trickle.send(loopback::responseHead(200, {{"Content-Length", "400"}}));
    for (int i = 0; i < 200; ++i)
        trickle.pause(std::chrono::milliseconds(100)).send("<");
    loopback::Server server([&](const loopback::Request &) {
        QMetaObject::invokeMethod(target, &QWidget::close, Qt::QueuedConnection);
        return trickle;
    });
    ASSERT_TRUE(server.start());
    core::DownloadLimits limits;
    limits.totalTimeout = std::chrono::milliseconds(800);
    modInternetFileFunctions::CurlSession curl(limits);
    curl.open();
    session.answer = [&](const std::u16string &address) {
        const std::string base = server.baseUrl();
        return curl.downloadPage(
            std::u16string(base.begin(), base.end()) + address.substr(address.find(u"/finance/")));
    };
    MainWindow &window = startShown();
    target = &window;
    window.cboFromCurrency->setCurrentText(jpy);
    window.cboToCurrency->setCurrentText(gbp);
    QTest::mouseClick(window.Check2, Qt::LeftButton);
    EXPECT_EQ(window.Text2->text(), toQString(core::noResultText()));
    EXPECT_EQ(pointer(), core::MousePointer::Default);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unloaded(); }, 10000));
    const QByteArray file = readFile(settingsFile());
    EXPECT_TRUE(file.contains("FromCurrency=" + jpy.toUtf8())) << file.toStdString();
    EXPECT_TRUE(file.contains("ToCurrency=" + gbp.toUtf8())) << file.toStdString();
    EXPECT_FALSE(session.isOpen);
    server.stop();
}

} // namespace

// Nothing listens on the converter host. On a loopback host the press starts the
// service once (the real one, built beside the tests) and shows its sentence; a
// host that is not loopback (0.0.0.0 is refused on this machine too, so nothing
// leaves it) or a service that never comes up leaves the usual sentence. A service
// that holds its first answer for a stalling refresh still answers in time.
#ifdef KORVALUX_SERVICE_PROGRAM
TEST_F(MainWindowTest, ARefusedLoopbackHostStartsTheServiceAndAsksAgain)
{
    // Feeds that take the connection and never answer: a socket nobody accepts on.
    const int stallingFeed = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in feedAddress {};
    feedAddress.sin_family = AF_INET;
    feedAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t feedLength = sizeof feedAddress;
    ASSERT_EQ(::bind(stallingFeed, reinterpret_cast<sockaddr *>(&feedAddress), feedLength), 0);
    ASSERT_EQ(::listen(stallingFeed, 8), 0);
    ASSERT_EQ(
        ::getsockname(stallingFeed, reinterpret_cast<sockaddr *>(&feedAddress), &feedLength), 0);
    const QString feedUrl = QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(feedAddress.sin_port));
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8()); // the started service inherits it
    // Each start goes through the real starter; the rows count them.
    class CountingStarter : public core::ServiceStarter
    {
    public:
        std::vector<std::string> extra; // after --listen and the idle exit
        bool comesUp = true;
        int starts = 0;
        pid_t group = 0;
        std::string host;
        bool start(std::chrono::milliseconds within) override
        {
            ++starts;
            if (!comesUp)
                return false;
            const auto listen = core::loopbackListenAddress(host);
            std::vector<std::string> arguments
                = {"--listen", core::formatHostPort(*listen), "--exit-idle-time", "300", "--quiet"};
            arguments.insert(arguments.end(), extra.begin(), extra.end());
            localservice::ServiceProgram program(host, KORVALUX_SERVICE_PROGRAM, arguments);
            core::ServiceStartRule rule(program);
            const bool up = rule.start(within);
            group = program.processGroup();
            return up;
        }
    };
    struct Row {
        const char *host; // %1 is a free port
        bool comesUp;
        std::vector<std::string> extra;
        int starts;
        bool converts;
    };
    // The snapshot's rates are stale, so the second holds its first answer for a
    // refresh that never ends: the press must still end within its budget.
    const std::string feed = feedUrl.toStdString();
    const Row rows[] = {
        {"127.0.0.1:%1", true, {}, 1, true},
        {"127.0.0.1:%1", true,
            {"--refresh", "--ecb-url", feed + "ecb.xml", "--daily-url", feed + "daily.json"}, 1,
            true},
        {"0.0.0.0:%1", false, {}, 0, false},
        {"localhost:%1", false, {}, 1, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.host);
        const quint16 port = freeLoopbackPort();
        ASSERT_NE(port, 0);
        host = QString::fromLatin1(row.host).arg(port);
        modInternetFileFunctions::CurlSession curl;
        CountingStarter starter;
        starter.extra = row.extra;
        starter.comesUp = row.comesUp;
        starter.host = host.toStdString();
        core::ServiceStartingSession real(curl, curl, starter, starter.host);
        realSession = &real;
        MainWindow &window = startShown();
        window.Text1->setText(QStringLiteral("1.00"));
        window.cboFromCurrency->setCurrentText(usd);
        window.cboToCurrency->setCurrentText(eur);
        QTest::mouseClick(window.Check2, Qt::LeftButton);
        EXPECT_EQ(starter.starts, row.starts);
        const QString text = window.Text2->text();
        if (row.converts) {
            EXPECT_TRUE(text.startsWith(QStringLiteral("1.00 USD = ")) && text.contains(u" EUR ("))
                << text.toStdString();
        } else {
            EXPECT_EQ(text, toQString(core::noAnswerText()));
        }
        m_window->close();
        m_window.reset();
        realSession = nullptr;
        stopGroup(starter.group);
    }
    ::close(stallingFeed);
    if (savedCache.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", savedCache);
}
#endif
