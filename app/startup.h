// Start-up utilities of the main window: centring it on the screen, testing
// whether a file exists and loading the hand cursor from its .cur file.
#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QString>

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

} // namespace startup
