// QDesktopServices asks the desktop (xdg-open, the portal under Flatpak) for the
// browser; QTime gives the local time of day to the millisecond.
#include "app/desktop_ports.h"

#include <QDesktopServices>
#include <QString>
#include <QTime>
#include <QUrl>

void DesktopBrowser::open(const std::u16string &address)
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf16(address.data(), qsizetype(address.size()))));
}

double TimeOfDayRandom::draw()
{
    return core::drawSeededWith(
        static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay()));
}
