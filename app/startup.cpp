// Start-up utilities of the main window. The window's load handler calls them
// in its fixed order: centre the window on its screen, find and load the hand
// cursor (beside the executable, else in the installation's share folder).
// The .cur image is decoded by Qt's ico image plugin; the hotspot comes from the
// file's own directory entry, which that plugin does not report.
#include "app/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMargins>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#ifdef KORVALUX_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

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

#ifdef KORVALUX_HAVE_XCB

struct FreeDeleter {
    void operator()(void *reply) const { std::free(reply); }
};
template<typename Reply> using XcbReply = std::unique_ptr<Reply, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit values of a property; empty when it is not set.
std::vector<std::uint32_t> cardinals(
    xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto *values = static_cast<const std::uint32_t *>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(
        values, values + xcb_get_property_value_length(reply.get()) / 4);
}

// The frame an EWMH window manager will put around the window, asked for before
// the window is mapped (_NET_REQUEST_FRAME_EXTENTS), so that the first placement
// is already the final one. nullopt when not on X11 or no window manager answers.
std::optional<QMargins> frameExtentsBeforeMapping(QWidget &window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    const xcb_atom_t request = internAtom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = internAtom(connection, "_NET_FRAME_EXTENTS");
    if (supported == XCB_ATOM_NONE || request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::vector<std::uint32_t> offered
        = cardinals(connection, root, supported, XCB_ATOM_ATOM);
    if (std::find(offered.begin(), offered.end(), request) == offered.end())
        return std::nullopt;

    // Creates the native window, still unmapped, with its size and decoration hints.
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, 0, root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char *>(&message));
    xcb_flush(connection);

    // Qt's own thread reads the connection's events, so poll the property instead
    // of waiting for its change; a window manager answers within milliseconds.
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + 500ms;
    while (std::chrono::steady_clock::now() < giveUp) {
        const std::vector<std::uint32_t> sides
            = cardinals(connection, id, extents, XCB_ATOM_CARDINAL);
        if (sides.size() == 4) {
            const double ratio = window.devicePixelRatioF();
            const auto logical = [ratio](std::uint32_t side) {
                return static_cast<int>(std::lround(side / ratio));
            };
            return QMargins(
                logical(sides[0]), logical(sides[2]), logical(sides[1]), logical(sides[3]));
        }
        std::this_thread::sleep_for(5ms);
    }
    return std::nullopt;
}

#else

std::optional<QMargins> frameExtentsBeforeMapping(QWidget &)
{
    return std::nullopt;
}

#endif

} // namespace

void CentreWindow(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect screenArea = screen->geometry();
    if (!window.isVisible()) {
        if (const std::optional<QMargins> frame = frameExtentsBeforeMapping(window)) {
            const QSize outer = window.size().grownBy(*frame);
            const QPoint frameCorner(screenArea.x() + (screenArea.width() - outer.width()) / 2,
                screenArea.y() + (screenArea.height() - outer.height()) / 2);
            // The client area inside that frame; setGeometry never counts a frame.
            window.setGeometry(
                QRect(frameCorner + QPoint(frame->left(), frame->top()), window.size()));
            return;
        }
    }
    // Without a window manager that reports its frame, the frame geometry is the
    // bare window until the window is shown, and the client area is centred.
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

} // namespace startup
