// The accessible interfaces Korvalux puts ahead of Qt's. Text queries on the
// boxes (and the lists' entries) are answered from one precomputed list of
// boundaries, one bounded pass per query: Qt's own line-edit interface loops for
// ever on a word query at the end of the text, in Qt 6.4 and still in 6.8 (both
// measured), so it is replaced whatever the version. Push-style buttons read as
// push buttons with a Press action. Announcements are a hidden notification
// object shown with the message as its name: Qt 6.4 has no announcement event,
// and the screen reader speaks a notification as it appears.
#include "ui/accessibility.h"

#include "ui/form1.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBoundaryFinder>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace accessibility
{
namespace
{

struct Span {
    int start;
    int end;
};

bool isWholeTextBoundary(QAccessible::TextBoundaryType type)
{
    return type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary
        || type == QAccessible::NoBoundary;
}

// Sorted segment starts and ends of text, 0 and its length included. Words keep
// only the boundaries that start or end a word, so blanks between words form
// segments of their own, as a cursor moves by words.
std::vector<int> segmentBoundaries(const QString &text, QAccessible::TextBoundaryType type)
{
    const int length = int(text.size());
    std::vector<int> result {0};
    if (length > 0 && !isWholeTextBoundary(type)) {
        const auto finderType = type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
            : type == QAccessible::SentenceBoundary               ? QTextBoundaryFinder::Sentence
                                                                  : QTextBoundaryFinder::Grapheme;
        QTextBoundaryFinder finder(finderType, text);
        // Each step moves forward or the loop ends, so it runs at most length times.
        for (int step = 0; step < length; ++step) {
            const int position = int(finder.toNextBoundary());
            if (position <= result.back() || position >= length)
                break;
            const auto reasons = finder.boundaryReasons();
            if (type != QAccessible::WordBoundary
                || (reasons & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem)))
                result.push_back(position);
        }
    }
    if (result.back() != length)
        result.push_back(length);
    return result;
}

// The segment holding offset; at the very end of the text, the empty segment
// there (whole-text boundaries answer the whole text at any offset).
Span segmentAt(const std::vector<int> &bounds, int offset, QAccessible::TextBoundaryType type)
{
    const int length = bounds.back();
    if (isWholeTextBoundary(type))
        return {0, length};
    if (offset >= length)
        return {length, length};
    const auto next = std::upper_bound(bounds.begin(), bounds.end(), offset);
    return {*(next - 1), *next};
}

QString textPart(const QString &text, Span span, int *startOffset, int *endOffset)
{
    *startOffset = span.start;
    *endOffset = span.end;
    return text.mid(span.start, span.end - span.start);
}

enum class Direction { Before, At, After };

// offset -2 stands for the caret, -1 for the end of the text.
QString textNearOffset(const QString &text, int caret, int offset,
    QAccessible::TextBoundaryType type, Direction direction, int *startOffset, int *endOffset)
{
    *startOffset = *endOffset = -1;
    const int length = int(text.size());
    if (offset == -2)
        offset = caret;
    else if (offset == -1)
        offset = length;
    if (offset < 0 || offset > length)
        return QString();

    const std::vector<int> bounds = segmentBoundaries(text, type);
    const Span at = segmentAt(bounds, offset, type);
    switch (direction) {
    case Direction::At:
        break;
    case Direction::Before: {
        if (at.start == 0)
            return textPart(text, {0, 0}, startOffset, endOffset);
        const auto here = std::lower_bound(bounds.begin(), bounds.end(), at.start);
        return textPart(text, {*(here - 1), at.start}, startOffset, endOffset);
    }
    case Direction::After: {
        if (at.end >= length)
            return textPart(text, {length, length}, startOffset, endOffset);
        const auto here = std::lower_bound(bounds.begin(), bounds.end(), at.end);
        return textPart(text, {at.end, *(here + 1)}, startOffset, endOffset);
    }
    }
    return textPart(text, at, startOffset, endOffset);
}

class LineEditAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface
{
public:
    explicit LineEditAccessible(QLineEdit *edit)
        : QAccessibleWidget(edit, QAccessible::EditableText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        QString result;
        if (t == QAccessible::Value && edit()->echoMode() == QLineEdit::Normal)
            result = edit()->text();
        else if (t == QAccessible::Value && edit()->echoMode() != QLineEdit::NoEcho)
            result = QString(edit()->text().size(), QLatin1Char('*'));
        return result.isEmpty() ? QAccessibleWidget::text(t) : result;
    }

    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t != QAccessible::Value) {
            QAccessibleWidget::setText(t, text);
            return;
        }
        if (!edit()->isReadOnly())
            edit()->setText(text);
    }

    QAccessible::State state() const override
    {
        QAccessible::State result = QAccessibleWidget::state();
        result.readOnly = edit()->isReadOnly();
        result.editable = !edit()->isReadOnly();
        result.passwordEdit = edit()->echoMode() != QLineEdit::Normal;
        result.selectableText = true;
        return result;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        // A read-only box offers no way to change its text, not even to an AT.
        if (t == QAccessible::EditableTextInterface && !edit()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !edit()->hasSelectedText())
            return;
        *startOffset = edit()->selectionStart();
        *endOffset = edit()->selectionEnd();
    }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            edit()->deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            edit()->setSelection(startOffset, endOffset - startOffset);
    }

    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }

    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset > endOffset || edit()->echoMode() != QLineEdit::Normal)
            return QString();
        return edit()->text().mid(startOffset, endOffset - startOffset);
    }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
        int *startOffset, int *endOffset) const override
    {
        return lineTextNear(offset, boundaryType, Direction::Before, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
        int *startOffset, int *endOffset) const override
    {
        return lineTextNear(offset, boundaryType, Direction::After, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
        int *endOffset) const override
    {
        return lineTextNear(offset, boundaryType, Direction::At, startOffset, endOffset);
    }

    int characterCount() const override { return int(edit()->text().size()); }

    // Measured from the left of the text area; a text scrolled sideways (longer
    // than the box) places its characters too far right.
    QRect characterRect(int offset) const override
    {
        const QString ch = text(offset, offset + 1);
        if (ch.isEmpty())
            return QRect();
        const QFontMetrics metrics(edit()->font());
        const QRect area = edit()->contentsRect().marginsRemoved(edit()->textMargins());
        const int x = area.left() + metrics.horizontalAdvance(edit()->text().left(offset));
        const int y = area.top() + (area.height() - metrics.height()) / 2;
        const QRect local(x, y, metrics.horizontalAdvance(ch), metrics.height());
        return QRect(edit()->mapToGlobal(local.topLeft()), local.size());
    }

    int offsetAtPoint(const QPoint &point) const override
    {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }

    void scrollToSubstring(int startIndex, int endIndex) override
    {
        edit()->setCursorPosition(endIndex);
        edit()->setCursorPosition(startIndex);
    }

    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

    void deleteText(int startOffset, int endOffset) override
    {
        replaceText(startOffset, endOffset, QString());
    }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        if (edit()->isReadOnly() || startOffset < 0 || startOffset > endOffset)
            return;
        edit()->setText(edit()->text().replace(startOffset, endOffset - startOffset, text));
    }

private:
    QLineEdit *edit() const { return static_cast<QLineEdit *>(widget()); }

    QString lineTextNear(int offset, QAccessible::TextBoundaryType type, Direction direction,
        int *startOffset, int *endOffset) const
    {
        if (edit()->echoMode() != QLineEdit::Normal) {
            *startOffset = *endOffset = -1;
            return QString();
        }
        return textNearOffset(edit()->text(), edit()->cursorPosition(), offset, type, direction,
            startOffset, endOffset);
    }
};

// A drop-down list as Qt 6.4 exposes it on Linux (its name is the chosen entry,
// its one child the pop-up list), plus a read-only text interface holding that
// entry: the screen reader takes a list's current entry only from its text, so
// without one it speaks the label alone.
class ComboBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ComboBoxAccessible(QComboBox *list)
        : QAccessibleWidget(list, QAccessible::ComboBox)
    {
    }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State result = QAccessibleWidget::state();
        result.expandable = true;
        result.expanded = list()->view()->isVisible();
        result.collapsed = !result.expanded;
        result.editable = false;
        return result;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QStringList actionNames() const override
    {
        return QStringList {showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &actionName) override
    {
        if (actionName == showMenuAction() || actionName == pressAction()) {
            if (list()->view()->isVisible())
                list()->hidePopup();
            else
                list()->showPopup();
        } else {
            QAccessibleWidget::doAction(actionName);
        }
    }

    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset < 0 || startOffset > endOffset)
            return QString();
        return list()->currentText().mid(startOffset, endOffset - startOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
        int *startOffset, int *endOffset) const override
    {
        return textNearOffset(list()->currentText(), 0, offset, boundaryType, Direction::Before,
            startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
        int *startOffset, int *endOffset) const override
    {
        return textNearOffset(list()->currentText(), 0, offset, boundaryType, Direction::After,
            startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
        int *endOffset) const override
    {
        return textNearOffset(
            list()->currentText(), 0, offset, boundaryType, Direction::At, startOffset, endOffset);
    }
    int characterCount() const override { return int(list()->currentText().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override { }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

class PushButtonAccessible : public QAccessibleWidget
{
public:
    explicit PushButtonAccessible(QPushButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QAccessible::Role role() const override
    {
        return toggles() ? QAccessible::CheckBox : QAccessible::PushButton;
    }

    QString text(QAccessible::Text t) const override
    {
        const QString result = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && result.isEmpty())
            return QString(button()->text()).remove(QLatin1Char('&'));
        return result;
    }

    QAccessible::State state() const override
    {
        QAccessible::State result = QAccessibleWidget::state();
        result.pressed = button()->isDown();
        result.checkable = toggles();
        result.checked = toggles() && button()->isChecked();
        return result;
    }

    QStringList actionNames() const override
    {
        return QStringList {toggles() ? toggleAction() : pressAction()}
        + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() || actionName == toggleAction())
            button()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    QPushButton *button() const { return static_cast<QPushButton *>(widget()); }
    // Asked at every query: the interface may exist before the button is marked.
    bool toggles() const
    {
        return button()->isCheckable() && !button()->property(pushStyleProperty).toBool();
    }
};

} // namespace

// A window's notification: it takes no room and no focus, and each time it is
// shown a screen reader speaks its name, wherever the focus is.
class Announcer : public QWidget
{
    Q_OBJECT

public:
    explicit Announcer(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("Announcer"));
        setGeometry(0, 0, 0, 0);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }
};

// Lets a text box react to gaining the focus only after Qt has told assistive
// technology of the focus. QLineEdit moves its caret on focus-in, Qt's focus
// event comes after that, and the screen reader takes the box as focused from
// the caret event, silently, then stays silent on the focus event: tabbing into
// an empty Results box said nothing. The box sees its focus-in one turn of the
// event loop later, and not at all if the focus has moved on meanwhile.
class FocusAfterTelling : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn || m_delivering || !QAccessible::isActive())
            return QObject::eventFilter(watched, event);
        auto *box = static_cast<QWidget *>(watched);
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        QTimer::singleShot(0, box, [this, box, reason] {
            if (!box->hasFocus())
                return;
            m_delivering = true;
            QFocusEvent focusIn(QEvent::FocusIn, reason);
            QCoreApplication::sendEvent(box, &focusIn);
            m_delivering = false;
        });
        return true;
    }

private:
    bool m_delivering = false;
};

namespace
{

QAccessibleInterface *interfaceFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    // A plain top-level widget reads as a filler; a screen reader names the
    // window it enters only from a frame.
    if (className == QLatin1String("Form1"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("accessibility::Announcer"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    if (className == QLatin1String("QLineEdit"))
        return new LineEditAccessible(static_cast<QLineEdit *>(object));
    if (className == QLatin1String("QComboBox"))
        return new ComboBoxAccessible(static_cast<QComboBox *>(object));
    if (className == QLatin1String("QPushButton"))
        return new PushButtonAccessible(static_cast<QPushButton *>(object));
    return nullptr;
}

} // namespace

void installInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void describe(Form1 &form)
{
    // On Linux a list's accessible name is its chosen entry, so what the list is
    // for reaches a screen reader only through the label that names it.
    form.Label3->setBuddy(form.cboFromCurrency);
    form.Label4->setBuddy(form.cboToCurrency);
    for (QPushButton *button : {form.Check2, form.Check1})
        button->setProperty(pushStyleProperty, true);
    new Announcer(&form);
    form.Text2->installEventFilter(new FocusAfterTelling(&form));
    // Qt tells of an entry chosen with the arrow keys on a closed list only as a
    // name change, which the screen reader ignores for a list; the open pop-up
    // is spoken item by item already.
    for (QComboBox *list : {form.cboFromCurrency, form.cboToCurrency}) {
        QObject::connect(
            list, &QComboBox::currentTextChanged, list, [&form, list](const QString &text) {
                if (list->hasFocus() && !list->view()->isVisible())
                    announce(&form, text);
            });
    }
}

void announce(QWidget *window, const QString &message)
{
    auto *announcer = window ? window->findChild<Announcer *>() : nullptr;
    if (!announcer || message.isEmpty())
        return;
    announcer->setAccessibleName(message);
    // Each showing is one announcement, the same text again included.
    announcer->hide();
    announcer->show();
}

} // namespace accessibility

#include "accessibility.moc"
