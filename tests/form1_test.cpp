// Form1 alone, as the user meets it: the eleven controls with their places,
// texts, fonts and colours as one table, the window's fixed frame and icon, the
// tab ring, lists that take no typed text and a read-only Results box.
#include "ui/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>

namespace
{

// WCAG 2 relative luminance of an sRGB colour.
double luminance(QColor colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
        + 0.0722 * linear(colour.blueF());
}

double contrast(QColor a, QColor b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// In a drawn area, the background is the commonest colour and the text the
// colour that stands out from it most: the core of a glyph's stroke.
double textContrast(const QImage &image, const QRect &area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    const QColor background
        = std::max_element(counts.begin(), counts.end(), [](const auto &a, const auto &b) {
              return a.second < b.second;
          })->first;
    double best = 1.0;
    for (const auto &[colour, count] : counts)
        best = std::max(best, contrast(background, QColor(colour)));
    return best;
}

// Qt derives the rest from the two colours: near-white text on a near-black base.
QPalette darkPalette()
{
    return QPalette(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35));
}

// A light theme whose text fields are tinted rather than white.
QPalette tintedFieldsPalette(QPalette palette)
{
    palette.setColor(QPalette::Base, QColor(0xfd, 0xf6, 0xe3));
    return palette;
}

int px(int twips)
{
    return static_cast<int>(std::lround(twips / 15.0));
}

TEST(Form1Layout, ControlsStandWhereTheyMust)
{
    struct Row {
        const char *name;
        const char *className;
        const char *parent;
        int left, top, width, height; // twips, relative to the parent
        const char *text;
        double points; // 0: no font of its own
        bool takesFocus;
    };
    const Row rows[] = {
        {"Label2", "QLabel", "Form1", 120, 180, 1755, 195, "Amount to Convert:", 9, false},
        {"Text1", "QLineEdit", "Form1", 1920, 120, 1395, 315, "1.00", 9, true},
        {"Label3", "QLabel", "Form1", 120, 660, 615, 195, "From:", 9, false},
        {"cboFromCurrency", "QComboBox", "Form1", 840, 600, 4755, 345, "", 9, true},
        {"Label4", "QLabel", "Form1", 120, 1260, 615, 195, "To:", 9, false},
        {"cboToCurrency", "QComboBox", "Form1", 840, 1200, 4755, 345, "", 9, true},
        {"Check2", "QPushButton", "Form1", 120, 1680, 5415, 400, "Convert", 11.25, true},
        {"Frame2", "QGroupBox", "Form1", 120, 2160, 5415, 1260, "Results", 9, false},
        {"Text2", "QLineEdit", "Frame2", 120, 300, 5175, 375, "", 9, true},
        {"Check1", "QPushButton", "Frame2", 120, 720, 5175, 400, "Copy To Clipboard", 11.25, true},
    };
    Form1 form;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto *widget = form.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.className);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(row.parent));
        EXPECT_EQ(
            widget->geometry(), QRect(px(row.left), px(row.top), px(row.width), px(row.height)));
        EXPECT_EQ(widget->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(widget->font().weight(), QFont::Bold);
        EXPECT_FALSE(widget->font().italic());
        EXPECT_FALSE(widget->font().underline());
        EXPECT_FALSE(widget->font().strikeOut());
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), row.points);
        EXPECT_EQ(bool(widget->focusPolicy() & Qt::TabFocus), row.takesFocus);
        EXPECT_TRUE(widget->isEnabled());
        QString text;
        if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            text = edit->text();
        else if (auto *list = qobject_cast<QComboBox *>(widget))
            text = list->currentText();
        else if (auto *button = qobject_cast<QPushButton *>(widget))
            text = button->text();
        else if (auto *frame = qobject_cast<QGroupBox *>(widget))
            text = frame->title();
        EXPECT_EQ(text, QString::fromLatin1(row.text));
        // Everything is white but the amount box, which keeps the style's colour.
        const QColor background = widget->palette().color(widget->backgroundRole());
        if (widget == form.Text1)
            EXPECT_EQ(background, QApplication::palette(widget).color(QPalette::Base));
        else
            EXPECT_EQ(background, QColor(Qt::white));
    }

    auto *line = form.findChild<QFrame *>(QStringLiteral("Line1"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->frameShape(), QFrame::HLine);
    EXPECT_EQ(line->frameShadow(), QFrame::Plain);
    EXPECT_EQ(line->geometry(), QRect(px(120), px(1080), px(5520) - px(120), 1));
    EXPECT_EQ(line->focusPolicy(), Qt::NoFocus);
}

TEST(Form1Layout, WindowIsFixedWhiteWithATransparentIcon)
{
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.size(), QSize(px(5670), px(3525)));
    form.resize(800, 600);
    EXPECT_EQ(form.size(), QSize(px(5670), px(3525)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);

    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(form.autoFillBackground());

    struct IconCase {
        const char *owner;
        QIcon icon;
    };
    const IconCase icons[] = {{"window", form.windowIcon()}, {"Check1", form.Check1->icon()},
        {"Check2", form.Check2->icon()}};
    for (const IconCase &item : icons) {
        SCOPED_TRACE(item.owner);
        ASSERT_FALSE(item.icon.isNull());
        const QImage image
            = item.icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image.size(), QSize(32, 32));
        bool allClear = true;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                allClear = allClear && qAlpha(image.pixel(x, y)) == 0;
        EXPECT_TRUE(allClear);
    }
    // The drawn window really is white where no control stands.
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(form.width() - 3, form.height() / 2)), QColor(Qt::white));
}

TEST(Form1Layout, ControlsCarryAccessibleNamesAndButtonsToggle)
{
    struct Row {
        const char *name;
        const char *accessibleName;
    };
    const Row rows[] = {
        {"Text1", "Amount to Convert"},
        {"cboFromCurrency", "From"},
        {"cboToCurrency", "To"},
        {"Check2", "Convert"},
        {"Text2", "Results"},
        {"Check1", "Copy To Clipboard"},
    };
    Form1 form;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto *widget = form.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->accessibleName(), QString::fromLatin1(row.accessibleName));
    }
    EXPECT_TRUE(form.Check1->isCheckable());
    EXPECT_TRUE(form.Check2->isCheckable());
    EXPECT_FALSE(form.Check1->isChecked());
    EXPECT_FALSE(form.Check2->isChecked());
    EXPECT_FALSE(form.cboFromCurrency->isEditable());
    EXPECT_FALSE(form.cboToCurrency->isEditable());
    EXPECT_TRUE(form.Text2->isReadOnly());
    EXPECT_FALSE(form.Text1->isReadOnly());
}

TEST(Form1Interaction, TabVisitsTheRingAndWrapsBothWays)
{
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Text1->setFocus(Qt::OtherFocusReason);

    struct Step {
        Qt::Key key;
        const char *focused;
    };
    const Step steps[] = {
        {Qt::Key_Tab, "cboFromCurrency"},
        {Qt::Key_Tab, "cboToCurrency"},
        {Qt::Key_Tab, "Check2"},
        {Qt::Key_Tab, "Text2"},
        {Qt::Key_Tab, "Check1"},
        {Qt::Key_Tab, "Text1"},
        {Qt::Key_Backtab, "Check1"},
        {Qt::Key_Backtab, "Text2"},
        {Qt::Key_Backtab, "Check2"},
        {Qt::Key_Backtab, "cboToCurrency"},
        {Qt::Key_Backtab, "cboFromCurrency"},
        {Qt::Key_Backtab, "Text1"},
    };
    for (const Step &step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(step.focused));
    }
}

TEST(Form1Interaction, TypedTextNeverLandsInTheListsOrTheResults)
{
    Form1 form;
    const QStringList entries = {QStringLiteral("Euro (EUR)"), QStringLiteral("Thai Baht (THB)")};
    form.cboFromCurrency->addItems(entries);
    form.cboToCurrency->addItems(entries);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    const char *typed[] = {"xyz", "T", "Euro (EUR)x", "12.5"};
    for (QComboBox *list : {form.cboFromCurrency, form.cboToCurrency}) {
        for (const char *keys : typed) {
            SCOPED_TRACE(keys);
            list->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(list, QString::fromLatin1(keys));
            EXPECT_TRUE(entries.contains(list->currentText())) << list->currentText().toStdString();
        }
    }
    form.Text2->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(form.Text2, QStringLiteral("typed"));
    QTest::keyClick(form.Text2, Qt::Key_Backspace);
    EXPECT_EQ(form.Text2->text(), QString());
}

TEST(Form1Colours, EveryTextIsReadableUnderALightAndADarkPalette)
{
    const QPalette original = QApplication::palette();
    struct Theme {
        const char *name;
        QPalette palette;
        bool setOnceOpen; // the desktop changes its theme while the window is up
    };
    const Theme themes[] = {
        {"light", original, false},
        {"dark", darkPalette(), false},
        {"dark once open", darkPalette(), true},
        {"light again", original, true},
        {"light with tinted fields", tintedFieldsPalette(original), false},
    };
    for (const Theme &theme : themes) {
        SCOPED_TRACE(theme.name);
        QApplication::setPalette(theme.setOnceOpen ? darkPalette() : theme.palette);
        Form1 form;
        form.cboFromCurrency->addItem(QStringLiteral("United States Dollar (USD)"));
        form.cboToCurrency->addItem(QStringLiteral("Euro (EUR)"));
        form.Text2->setText(QStringLiteral("1.00 USD = 0.92 EUR"));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        if (theme.setOnceOpen) {
            QApplication::setPalette(original); // back and forth: both ways must hold
            QApplication::setPalette(theme.palette);
            QCoreApplication::processEvents();
        }
        // White under a light palette; the palette's own colour under a dark one.
        const bool light
            = theme.palette.color(QPalette::Window) == original.color(QPalette::Window);
        EXPECT_EQ(form.palette().color(QPalette::Window),
            light ? QColor(Qt::white) : theme.palette.color(QPalette::Window));
        form.Text1->setFocus();
        form.Text1->selectAll();
        const QImage shot = form.grab().toImage();

        QStyleOptionComboBox comboOption;
        comboOption.initFrom(form.cboFromCurrency);
        comboOption.editable = false;
        QStyleOptionGroupBox frameOption;
        frameOption.initFrom(form.Frame2);
        frameOption.text = form.Frame2->title();
        frameOption.subControls = QStyle::SC_GroupBoxLabel;
        const QRect frameCaption = form.style()->subControlRect(
            QStyle::CC_GroupBox, &frameOption, QStyle::SC_GroupBoxLabel, form.Frame2);
        // Where each control draws its text, inside its own border.
        struct Area {
            QWidget *control;
            QRect local;
        };
        const auto inside = [](QWidget *w) { return w->rect().adjusted(4, 4, -4, -4); };
        // The amount, selected as at start-up: its text on the selection colour.
        const QRect selection(inside(form.Text1).topLeft() + QPoint(2, 1),
            QSize(form.Text1->fontMetrics().horizontalAdvance(form.Text1->text()) - 4,
                inside(form.Text1).height() - 2));
        const Area areas[] = {
            {form.Label2, form.Label2->rect()},
            {form.Label3, form.Label3->rect()},
            {form.Label4, form.Label4->rect()},
            {form.Text1, inside(form.Text1)},
            {form.cboFromCurrency,
                form.style()->subControlRect(QStyle::CC_ComboBox, &comboOption,
                    QStyle::SC_ComboBoxEditField, form.cboFromCurrency)},
            {form.cboToCurrency,
                form.style()->subControlRect(QStyle::CC_ComboBox, &comboOption,
                    QStyle::SC_ComboBoxEditField, form.cboToCurrency)},
            {form.Check2, inside(form.Check2)},
            {form.Frame2, frameCaption},
            {form.Text2, inside(form.Text2)},
            {form.Check1, inside(form.Check1)},
        };
        for (const Area &area : areas) {
            SCOPED_TRACE(area.control->objectName().toStdString());
            ASSERT_FALSE(area.local.isEmpty());
            const QRect onWindow(
                area.control->mapTo(&form, area.local.topLeft()), area.local.size());
            EXPECT_GE(textContrast(shot, onWindow & shot.rect()), 4.5);
        }
        const QRect selected(form.Text1->mapTo(&form, selection.topLeft()), selection.size());
        EXPECT_GE(textContrast(shot, selected), 4.5) << "the selected amount";
        // The amount box follows the palette in every case, never the window's white.
        EXPECT_EQ(form.Text1->palette().color(QPalette::Base), theme.palette.color(QPalette::Base));
        EXPECT_EQ(form.Text1->palette().color(QPalette::Text), theme.palette.color(QPalette::Text));
    }
    QApplication::setPalette(original);
}

} // namespace
