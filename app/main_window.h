// The main window: Form1 as the Qt view of the shared behaviour
// (core/form1_behaviour.h), which holds Form_Load, Form_Unload, the buttons,
// select-on-focus and the pointer rules for both windows. This class turns Qt's
// events into those handlers and serves the view interface with its widgets;
// whatever reaches outside the process is a seam in MainWindowSeams, with the
// production behaviour as its default, handed to the core through small adapters.
#pragma once

#include "app/startup.h"
#include "core/form1_behaviour.h"
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

// The seams as the core's ports.
class SeamSession : public core::InternetSession
{
public:
    explicit SeamSession(const MainWindowSeams &seams)
        : m_seams(seams)
    {
    }
    void open() override;
    void close() override;
    std::u16string downloadPage(const std::u16string &address) override;

private:
    const MainWindowSeams &m_seams;
};

class SeamSettings : public core::SettingsStore
{
public:
    explicit SeamSettings(const QString &folder)
        : m_store(folder)
    {
    }
    std::u16string getSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key) override;
    void saveSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value) override;

private:
    settings::SettingsStore m_store;
};

class SeamBrowser : public core::Browser
{
public:
    explicit SeamBrowser(const MainWindowSeams &seams)
        : m_seams(seams)
    {
    }
    void open(const std::u16string &address) override;

private:
    const MainWindowSeams &m_seams;
};

class SeamRandom : public core::RandomSource
{
public:
    explicit SeamRandom(const MainWindowSeams &seams)
        : m_seams(seams)
    {
    }
    double draw() override;

private:
    const MainWindowSeams &m_seams;
};

class MainWindow : public Form1, public core::Form1View
{
    Q_OBJECT

public:
    // The window's mouse pointer states.
    enum MousePointer { DefaultPointer = 0, BusyPointer = 11, CustomPointer = 99 };

    explicit MainWindow(MainWindowSeams seams = MainWindowSeams());
    ~MainWindow() override;

    int mousePointer() const { return static_cast<int>(m_behaviour.mousePointer()); }
    // The hand cursor Form_Load installed, if any.
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }

    // core::Form1View
    void addEntry(core::CurrencyList list, const std::u16string &entry) override;
    bool chooseEntry(core::CurrencyList list, std::u16string_view text) override;
    std::u16string chosenEntry(core::CurrencyList list) const override;
    std::u16string amount() const override;
    void focusAmount() override;
    void selectWholeAmount() override;
    void showResult(const std::u16string &text) override;
    std::u16string result() const override;
    bool isPressed(core::PushButton button) const override;
    void setPressed(core::PushButton button, bool pressed) override;
    void setCaption(std::u16string_view caption) override;
    void centreOnScreen() override;
    bool loadHandCursor() override;
    void showPointer(core::MousePointer pointer) override;
    void putOnClipboard(const std::u16string &text) override;
    void announce(const std::u16string &text) override;
    void processPendingEvents() override;
    void endProcess() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load() { m_behaviour.Form_Load(); }
    void Form_Unload() { m_behaviour.Form_Unload(); }
    void Check2_Click() { m_behaviour.Check2_Click(); }
    void Check1_Click() { m_behaviour.Check1_Click(); }
    void Form_MouseMove(const QPoint &pos);
    void Frame2_MouseMove(const QPoint &pos);

    QComboBox *listOf(core::CurrencyList list) const;
    QPushButton *buttonOf(core::PushButton button) const;

    MainWindowSeams m_seams;
    SeamSession m_session {m_seams};
    SeamSettings m_settings {m_seams.settingsFolder};
    SeamBrowser m_browser {m_seams};
    SeamRandom m_random {m_seams};
    std::optional<QCursor> m_mouseIcon;
    bool m_overrideCursor = false;
    core::Form1Behaviour m_behaviour;
};
