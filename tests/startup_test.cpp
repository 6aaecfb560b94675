// Tests of the start-up utilities: the file test, loading
// a cursor file (the shipped HAND-M.CUR and files that only look like one),
// and centring a window on the offscreen platform's screen.
#include "app/startup.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace
{

TEST(FileExists, FindsOnlyFilesThatAreThere)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("HAND-M.CUR"));
    const QString spaced = dir.filePath(QStringLiteral("a folder/Kürsor Hand.cur"));
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a folder")));
    for (const QString &path : {plain, spaced}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("nowhere")), dangling));

    const struct {
        QString path;
        bool exists;
    } cases[] = {
        {plain, true},
        {spaced, true},
        {dir.filePath(QStringLiteral("hand-m.cur")), false}, // names are case-sensitive here
        {dir.filePath(QStringLiteral("missing/HAND-M.CUR")), false},
        {dangling, false},
        {QString(), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(startup::FileExists(c.path), c.exists) << c.path.toStdString();
}

// A cursor file in the classic layout: directory, one entry, 32-bit bitmap and
// AND mask. The entry's fields can be bent to make broken files.
struct CursorShape {
    int side = 32;
    quint16 type = 2;
    quint16 hotX = 0;
    quint16 hotY = 0;
    qint32 extraImageOffset = 0; // added to the true offset
    int truncateTo = -1; // keep only this many bytes
};

QByteArray cursorBytes(const CursorShape &s)
{
    QByteArray out;
    auto put16 = [&](quint32 v) {
        out.append(char(v & 0xff));
        out.append(char((v >> 8) & 0xff));
    };
    auto put32 = [&](quint32 v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    const quint32 colour = quint32(s.side * s.side * 4);
    const quint32 mask = quint32(s.side * ((s.side + 31) / 32) * 4);
    put16(0);
    put16(s.type);
    put16(1);
    out.append(char(s.side)).append(char(s.side)).append(char(0)).append(char(0));
    put16(s.hotX);
    put16(s.hotY);
    put32(40 + colour + mask);
    put32(quint32(22 + s.extraImageOffset));
    put32(40);
    put32(quint32(s.side));
    put32(quint32(s.side * 2));
    put16(1);
    put16(32);
    for (int i = 0; i < 6; ++i)
        put32(i == 1 ? colour + mask : 0);
    for (int i = 0; i < s.side * s.side; ++i)
        out.append("\x40\x80\xc0\xff", 4); // opaque, every pixel
    out.append(QByteArray(int(mask), '\0'));
    if (s.truncateTo >= 0)
        out.truncate(s.truncateTo);
    return out;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// The cursor beside the program wins (a build tree); an installation keeps it in
// share/korvalux under the same prefix as bin/.
TEST(HandCursorPath, BesideTheProgramFirstThenInTheSharedFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        const char *why;
        bool beside;
        bool shared;
        const char *found; // relative to the prefix
    };
    const Row rows[] = {
        {"build tree", true, false, "bin/HAND-M.CUR"},
        {"installed", false, true, "share/korvalux/HAND-M.CUR"},
        {"both", true, true, "bin/HAND-M.CUR"},
        {"neither", false, false, "bin/HAND-M.CUR"},
    };
    int n = 0;
    for (const Row &row : rows) {
        const QString prefix = dir.filePath(QString::number(++n));
        ASSERT_TRUE(QDir(prefix).mkpath(QStringLiteral("bin")));
        ASSERT_TRUE(QDir(prefix).mkpath(QStringLiteral("share/korvalux")));
        for (const auto &[wanted, path] : {std::pair {row.beside, "bin/HAND-M.CUR"},
                 std::pair {row.shared, "share/korvalux/HAND-M.CUR"}}) {
            QFile file(prefix + u'/' + QString::fromLatin1(path));
            if (wanted) {
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            }
        }
        EXPECT_EQ(startup::handCursorPath(prefix + QStringLiteral("/bin")),
            prefix + u'/' + QString::fromLatin1(row.found))
            << row.why;
    }
}

TEST(LoadCursorFile, QtReadsCursorImages)
{
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("cur"))
        << "the ico image plugin (libqico) is missing";
}

TEST(LoadCursorFile, TakesImageAndHotspotFromTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        int side;
        quint16 hotX, hotY;
    } cases[] = {{32, 0, 0}, {32, 10, 0}, {32, 31, 31}, {16, 3, 12}, {48, 40, 7}};
    for (const auto &c : cases) {
        CursorShape shape;
        shape.side = c.side;
        shape.hotX = c.hotX;
        shape.hotY = c.hotY;
        const QString path = writeFile(dir, QStringLiteral("c.cur"), cursorBytes(shape));
        const std::optional<QCursor> cursor = startup::loadCursorFile(path);
        ASSERT_TRUE(cursor.has_value()) << c.side << " " << c.hotX << "," << c.hotY;
        EXPECT_EQ(cursor->shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor->pixmap().size(), QSize(c.side, c.side));
        EXPECT_EQ(cursor->hotSpot(), QPoint(c.hotX, c.hotY));
    }
}

TEST(LoadCursorFile, IgnoresFilesThatAreNoCursor)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CursorShape icon;
    icon.type = 1; // an .ico: bytes 10 and 12 are no hotspot there
    CursorShape truncated;
    truncated.truncateTo = 100;
    CursorShape headerOnly;
    headerOnly.truncateTo = 22;
    CursorShape offsetPastEnd;
    offsetPastEnd.extraImageOffset = 1 << 20;
    CursorShape hotspotOutside;
    hotspotOutside.hotX = 32;
    const QString fifo = dir.filePath(QStringLiteral("fifo.cur"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QImage png(8, 8, QImage::Format_ARGB32);
    png.fill(Qt::red);
    const QString pngPath = dir.filePath(QStringLiteral("png.cur"));
    ASSERT_TRUE(png.save(pngPath, "PNG"));

    const struct {
        const char *what;
        QString path;
    } cases[] = {
        {"text", writeFile(dir, "text.cur", "Not a cursor at all, just some words.\n")},
        {"empty", writeFile(dir, "empty.cur", QByteArray())},
        {"icon", writeFile(dir, "icon.cur", cursorBytes(icon))},
        {"truncated image", writeFile(dir, "truncated.cur", cursorBytes(truncated))},
        {"directory only", writeFile(dir, "header.cur", cursorBytes(headerOnly))},
        {"image offset past the end", writeFile(dir, "offset.cur", cursorBytes(offsetPastEnd))},
        {"hotspot outside the image", writeFile(dir, "hotspot.cur", cursorBytes(hotspotOutside))},
        {"png", pngPath},
        {"missing", dir.filePath(QStringLiteral("missing.cur"))},
        {"a folder", dir.path()},
        {"a FIFO, which would block the reader", fifo},
        {"a character device", QStringLiteral("/dev/zero")},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(startup::loadCursorFile(c.path).has_value()) << c.what;
}

TEST(LoadCursorFile, ShippedHandPointsWithItsHotspot)
{
    const std::optional<QCursor> hand
        = startup::loadCursorFile(QStringLiteral(KORVALUX_HAND_CURSOR_FILE));
    ASSERT_TRUE(hand.has_value());
    const QImage image = hand->pixmap().toImage();
    EXPECT_EQ(image.size(), QSize(32, 32));
    const QPoint hot = hand->hotSpot();
    // The hotspot sits on the outermost drawn pixel of the finger: drawn
    // itself, with nothing drawn above it.
    EXPECT_EQ(qAlpha(image.pixel(hot)), 255);
    for (int y = 0; y < hot.y(); ++y)
        EXPECT_EQ(qAlpha(image.pixel(hot.x(), y)), 0) << "row " << y;
    // Outline and palm: both black and white pixels are drawn.
    bool black = false, white = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            black |= qAlpha(p) == 255 && qGray(p) == 0;
            white |= qAlpha(p) == 255 && qGray(p) == 255;
        }
    EXPECT_TRUE(black && white);
}

TEST(CentreWindow, PutsTheFrameInTheMiddleOfTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const struct {
        QSize size;
        bool shown;
    } cases[] = {
        {{378, 235}, false}, // the main window's size, before its first show
        {{378, 235}, true}, {{101, 51}, false}, // odd differences round towards the top left
        {screen.size(), false},
        {{screen.width() + 40, 100}, false}, // wider than the screen: overhangs both sides
    };
    for (const auto &c : cases) {
        QWidget window;
        window.setFixedSize(c.size);
        window.move(3, 5);
        if (c.shown) {
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        }
        startup::CentreWindow(window);
        const QRect frame = window.frameGeometry();
        EXPECT_EQ(frame.left() - screen.left(), (screen.width() - frame.width()) / 2)
            << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(frame.top() - screen.top(), (screen.height() - frame.height()) / 2)
            << c.size.width() << "x" << c.size.height();
        EXPECT_LE(std::abs((screen.right() - frame.right()) - (frame.left() - screen.left())), 1);
    }
}

} // namespace
