// The baseline of the start-up benchmark: the least a Qt Widgets program with
// libcurl linked can do, one empty window of Korvalux's size. Korvalux's own
// start-up time and memory are compared with this program's.
#include <QApplication>
#include <QWidget>

#include <curl/curl.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Keeps libcurl loaded, as it is in korvalux, without doing any work.
    if (!curl_version_info(CURLVERSION_NOW))
        return 1;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Qt"));
    window.setFixedSize(378, 235);
    window.show();
    return app.exec();
}
