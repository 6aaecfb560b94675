// Start-up utilities of the main window: centring it on the screen, testing
// whether a file exists, loading the hand cursor from its .cur file, and the
// occasional opening of the home page. The random draw and the browser launch
// are parameters so that tests never open a browser.
#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace startup
{

// Places the window, frame included, in the middle of its screen.
void CentreWindow(QWidget &window);

// True when the file can be found.
bool FileExists(const QString &path);

// HAND-M.CUR beside the program when it is there, else where an installation
// puts it: <program folder>/../share/korvalux/HAND-M.CUR.
QString handCursorPath(const QString &programDir = QCoreApplication::applicationDirPath());

// The cursor in a .cur file, with the hotspot its directory entry gives;
// nullopt when the file cannot be read as a cursor.
std::optional<QCursor> loadCursorFile(const QString &path);

// The converter service's own home page on the configured host.
QString homePageAddress();

using RandomDraw = std::function<double()>; // 0 <= r < 1
using BrowserLauncher = std::function<void(const QString &)>; // opens an address, does not wait

// A draw seeded from the seconds since midnight.
RandomDraw timerSeededDraw();
// Opens the address in the user's default browser.
void openInBrowser(const QString &address);

// Opens the home page when Int(r * 100) + 1 is 7; returns whether it did.
bool PromoteHomePage(
    const RandomDraw &draw = timerSeededDraw(), const BrowserLauncher &launch = openInBrowser);

} // namespace startup
