// The main window as the Qt view of the shared behaviour. Check1 and Check2 are
// checkable push buttons whose toggled signal is their Click event: it fires for
// the program's own setChecked(false) too, nested, which is what makes each press
// act once. The pointer rules hang on mouse tracking of the window, Frame2 and
// the two buttons; a move that Qt propagates up from a child is told apart by
// childAt. The focus reasons Qt gives tell the core which focus moves are real.
#include "app/main_window.h"

#include "app/startup.h"
#include "ui/accessibility.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <utility>

namespace
{

QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

std::u16string fromQString(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

} // namespace

MainWindow::MainWindow(MainWindowPorts ports)
    : m_handCursorPath(std::move(ports.handCursorPath))
    , m_quitWhenClosed(ports.quitWhenClosed)
    , m_behaviour(*this,
          {ports.session, ports.settings, ports.browser, ports.random, std::move(ports.host)})
{
    for (QWidget *widget : {static_cast<QWidget *>(this), static_cast<QWidget *>(Frame2),
             static_cast<QWidget *>(Check1), static_cast<QWidget *>(Check2)})
        widget->setMouseTracking(true);
    for (QObject *watched : {static_cast<QObject *>(Text1), static_cast<QObject *>(Frame2),
             static_cast<QObject *>(Check1), static_cast<QObject *>(Check2)})
        watched->installEventFilter(this);

    connect(Check2, &QPushButton::toggled, this, &MainWindow::Check2_Click);
    connect(Check1, &QPushButton::toggled, this, &MainWindow::Check1_Click);
    connect(Text1, &QLineEdit::returnPressed, this, [this] { m_behaviour.amountEnterPressed(); });

    Form_Load();
}

MainWindow::~MainWindow()
{
    if (m_overrideCursor)
        QGuiApplication::restoreOverrideCursor();
}

// Once the first show has been handled, so that the warm-up shares nothing with
// the window's start.
void MainWindow::showEvent(QShowEvent *event)
{
    Form1::showEvent(event);
    if (!std::exchange(m_shown, true))
        QTimer::singleShot(0, this, [this] { m_behaviour.windowShown(); });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

QComboBox *MainWindow::listOf(core::CurrencyList list) const
{
    return list == core::CurrencyList::From ? cboFromCurrency : cboToCurrency;
}

QPushButton *MainWindow::buttonOf(core::PushButton button) const
{
    return button == core::PushButton::Convert ? Check2 : Check1;
}

void MainWindow::addEntry(core::CurrencyList list, const std::u16string &entry)
{
    listOf(list)->addItem(toQString(entry));
}

bool MainWindow::chooseEntry(core::CurrencyList list, std::u16string_view text)
{
    const int index = listOf(list)->findText(toQString(text));
    if (index < 0)
        return false;
    listOf(list)->setCurrentIndex(index);
    return true;
}

std::u16string MainWindow::chosenEntry(core::CurrencyList list) const
{
    return fromQString(listOf(list)->currentText());
}

std::u16string MainWindow::amount() const
{
    return fromQString(Text1->text());
}

void MainWindow::focusAmount()
{
    Text1->setFocus(Qt::OtherFocusReason);
}

void MainWindow::selectWholeAmount()
{
    Text1->selectAll();
}

void MainWindow::showResult(const std::u16string &text)
{
    Text2->setText(toQString(text));
    // setText leaves the caret, and so the view, at the end of a long sentence.
    Text2->setCursorPosition(0);
}

std::u16string MainWindow::result() const
{
    return fromQString(Text2->text());
}

bool MainWindow::isPressed(core::PushButton button) const
{
    return buttonOf(button)->isChecked();
}

void MainWindow::setPressed(core::PushButton button, bool pressed)
{
    buttonOf(button)->setChecked(pressed);
}

void MainWindow::setCaption(std::u16string_view caption)
{
    setWindowTitle(toQString(caption));
}

void MainWindow::centreOnScreen()
{
    startup::CentreWindow(*this);
}

bool MainWindow::loadHandCursor()
{
    if (startup::FileExists(m_handCursorPath))
        m_mouseIcon = startup::loadCursorFile(m_handCursorPath);
    return m_mouseIcon.has_value();
}

void MainWindow::showPointer(core::MousePointer pointer)
{
    if (m_overrideCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_overrideCursor = false;
    }
    switch (pointer) {
    case core::MousePointer::Busy:
        // An override cursor reaches the window system at once; a widget cursor
        // would not be drawn while the download blocks the thread. Input that
        // arrives meanwhile waits until the conversion is over.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_overrideCursor = true;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        break;
    case core::MousePointer::Custom:
        setCursor(m_mouseIcon.value_or(QCursor(Qt::ArrowCursor)));
        break;
    case core::MousePointer::Default:
        unsetCursor();
        break;
    }
}

void MainWindow::putOnClipboard(const std::u16string &text)
{
    // setText replaces every format the clipboard held, so no separate clear.
    QGuiApplication::clipboard()->setText(toQString(text));
}

void MainWindow::announce(const std::u16string &text)
{
    accessibility::announce(this, toQString(text));
}

void MainWindow::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void MainWindow::endProcess()
{
    if (m_quitWhenClosed)
        QCoreApplication::exit(0);
}

void MainWindow::Form_MouseMove(const QPoint &pos)
{
    if (!childAt(pos))
        m_behaviour.bareAreaMouseMove();
}

void MainWindow::Frame2_MouseMove(const QPoint &pos)
{
    if (!Frame2->childAt(pos))
        m_behaviour.bareAreaMouseMove();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(event->position().toPoint());
    Form1::mouseMoveEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        if (watched == Check1 || watched == Check2)
            m_behaviour.buttonMouseMove();
        else if (watched == Frame2)
            Frame2_MouseMove(static_cast<QMouseEvent *>(event)->position().toPoint());
        break;
    case QEvent::FocusIn:
        if (watched == Text1) {
            switch (static_cast<QFocusEvent *>(event)->reason()) {
            case Qt::PopupFocusReason:
                m_behaviour.amountFocused(core::FocusReason::Popup);
                break;
            case Qt::ActiveWindowFocusReason:
                m_behaviour.amountFocused(core::FocusReason::Activation);
                break;
            case Qt::MouseFocusReason:
                m_behaviour.amountFocused(core::FocusReason::Mouse);
                break;
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
                m_behaviour.amountFocused(core::FocusReason::Keyboard);
                break;
            default:
                m_behaviour.amountFocused(core::FocusReason::Program);
                break;
            }
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched == Text1)
            m_behaviour.amountMouseReleased();
        break;
    default:
        break;
    }
    return Form1::eventFilter(watched, event);
}
