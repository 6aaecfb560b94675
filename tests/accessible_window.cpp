// The main window for out-of-process accessibility checks: the real MainWindow
// with its production accessibility, but a fixed converter page instead of the
// network and its settings in memory, so the AT-SPI test and a
// screen reader can press Convert without a converter service. Runs until its
// window is closed or it is ended.
#include "app/main_window.h"
#include "fake_ports.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalux"));
    fakes::Session session;
    session.page = u"<td align=left>1.00 USD = <b>0.9200 EUR</b> (2026-07-06)</td>";
    fakes::Settings settings;
    fakes::Browser browser;
    fakes::FixedDraw random;
    MainWindow window({session, settings, browser, random, u"127.0.0.1:8765", QString()});
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
