// The window as a screen reader sees it in-process, through the interfaces
// QAccessible hands out: each control's role, name, label and actions; every
// text query on both boxes answered (the ctest time limit turns a hang into a
// failure); Press on the buttons acting once; the result told by a
// notification. Downloads are fakes and the settings live in a temporary
// folder.
#include "app/main_window.h"
#include "fake_ports.h"
#include "ui/accessibility.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{

const QString usd = QStringLiteral("United States Dollar (USD)");
const QString result = QStringLiteral("1.00 USD = 0.9200 EUR (2026-07-06)");

class AccessibilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString page = QStringLiteral("<td align=left>%1</td>").arg(result);
        m_session.page
            = std::u16string(reinterpret_cast<const char16_t *>(page.utf16()), size_t(page.size()));
        m_window = std::make_unique<MainWindow>(MainWindowPorts {m_session, m_settings, m_browser,
            m_random, u"127.0.0.1:8765", m_dir.filePath(QStringLiteral("HAND-M.CUR")), false});
    }

    void TearDown() override
    {
        m_window->close();
        m_window.reset();
    }

    QAccessibleInterface *accessible(const char *name) const
    {
        auto *widget = m_window->findChild<QWidget *>(QString::fromLatin1(name));
        return widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    fakes::Session m_session;
    fakes::Settings m_settings;
    fakes::Browser m_browser;
    fakes::FixedDraw m_random;
};

TEST_F(AccessibilityTest, EveryControlSaysWhatItIs)
{
    struct Row {
        const char *name;
        QAccessible::Role role;
        QString accessibleName;
        QString label; // the text of the control labelling it, if any
        QStringList actions;
        bool readOnly;
        QString text;
    };
    const QString setFocus = QAccessibleActionInterface::setFocusAction();
    const QString press = QAccessibleActionInterface::pressAction();
    const QStringList listActions {QAccessibleActionInterface::showMenuAction(), press, setFocus};
    const Row rows[] = {
        {"Text1", QAccessible::EditableText, QStringLiteral("Amount to Convert"), {}, {setFocus},
            false, QStringLiteral("1.00")},
        {"cboFromCurrency", QAccessible::ComboBox, usd, QStringLiteral("From:"), listActions, false,
            usd},
        {"cboToCurrency", QAccessible::ComboBox, QStringLiteral("Euro (EUR)"),
            QStringLiteral("To:"), listActions, false, QStringLiteral("Euro (EUR)")},
        {"Check2", QAccessible::PushButton, QStringLiteral("Convert"), {}, {press, setFocus}, false,
            QString()},
        {"Text2", QAccessible::EditableText, QStringLiteral("Results"), QStringLiteral("Results"),
            {setFocus}, true, QString()},
        {"Check1", QAccessible::PushButton, QStringLiteral("Copy To Clipboard"),
            QStringLiteral("Results"), {press, setFocus}, false, QString()},
    };
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(m_window.get());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("Korvalux"));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QAccessibleInterface *iface = accessible(row.name);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), row.role);
        EXPECT_EQ(iface->text(QAccessible::Name), row.accessibleName);
        EXPECT_EQ(iface->text(QAccessible::Description), QString());
        QStringList labels;
        for (const auto &relation : iface->relations(QAccessible::Label))
            labels << relation.first->text(QAccessible::Name);
        EXPECT_EQ(labels, row.label.isEmpty() ? QStringList() : QStringList {row.label});
        if (!row.actions.isEmpty()) {
            ASSERT_NE(iface->actionInterface(), nullptr);
            EXPECT_EQ(iface->actionInterface()->actionNames(), row.actions);
        }
        const QAccessible::State state = iface->state();
        EXPECT_FALSE(state.checkable);
        EXPECT_FALSE(state.checked);
        EXPECT_TRUE(state.focusable);
        EXPECT_EQ(bool(state.readOnly), row.readOnly);
        EXPECT_EQ(iface->editableTextInterface() != nullptr,
            row.role == QAccessible::EditableText && !row.readOnly);
        // What a screen reader reads as the control's text: the box's, the entry.
        QAccessibleTextInterface *text = iface->textInterface();
        EXPECT_EQ(text != nullptr, row.role != QAccessible::PushButton);
        if (text) {
            EXPECT_EQ(text->text(0, text->characterCount()), row.text);
        }
    }
}

TEST_F(AccessibilityTest, EveryTextQueryIsAnswered)
{
    using B = QAccessible::TextBoundaryType;
    const B types[]
        = {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::SentenceBoundary,
            QAccessible::ParagraphBoundary, QAccessible::LineBoundary, QAccessible::NoBoundary};
    const QString texts[] = {QString(), QStringLiteral("1.00"), QStringLiteral("  12 , 5  "),
        result, QStringLiteral("Not an amount: 1,5 x. Again?")};
    for (const char *box : {"Text1", "Text2"}) {
        auto *edit = m_window->findChild<QLineEdit *>(QString::fromLatin1(box));
        QAccessibleTextInterface *text = accessible(box)->textInterface();
        ASSERT_NE(text, nullptr);
        for (const QString &value : texts) {
            edit->setText(value);
            const int length = int(value.size());
            ASSERT_EQ(text->characterCount(), length);
            for (B type : types) {
                for (int offset = -1; offset <= length + 1; ++offset) {
                    SCOPED_TRACE(testing::Message()
                        << box << " '" << value.toStdString() << "' boundary " << type << " offset "
                        << offset);
                    int start = 0;
                    int end = 0;
                    const bool valid = offset <= length;
                    const QString at = text->textAtOffset(offset, type, &start, &end);
                    if (!valid) {
                        EXPECT_EQ(start, -1);
                        EXPECT_TRUE(at.isEmpty());
                        continue;
                    }
                    ASSERT_LE(0, start);
                    ASSERT_LE(start, end);
                    ASSERT_LE(end, length);
                    EXPECT_EQ(at, value.mid(start, end - start));
                    const int at0 = start;
                    const int at1 = end;
                    const int where = offset < 0 ? length : offset;
                    if (type != QAccessible::LineBoundary && type != QAccessible::ParagraphBoundary
                        && type != QAccessible::NoBoundary && where < length) {
                        EXPECT_LE(at0, where);
                        EXPECT_LT(where, at1);
                    }
                    // Before and after meet the segment at its edges.
                    const QString before = text->textBeforeOffset(offset, type, &start, &end);
                    EXPECT_EQ(before, value.mid(start, end - start));
                    EXPECT_EQ(end, at0);
                    const QString after = text->textAfterOffset(offset, type, &start, &end);
                    EXPECT_EQ(after, value.mid(start, end - start));
                    EXPECT_EQ(start, at1);
                }
            }
        }
    }
}

TEST_F(AccessibilityTest, TextQueriesFindWordsAndTheEnd)
{
    struct Row {
        QAccessible::TextBoundaryType type;
        int offset;
        QString at;
        QString before;
        QString after;
    };
    // The amount box holding "12.50 USD": offset 9 is its end, where a word
    // query used to hang.
    const Row rows[] = {
        {QAccessible::WordBoundary, 0, QStringLiteral("12.50"), QString(), QStringLiteral(" ")},
        {QAccessible::WordBoundary, 5, QStringLiteral(" "), QStringLiteral("12.50"),
            QStringLiteral("USD")},
        {QAccessible::WordBoundary, 7, QStringLiteral("USD"), QStringLiteral(" "), QString()},
        {QAccessible::WordBoundary, 9, QString(), QStringLiteral("USD"), QString()},
        {QAccessible::CharBoundary, 9, QString(), QStringLiteral("D"), QString()},
        {QAccessible::CharBoundary, 2, QStringLiteral("."), QStringLiteral("2"),
            QStringLiteral("5")},
        {QAccessible::LineBoundary, 9, QStringLiteral("12.50 USD"), QString(), QString()},
        // A box is one paragraph, however far into it the screen reader asks.
        {QAccessible::ParagraphBoundary, 0, QStringLiteral("12.50 USD"), QString(), QString()},
        {QAccessible::ParagraphBoundary, 7, QStringLiteral("12.50 USD"), QString(), QString()},
    };
    m_window->Text1->setText(QStringLiteral("12.50 USD"));
    QAccessibleTextInterface *text = accessible("Text1")->textInterface();
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.type << " at " << row.offset);
        int start = 0;
        int end = 0;
        EXPECT_EQ(text->textAtOffset(row.offset, row.type, &start, &end), row.at);
        EXPECT_EQ(text->textBeforeOffset(row.offset, row.type, &start, &end), row.before);
        EXPECT_EQ(text->textAfterOffset(row.offset, row.type, &start, &end), row.after);
    }
    // The caret's own offset (-2) answers for the caret.
    m_window->Text1->setCursorPosition(7);
    int start = 0;
    int end = 0;
    EXPECT_EQ(
        text->textAtOffset(-2, QAccessible::WordBoundary, &start, &end), QStringLiteral("USD"));
}

TEST_F(AccessibilityTest, ReadOnlyResultsCannotBeWrittenThroughTheInterface)
{
    m_window->Text2->setText(result);
    QAccessibleInterface *iface = accessible("Text2");
    iface->setText(QAccessible::Value, QStringLiteral("forged"));
    EXPECT_EQ(m_window->Text2->text(), result);

    QAccessibleInterface *amount = accessible("Text1");
    ASSERT_NE(amount->editableTextInterface(), nullptr);
    amount->editableTextInterface()->replaceText(0, 4, QStringLiteral("250"));
    EXPECT_EQ(m_window->Text1->text(), QStringLiteral("250"));
}

TEST_F(AccessibilityTest, PressActsOnceAndTheButtonSpringsBack)
{
    const QString press = QAccessibleActionInterface::pressAction();
    accessible("Check2")->actionInterface()->doAction(press);
    EXPECT_EQ(m_session.asked.size(), 1u);
    EXPECT_EQ(m_window->Text2->text(), result);
    EXPECT_FALSE(m_window->Check2->isChecked());

    QGuiApplication::clipboard()->clear();
    accessible("Check1")->actionInterface()->doAction(press);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), result);
    EXPECT_FALSE(m_window->Check1->isChecked());
    EXPECT_EQ(m_session.asked.size(), 1u);
}

QAccessibleInterface *notificationOf(QWidget *window)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; i < iface->childCount(); ++i)
        if (iface->child(i)->role() == QAccessible::Notification)
            return iface->child(i);
    return nullptr;
}

TEST_F(AccessibilityTest, ResultIsAnnouncedWithoutMovingTheFocus)
{
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    auto notification = [this] { return notificationOf(m_window.get()); };
    ASSERT_NE(notification(), nullptr);
    EXPECT_TRUE(notification()->state().invisible) << "nothing to tell before a conversion";

    m_window->Check2->setFocus();
    QTest::keyClick(m_window->Check2, Qt::Key_Space);
    EXPECT_EQ(m_session.asked.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), m_window->Check2);
    QAccessibleInterface *told = notification();
    ASSERT_NE(told, nullptr);
    EXPECT_EQ(told->text(QAccessible::Name), result);
    EXPECT_FALSE(told->state().invisible);
    EXPECT_FALSE(told->state().focusable);
}

TEST_F(AccessibilityTest, EntryChosenByKeyIsAnnounced)
{
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    QComboBox *list = m_window->cboToCurrency;
    // Chosen by the program (a restored choice) while another control has the
    // focus: nothing told.
    list->setCurrentIndex(0);
    EXPECT_TRUE(notificationOf(m_window.get())->state().invisible);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentIndex(), 1);
    QAccessibleInterface *told = notificationOf(m_window.get());
    EXPECT_EQ(told->text(QAccessible::Name), list->currentText());
    EXPECT_FALSE(told->state().invisible);
    EXPECT_EQ(QApplication::focusWidget(), list);
}

} // namespace
