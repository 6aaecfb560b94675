// The baseline of the start-up benchmark: the least a Qt Widgets program with
// libcurl linked can do, one empty window of Korvalux's size. With --text it
// also shows one bold Arial label, so the font set-up that any window with
// text pays is measured apart from Korvalux's own work.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <curl/curl.h>

#include <cstring>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Keeps libcurl loaded, as it is in korvalux, without doing any work.
    if (!curl_version_info(CURLVERSION_NOW))
        return 1;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Qt"));
    window.setFixedSize(378, 235);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto *label = new QLabel(QStringLiteral("Amount to Convert:"), &window);
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(9);
        font.setBold(true);
        label->setFont(font);
        label->move(8, 12);
    }
    window.show();
    return app.exec();
}
