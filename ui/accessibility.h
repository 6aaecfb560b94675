// What assistive technology (a screen reader over AT-SPI) is told about the
// window: accessible interfaces for the text boxes and the push-style buttons,
// installed as a factory ahead of Qt's own, the labels tied to the lists they
// name, and a way to have a message spoken without moving the focus. Form1 calls
// installInterfaces() and describe(); MainWindow announces each result.
#pragma once

#include <QString>

class Form1;
class QWidget;

namespace accessibility
{

// Dynamic property that marks a checkable QPushButton as a push-style toggle:
// the program sets it back at once, so it is exposed as a plain push button.
inline constexpr char pushStyleProperty[] = "korvaluxPushStyle";

// Puts the factory ahead of Qt's own; does nothing on later calls. Must run
// before the widgets' interfaces are first asked for, which a running screen
// reader does as soon as a widget is created.
void installInterfaces();

// Ties the labels to the lists, marks the two buttons as push-style and gives
// the window its (hidden) notification for announce().
void describe(Form1 &form);

// Has a screen reader speak message now without moving the focus, through the
// notification describe() gave the window.
void announce(QWidget *window, const QString &message);

} // namespace accessibility
