// Korvalux: the desktop currency converter. The main window is the whole
// program; its load handler does the start-up and closing it ends the process.
// The command line is not read (Qt takes its own options, such as -platform).
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalux"));
    MainWindow window;
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
