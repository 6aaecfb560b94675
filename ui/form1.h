// Form1, the program's one window: its eleven controls with their names, texts,
// places, fonts, colours and tab order, built in code. It holds no behaviour;
// MainWindow (app/main_window.h) derives from it, wires the controls' events to
// its handlers and runs the start-up. Places are given in twips, 15 to the pixel.
#pragma once

#include <QWidget>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);

    // Twips to device-independent pixels.
    static constexpr int twipsPerPixel = 15;
    static int twips(int value);

    // The controls keep the names they have always had; the handlers reach them
    // by name, as the tests do through objectName.
    QLabel *Label2;
    QLineEdit *Text1;
    QLabel *Label3;
    QComboBox *cboFromCurrency;
    QFrame *Line1;
    QLabel *Label4;
    QComboBox *cboToCurrency;
    QPushButton *Check2;
    QGroupBox *Frame2;
    QLineEdit *Text2;
    QPushButton *Check1;

protected:
    void changeEvent(QEvent *event) override;

private:
    // White with black text under a light application palette, the palette's
    // own colours under a dark one; again whenever that palette changes.
    void paintColours();

    bool m_paintingColours = false;
};
