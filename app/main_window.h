// The main window: Form1 as the Qt view of the shared behaviour
// (core/form1_behaviour.h), which holds Form_Load, Form_Unload, the buttons,
// select-on-focus and the pointer rules for both windows. This class turns Qt's
// events into those handlers and serves the view interface with its widgets;
// whatever reaches outside the process comes in as the core's ports, which
// app/main.cpp puts together and tests replace with fakes.
#pragma once

#include "core/form1_behaviour.h"
#include "ui/form1.h"

#include <QCursor>
#include <QString>

#include <optional>

struct MainWindowPorts {
    core::InternetSession &session;
    core::SettingsStore &settings;
    core::Browser &browser;
    core::RandomSource &random;
    std::u16string host;
    QString handCursorPath;
    // Production leaves the event loop when the window has unloaded; tests go on.
    bool quitWhenClosed = true;
};

class MainWindow : public Form1, public core::Form1View
{
    Q_OBJECT

public:
    // Runs Form_Load.
    explicit MainWindow(MainWindowPorts ports);
    ~MainWindow() override;

    core::Form1Behaviour &behaviour() { return m_behaviour; }
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
    void showEvent(QShowEvent *event) override;
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

    QString m_handCursorPath;
    bool m_quitWhenClosed;
    std::optional<QCursor> m_mouseIcon;
    bool m_overrideCursor = false;
    bool m_shown = false;
    core::Form1Behaviour m_behaviour;
};
