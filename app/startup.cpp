// Start-up utilities of the main window. The window's load handler calls them
// in its fixed order: centre the window on its screen, find and load the hand
// cursor (beside the executable, else in the installation's share folder), and
// now and then open the converter service's home page in the user's browser.
// The .cur image is decoded by Qt's ico image plugin; the hotspot comes from the
// file's own directory entry, which that plugin does not report.
#include "app/startup.h"

#include "net/conversion_request.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QTime>
#include <QUrl>
#include <QWidget>

#include <cmath>
#include <cstdint>
#include <random>

namespace startup
{

namespace
{

// ICONDIR (6 bytes) followed by the first ICONDIRENTRY (16 bytes).
constexpr qint64 cursorHeaderSize = 22;
constexpr quint16 cursorResourceType = 2;

quint16 readLittle16(const QByteArray &bytes, int offset)
{
    return static_cast<quint16>(
        static_cast<quint8>(bytes[offset]) | static_cast<quint8>(bytes[offset + 1]) << 8);
}

quint32 readLittle32(const QByteArray &bytes, int offset)
{
    return static_cast<quint32>(readLittle16(bytes, offset))
        | static_cast<quint32>(readLittle16(bytes, offset + 2)) << 16;
}

} // namespace

void CentreWindow(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    // The frame is only known once the window system has decorated the window;
    // before the first show the frame geometry is the bare window.
    const QRect screenArea = screen->geometry();
    const QSize outer = window.frameGeometry().size();
    const int left = screenArea.x() + (screenArea.width() - outer.width()) / 2;
    const int top = screenArea.y() + (screenArea.height() - outer.height()) / 2;
    window.move(left, top); // a top-level widget's position is that of its frame
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString handCursorPath(const QString &programDir)
{
    const QString beside = programDir + QStringLiteral("/HAND-M.CUR");
    if (FileExists(beside))
        return beside;
    // Relative to the program, so an installation under any prefix finds it.
    const QString installed
        = QDir::cleanPath(programDir + QStringLiteral("/../share/korvalux/HAND-M.CUR"));
    return FileExists(installed) ? installed : beside;
}

std::optional<QCursor> loadCursorFile(const QString &path)
{
    // Opening a FIFO or a device would block start-up or read without end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(cursorHeaderSize);
    file.close();
    if (header.size() < cursorHeaderSize)
        return std::nullopt;

    const quint16 reserved = readLittle16(header, 0);
    const quint16 type = readLittle16(header, 2);
    const quint16 count = readLittle16(header, 4);
    const quint16 hotX = readLittle16(header, 10);
    const quint16 hotY = readLittle16(header, 12);
    const quint32 imageBytes = readLittle32(header, 14);
    const quint32 imageOffset = readLittle32(header, 18);
    // An .ico shares the layout but has planes and bit depth where a cursor
    // keeps its hotspot, so only resource type 2 is a cursor.
    if (reserved != 0 || type != cursorResourceType || count == 0 || imageBytes == 0
        || imageOffset < cursorHeaderSize
        || static_cast<quint64>(imageOffset) + imageBytes > static_cast<quint64>(file.size()))
        return std::nullopt;

    QImageReader reader(path, "cur");
    reader.setAutoDetectImageFormat(false); // load the ico plugin alone, not every image plugin
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (hotX >= image.width() || hotY >= image.height())
        return std::nullopt;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

QString homePageAddress()
{
    return QStringLiteral("http://") + conversion::converterHost() + QStringLiteral("/");
}

RandomDraw timerSeededDraw()
{
    return [] {
        // Seeded afresh at each draw from the time of day, millisecond resolution.
        const auto sinceMidnight
            = static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay());
        std::mt19937 generator(sinceMidnight);
        // 32 random bits over 2^32 stays below 1 however the bits fall.
        return static_cast<double>(generator()) / 4294967296.0;
    };
}

void openInBrowser(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address));
}

bool PromoteHomePage(const RandomDraw &draw, const BrowserLauncher &launch)
{
    if (!draw || !launch)
        return false;
    const double r = draw();
    if (!(r >= 0.0 && r < 1.0)) // also false for NaN
        return false;
    const int n = static_cast<int>(std::floor(r * 100.0)) + 1;
    if (n != 7)
        return false;
    launch(homePageAddress());
    return true;
}

} // namespace startup
