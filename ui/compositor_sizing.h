// Keeps a fixed-size top-level window within the Wayland protocol. Under a
// Wayland compositor a maximized (or full-screen) window must take the size the
// compositor gives it, or the compositor ends the connection and the program
// with it. While the window is maximized or full-screen its upper size limit is
// lifted; once the compositor has given its own size back, the window is fixed
// again. Other platforms are left alone. Form1 installs one on itself where its
// Qt needs it.
#pragma once

#include <QObject>
#include <QSize>

class QWidget;

class CompositorSizing : public QObject
{
    Q_OBJECT

public:
    // Watches window, whose size at this moment is the fixed size it keeps.
    explicit CompositorSizing(QWidget *window);

    // Whether the current platform obliges a window to take a configured size.
    static bool platformObliges();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(Qt::WindowStates states);

    QWidget *m_window;
    QSize m_fixedSize;
    bool m_watchingHandle = false;
};
