// The window's description. Positions inside Frame2 are relative to the frame's
// outer corner, as QGroupBox children are. Colours: white everywhere except the
// amount box, which keeps the style's text-field colour, and the line, which has
// none.
#include "ui/form1.h"

#include "ui/accessibility.h"
#include "ui/compositor_sizing.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <cmath>

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

void setTwipsGeometry(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(
        Form1::twips(left), Form1::twips(top), Form1::twips(width), Form1::twips(height));
}

void paintWhite(QWidget *widget)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, Qt::white);
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
    setFixedSize(twips(5670), twips(3525));
    setWindowIcon(transparentIcon());
    paintWhite(this);
    setAutoFillBackground(true);

    // The controls, top to bottom.
    const QFont font = controlFont(9);
    const QFont buttonFont = controlFont(11.25);

    Label2->setText(QStringLiteral("Amount to Convert:"));
    setTwipsGeometry(Label2, 120, 180, 1755, 195);

    Text1->setText(QStringLiteral("1.00"));
    setTwipsGeometry(Text1, 1920, 120, 1395, 315);
    Text1->setAccessibleName(QStringLiteral("Amount to Convert"));

    Label3->setText(QStringLiteral("From:"));
    setTwipsGeometry(Label3, 120, 660, 615, 195);

    setTwipsGeometry(cboFromCurrency, 840, 600, 4755, 345);
    cboFromCurrency->setAccessibleName(QStringLiteral("From"));

    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    // The line is drawn on the window: the mouse over it is over the window.
    Line1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Line1->setGeometry(twips(120), twips(1080), twips(5520 - 120), 1);

    Label4->setText(QStringLiteral("To:"));
    setTwipsGeometry(Label4, 120, 1260, 615, 195);

    setTwipsGeometry(cboToCurrency, 840, 1200, 4755, 345);
    cboToCurrency->setAccessibleName(QStringLiteral("To"));

    Check2->setText(QStringLiteral("Convert"));
    setTwipsGeometry(Check2, 120, 1680, 5415, 400);

    Frame2->setTitle(QStringLiteral("Results"));
    setTwipsGeometry(Frame2, 120, 2160, 5415, 1260);

    setTwipsGeometry(Text2, 120, 300, 5175, 375);
    Text2->setReadOnly(true);
    Text2->setAccessibleName(QStringLiteral("Results"));

    Check1->setText(QStringLiteral("Copy To Clipboard"));
    setTwipsGeometry(Check1, 120, 720, 5175, 400);

    for (QLabel *label : {Label2, Label3, Label4}) {
        label->setFont(font);
        label->setFocusPolicy(Qt::NoFocus);
        label->setTextFormat(Qt::PlainText);
        paintWhite(label);
    }
    for (QWidget *widget :
        {static_cast<QWidget *>(cboFromCurrency), static_cast<QWidget *>(cboToCurrency),
            static_cast<QWidget *>(Frame2), static_cast<QWidget *>(Text2)}) {
        widget->setFont(font);
        paintWhite(widget);
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
        paintWhite(button);
    }

    setTabOrder(Text1, cboFromCurrency);
    setTabOrder(cboFromCurrency, cboToCurrency);
    setTabOrder(cboToCurrency, Check2);
    setTabOrder(Check2, Text2);
    setTabOrder(Text2, Check1);

    accessibility::describe(*this);
    new CompositorSizing(this);
}
