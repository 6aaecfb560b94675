// The window's description. Positions inside Frame2 are relative to the frame's
// outer corner, as QGroupBox children are. Colours, under a light palette: white
// with black text everywhere except the amount box, which keeps the palette's
// text-field colours, and the line, drawn in the window's text colour. Under a
// dark palette every control follows the palette.
#include "ui/form1.h"

#include "core/layout.h"
#include "ui/accessibility.h"
#include "ui/compositor_sizing.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>

namespace
{

QFont controlFont(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// The place and size the shared layout table gives the control of that name.
void setTwipsGeometry(QWidget *widget, std::string_view name)
{
    const core::layout::Control &c = core::layout::control(name);
    widget->setGeometry(
        Form1::twips(c.left), Form1::twips(c.top), Form1::twips(c.width), Form1::twips(c.height));
}

QString startText(std::string_view name)
{
    const std::u16string_view text = core::layout::control(name).text;
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// Each background role comes with its matching text role: white with black, or,
// under a dark palette, the palette's own pair. A white background left with a
// dark palette's near-white text would be unreadable.
void paintRoles(QWidget *widget, const QPalette *dark,
    std::initializer_list<QPalette::ColorRole> backgrounds
    = {QPalette::Window, QPalette::Base, QPalette::Button})
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : backgrounds) {
        QPalette::ColorRole text = QPalette::WindowText;
        if (role == QPalette::Base)
            text = QPalette::Text;
        else if (role == QPalette::Button)
            text = QPalette::ButtonText;
        for (QPalette::ColorGroup group :
            {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, role, dark ? dark->color(group, role) : QColor(Qt::white));
            palette.setColor(group, text, dark ? dark->color(group, text) : QColor(Qt::black));
        }
    }
    widget->setPalette(palette);
}

// WCAG 2 contrast ratio of two colours, from 1 (none) to 21 (black on white).
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](double channel) {
            return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
            + 0.0722 * linear(colour.blueF());
    };
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// The palette's selection colour, darkened (or lightened, for dark selected text)
// until the selected text on it reaches the 4.5:1 that WCAG asks of text; the
// amount is selected at start-up, and Fusion's own blue gives white text 3.7:1.
void makeSelectionReadable(QWidget *widget)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QColor highlight = palette.color(group, QPalette::Highlight);
        const QColor text = palette.color(group, QPalette::HighlightedText);
        const bool lightText = text.lightness() > 127;
        for (int step = 0; step < 30 && contrast(highlight, text) < 4.5; ++step)
            highlight = lightText ? highlight.darker(110) : highlight.lighter(110);
        palette.setColor(group, QPalette::Highlight, highlight);
    }
    widget->setPalette(palette);
}

QIcon transparentIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

} // namespace

int Form1::twips(int value)
{
    return static_cast<int>(std::lround(value / double(twipsPerPixel)));
}

Form1::Form1(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    accessibility::installInterfaces();

    // Create.
    Label2 = new QLabel(this);
    Text1 = new QLineEdit(this);
    Label3 = new QLabel(this);
    cboFromCurrency = new QComboBox(this);
    Line1 = new QFrame(this);
    Label4 = new QLabel(this);
    cboToCurrency = new QComboBox(this);
    Check2 = new QPushButton(this);
    Frame2 = new QGroupBox(this);
    Text2 = new QLineEdit(Frame2);
    Check1 = new QPushButton(Frame2);

    // Name.
    setObjectName(QStringLiteral("Form1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Text1->setObjectName(QStringLiteral("Text1"));
    Label3->setObjectName(QStringLiteral("Label3"));
    cboFromCurrency->setObjectName(QStringLiteral("cboFromCurrency"));
    Line1->setObjectName(QStringLiteral("Line1"));
    Label4->setObjectName(QStringLiteral("Label4"));
    cboToCurrency->setObjectName(QStringLiteral("cboToCurrency"));
    Check2->setObjectName(QStringLiteral("Check2"));
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Text2->setObjectName(QStringLiteral("Text2"));
    Check1->setObjectName(QStringLiteral("Check1"));

    // Configure: the window.
    setFixedSize(twips(core::layout::clientWidth), twips(core::layout::clientHeight));
    setWindowIcon(transparentIcon());
    setAutoFillBackground(true);

    // The controls, top to bottom.
    const QFont font = controlFont(core::layout::textPoints);
    const QFont buttonFont = controlFont(core::layout::buttonPoints);

    Label2->setText(startText("Label2"));
    setTwipsGeometry(Label2, "Label2");

    Text1->setText(startText("Text1"));
    setTwipsGeometry(Text1, "Text1");
    Text1->setAccessibleName(QStringLiteral("Amount to Convert"));

    Label3->setText(startText("Label3"));
    setTwipsGeometry(Label3, "Label3");

    setTwipsGeometry(cboFromCurrency, "cboFromCurrency");
    cboFromCurrency->setAccessibleName(QStringLiteral("From"));

    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    // The line is drawn on the window: the mouse over it is over the window.
    Line1->setAttribute(Qt::WA_TransparentForMouseEvents);
    {
        const core::layout::Control &line = core::layout::control("Line1");
        Line1->setGeometry(twips(line.left), twips(line.top), twips(line.width), 1);
    }

    Label4->setText(startText("Label4"));
    setTwipsGeometry(Label4, "Label4");

    setTwipsGeometry(cboToCurrency, "cboToCurrency");
    cboToCurrency->setAccessibleName(QStringLiteral("To"));

    Check2->setText(startText("Check2"));
    setTwipsGeometry(Check2, "Check2");

    Frame2->setTitle(startText("Frame2"));
    setTwipsGeometry(Frame2, "Frame2");

    setTwipsGeometry(Text2, "Text2");
    Text2->setReadOnly(true);
    // The default limit of 32767 characters would cut a long sentence, and Copy
    // To Clipboard copies the whole of it.
    Text2->setMaxLength(std::numeric_limits<int>::max());
    Text2->setAccessibleName(QStringLiteral("Results"));

    Check1->setText(startText("Check1"));
    setTwipsGeometry(Check1, "Check1");

    for (QLabel *label : {Label2, Label3, Label4}) {
        label->setFont(font);
        label->setFocusPolicy(Qt::NoFocus);
        label->setTextFormat(Qt::PlainText);
    }
    for (QWidget *widget :
        {static_cast<QWidget *>(cboFromCurrency), static_cast<QWidget *>(cboToCurrency),
            static_cast<QWidget *>(Frame2), static_cast<QWidget *>(Text2)}) {
        widget->setFont(font);
    }
    Text1->setFont(font);
    Frame2->setFocusPolicy(Qt::NoFocus);
    for (QComboBox *list : {cboFromCurrency, cboToCurrency})
        list->setEditable(false);
    for (QPushButton *button : {Check2, Check1}) {
        button->setCheckable(true);
        button->setFont(buttonFont);
        button->setIcon(transparentIcon());
        button->setAccessibleName(button->text());
    }
    paintColours();

    setTabOrder(Text1, cboFromCurrency);
    setTabOrder(cboFromCurrency, cboToCurrency);
    setTabOrder(cboToCurrency, Check2);
    setTabOrder(Check2, Text2);
    setTabOrder(Text2, Check1);

    accessibility::describe(*this);
    // Qt 6.4 holds a fixed-size window at its size when a Wayland compositor
    // maximizes it or makes it full-screen (its title bar offers maximize), and
    // the compositor ends the connection over the wrong size; Qt 6.8 takes the
    // compositor's size by itself. Versions between were not measured.
    if constexpr (QT_VERSION < QT_VERSION_CHECK(6, 8, 0))
        new CompositorSizing(this);
}

void Form1::paintColours()
{
    const QPalette system = QApplication::palette();
    // A dark style (Adwaita-Dark among them) draws buttons and lists with its own
    // dark surfaces whatever the palette's Button colour says, so white with black
    // text cannot hold there: under a dark palette every control follows it.
    const bool dark = system.color(QPalette::Window).lightness()
        < system.color(QPalette::WindowText).lightness();
    const QPalette *followed = dark ? &system : nullptr;
    m_paintingColours = true;
    // Only the window's own roles: the amount box, the one control without a
    // colour of its own, must not inherit a white Base from the window.
    paintRoles(this, followed, {QPalette::Window});
    for (QWidget *widget : QList<QWidget *> {
             Label2, Label3, Label4, cboFromCurrency, cboToCurrency, Frame2, Text2, Check2, Check1})
        paintRoles(widget, followed);
    // The lists' drop-downs are windows of their own, which do not inherit from this one.
    for (QWidget *widget :
        {static_cast<QWidget *>(this), static_cast<QWidget *>(cboFromCurrency->view()),
            static_cast<QWidget *>(cboToCurrency->view())})
        makeSelectionReadable(widget);
    m_paintingColours = false;
}

void Form1::changeEvent(QEvent *event)
{
    // A new application palette reaches the window as a change of its own
    // palette; so does the window's own painting, which must not start again.
    if (event->type() == QEvent::PaletteChange && !m_paintingColours)
        paintColours();
    QWidget::changeEvent(event);
}
