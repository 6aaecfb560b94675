// The main window for out-of-process accessibility checks: the real MainWindow
// with its production accessibility, but a fixed converter page instead of the
// network and its settings in a temporary folder, so the AT-SPI test and a
// screen reader can press Convert without a converter service. Runs until its
// window is closed or it is ended.
#include "app/main_window.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalux"));
    QTemporaryDir dir;
    MainWindowSeams seams;
    seams.download = [](const QString &) {
        return QStringLiteral("<td align=left>1.00 USD = <b>0.9200 EUR</b> (2026-07-06)</td>");
    };
    seams.settingsFolder = dir.path();
    seams.draw = [] { return 0.5; };
    seams.launch = [](const QString &) {};
    MainWindow window(seams);
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
