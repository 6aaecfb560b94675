// The main window's handlers. Check1 and Check2 are checkable push buttons whose
// toggled signal is their Click event: it fires for the program's own
// setChecked(false) too, nested, which is what makes each press act once.
// The pointer rules hang on mouse tracking of the window, Frame2 and the two
// buttons; a move that Qt propagates up from a child is told apart by childAt.
#include "app/main_window.h"

#include "catalogue/currency_catalogue.h"
#include "net/internet_session.h"
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

#include <utility>

namespace
{

const QString appName = QStringLiteral("Vantoril");
const QString sectionName = QStringLiteral("Korvalux");
const QString fromKey = QStringLiteral("FromCurrency");
const QString toKey = QStringLiteral("ToCurrency");

} // namespace

void FillCurrencyLists(Form1 &form)
{
    for (const QString &entry : catalogue::currencyEntries())
        form.cboFromCurrency->addItem(entry);
    for (const QString &entry : catalogue::currencyEntries())
        form.cboToCurrency->addItem(entry);
}

MainWindow::MainWindow(MainWindowSeams seams)
    : m_seams(std::move(seams))
    , m_settings(m_seams.settingsFolder)
{
    for (QWidget *widget : {static_cast<QWidget *>(this), static_cast<QWidget *>(Frame2),
             static_cast<QWidget *>(Check1), static_cast<QWidget *>(Check2)})
        widget->setMouseTracking(true);
    for (QObject *watched : {static_cast<QObject *>(Text1), static_cast<QObject *>(Frame2),
             static_cast<QObject *>(Check1), static_cast<QObject *>(Check2)})
        watched->installEventFilter(this);

    connect(Check2, &QPushButton::toggled, this, &MainWindow::Check2_Click);
    connect(Check1, &QPushButton::toggled, this, &MainWindow::Check1_Click);
    // Enter in the amount box presses Convert, through the button's own click.
    connect(Text1, &QLineEdit::returnPressed, Check2, &QPushButton::click);

    Form_Load();
}

MainWindow::~MainWindow()
{
    // A window destroyed without being closed still gives its session back.
    if (!m_unloaded)
        modInternetFileFunctions::CloseInternetSession();
    if (m_mousePointer == BusyPointer)
        QGuiApplication::restoreOverrideCursor();
}

void MainWindow::Form_Load()
{
    modInternetFileFunctions::OpenInternetSession();
    FillCurrencyLists(*this);
    startup::CentreWindow(*this);
    if (startup::FileExists(m_seams.handCursorPath))
        m_mouseIcon = startup::loadCursorFile(m_seams.handCursorPath);
    startup::PromoteHomePage(m_seams.draw, m_seams.launch);
    restoreChoice(cboFromCurrency, fromKey, catalogue::defaultFromEntry());
    restoreChoice(cboToCurrency, toKey, catalogue::defaultToEntry());
    setWindowTitle(QStringLiteral("Korvalux"));
    Text1->setFocus(Qt::OtherFocusReason);
    // The window is not shown yet: its first focus-in comes with the window's
    // activation, which does not select, so select here.
    Text1_GotFocus();
}

void MainWindow::restoreChoice(QComboBox *list, const QString &key, const QString &fallback)
{
    const QString stored = m_settings.getSetting(appName, sectionName, key);
    // A text that is none of the entries (the file was edited) gives the default.
    int index = stored.isEmpty() ? -1 : list->findText(stored);
    if (index < 0)
        index = list->findText(fallback);
    list->setCurrentIndex(index);
}

void MainWindow::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_settings.saveSetting(appName, sectionName, fromKey, cboFromCurrency->currentText());
    m_settings.saveSetting(appName, sectionName, toKey, cboToCurrency->currentText());
    QCoreApplication::processEvents();
    modInternetFileFunctions::CloseInternetSession();
    if (m_seams.endProcess)
        m_seams.endProcess();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void MainWindow::Check2_Click()
{
    if (!Check2->isChecked())
        return;
    Check2->setChecked(false);
    setMousePointer(BusyPointer);
    conversion::DownloadFunction download = m_seams.download;
    if (!download) {
        download = [this](const QString &address) {
            return localservice::downloadStartingService(address, m_seams.converterHost,
                &modInternetFileFunctions::DownloadPage, m_seams.startService);
        };
    }
    Text2->setText(conversion::convertCurrency(Text1->text(), cboFromCurrency->currentText(),
        cboToCurrency->currentText(), download, m_seams.converterHost));
    // setText leaves the caret, and so the view, at the end of a long sentence.
    Text2->setCursorPosition(0);
    setMousePointer(DefaultPointer);
    // The result lands in a box without the focus; have it spoken where the user is.
    accessibility::announce(this, Text2->text());
}

void MainWindow::Check1_Click()
{
    if (!Check1->isChecked())
        return;
    Check1->setChecked(false);
    // setText replaces every format the clipboard held, so no separate clear.
    QGuiApplication::clipboard()->setText(Text2->text());
}

void MainWindow::Text1_GotFocus()
{
    Text1->selectAll();
}

void MainWindow::setMousePointer(int state)
{
    if (state == m_mousePointer)
        return;
    if (m_mousePointer == BusyPointer)
        QGuiApplication::restoreOverrideCursor();
    m_mousePointer = state;
    switch (state) {
    case BusyPointer:
        // An override cursor reaches the window system at once; a widget cursor
        // would not be drawn while the download blocks the thread. Input that
        // arrives meanwhile waits until the conversion is over.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        break;
    case CustomPointer:
        setCursor(m_mouseIcon.value_or(QCursor(Qt::ArrowCursor)));
        break;
    default:
        unsetCursor();
        break;
    }
}

void MainWindow::Form_MouseMove(const QPoint &pos)
{
    if (childAt(pos))
        return;
    if (m_mousePointer != BusyPointer)
        setMousePointer(DefaultPointer);
}

void MainWindow::Frame2_MouseMove(const QPoint &pos)
{
    if (Frame2->childAt(pos))
        return;
    if (m_mousePointer != BusyPointer)
        setMousePointer(DefaultPointer);
}

void MainWindow::Check1_MouseMove()
{
    if (m_mousePointer != BusyPointer)
        setMousePointer(CustomPointer);
}

void MainWindow::Check2_MouseMove()
{
    if (m_mousePointer != BusyPointer)
        setMousePointer(CustomPointer);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(event->position().toPoint());
    Form1::mouseMoveEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint pos = static_cast<QMouseEvent *>(event)->position().toPoint();
        if (watched == Check1)
            Check1_MouseMove();
        else if (watched == Check2)
            Check2_MouseMove();
        else if (watched == Frame2)
            Frame2_MouseMove(pos);
        break;
    }
    case QEvent::FocusIn:
        if (watched == Text1) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            // A closed popup (the context menu) or a re-activated window gives the
            // focus back where it was: the user's selection and caret stay.
            if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
                break;
            Text1_GotFocus();
            // The press that follows a focusing click puts the caret down and
            // drops the selection; select again once the button is released.
            m_selectAllOnRelease = reason == Qt::MouseFocusReason;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched == Text1 && m_selectAllOnRelease) {
            m_selectAllOnRelease = false;
            Text1_GotFocus();
        }
        break;
    default:
        break;
    }
    return Form1::eventFilter(watched, event);
}
