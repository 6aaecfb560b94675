// Korvalux: the desktop currency converter. The Qt window over the shared core,
// with libcurl, the INI settings and the desktop behind it, and the converter
// service started on demand where no systemd socket does it. The command line is
// not read (Qt takes its own options, such as -platform and -style).
#include "app/desktop_ports.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "core/converter_host.h"
#include "core/download.h"
#include "core/service_start.h"
#include "net/internet_session.h"
#include "net/service_starter.h"
#include "settings/ini_settings.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalux"));
    const std::string_view host = core::converterHost();
    modInternetFileFunctions::CurlSession curl;
    localservice::ServiceProgram service(host);
    core::ServiceStartRule starter(service);
    core::ServiceStartingSession session(curl, curl, starter, host);
    settings::IniSettings settings;
    DesktopBrowser browser;
    TimeOfDayRandom random;
    MainWindow window({session, settings, browser, random, std::u16string(host.begin(), host.end()),
        startup::handCursorPath()});
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
