// The main window: Form1 with its behaviour. Form_Load runs the start-up
// (session, lists, centring, hand cursor, home page, restored choices, caption)
// and Form_Unload the shut-down (save, close the session, end). The handlers are
// thin over the catalogue, the conversion, the settings store and the start-up
// utilities; whatever reaches outside the process is a seam in MainWindowSeams,
// with the production behaviour as its default.
#pragma once

#include "app/startup.h"
#include "net/conversion_request.h"
#include "net/local_service.h"
#include "settings/settings_store.h"
#include "ui/form1.h"

#include <QCoreApplication>
#include <QCursor>
#include <QString>

#include <functional>
#include <optional>

// Appends the 65 entries to cboFromCurrency, then to cboToCurrency.
void FillCurrencyLists(Form1 &form);

// What the window reaches outside the process through; the defaults are the
// production behaviour.
struct MainWindowSeams {
    // Empty: the real download over the Internet session, which starts the
    // service through startService when a loopback host refuses the connection.
    conversion::DownloadFunction download;
    QString converterHost = conversion::converterHost();
    localservice::ServiceLauncher startService = localservice::launchInstalledService;
    QString settingsFolder = settings::SettingsStore::defaultFolder();
    startup::RandomDraw draw = startup::timerSeededDraw();
    startup::BrowserLauncher launch = startup::openInBrowser;
    QString handCursorPath = startup::handCursorPath();
    // Called last by Form_Unload; production leaves the event loop at once.
    std::function<void()> endProcess = [] { QCoreApplication::exit(0); };
};

class MainWindow : public Form1
{
    Q_OBJECT

public:
    // The window's mouse pointer states.
    enum MousePointer { DefaultPointer = 0, BusyPointer = 11, CustomPointer = 99 };

    explicit MainWindow(MainWindowSeams seams = MainWindowSeams());
    ~MainWindow() override;

    int mousePointer() const { return m_mousePointer; }
    // The hand cursor Form_Load installed, if any.
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();
    void Check2_Click();
    void Check1_Click();
    void Text1_GotFocus();
    void Form_MouseMove(const QPoint &pos);
    void Frame2_MouseMove(const QPoint &pos);
    void Check1_MouseMove();
    void Check2_MouseMove();

    void setMousePointer(int state);
    void restoreChoice(QComboBox *list, const QString &key, const QString &fallback);

    MainWindowSeams m_seams;
    settings::SettingsStore m_settings;
    std::optional<QCursor> m_mouseIcon;
    int m_mousePointer = DefaultPointer;
    bool m_selectAllOnRelease = false;
    bool m_unloaded = false;
};
