// Placeholder bodies; the real start-up utilities replace these.
#include "app/startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

namespace startup {

void CentreWindow(QWidget &) { }

bool FileExists(const QString &path)
{
    return QFileInfo::exists(path);
}

QString handCursorPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/HAND-M.CUR");
}

std::optional<QCursor> loadCursorFile(const QString &)
{
    return std::nullopt;
}

QString homePageAddress()
{
    return QString();
}

RandomDraw timerSeededDraw()
{
    return [] { return 0.0; };
}

void openInBrowser(const QString &) { }

bool PromoteHomePage(const RandomDraw &, const BrowserLauncher &)
{
    return false;
}

} // namespace startup
