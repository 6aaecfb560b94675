// The lift must happen before the compositor's answer to a maximize request is
// applied, or Qt clamps the configured size to the fixed one: the native
// window's state signal fires as the request leaves the program (the title bar's
// maximize button), the widget's own state event only after the answer. The fixed
// size comes back only once the window stands at that size again, since fixing
// it earlier would shrink a surface the compositor still holds maximized.
#include "ui/compositor_sizing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

CompositorSizing::CompositorSizing(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_fixedSize(window->size())
{
    window->installEventFilter(this);
}

bool CompositorSizing::platformObliges()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool CompositorSizing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || !platformObliges())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Show:
        if (!m_watchingHandle && m_window->windowHandle()) {
            m_watchingHandle = true;
            connect(m_window->windowHandle(), &QWindow::windowStateChanged, this,
                [this](Qt::WindowState state) { follow(state); });
        }
        break;
    case QEvent::WindowStateChange:
    case QEvent::Resize:
        follow(m_window->windowState());
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CompositorSizing::follow(Qt::WindowStates states)
{
    const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (states & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        if (m_window->maximumSize() != unlimited)
            m_window->setMaximumSize(unlimited);
    } else if (m_window->size() == m_fixedSize && m_window->maximumSize() != m_fixedSize) {
        m_window->setFixedSize(m_fixedSize);
    }
}
