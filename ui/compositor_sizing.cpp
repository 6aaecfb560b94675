// The lift happens on the state change itself, which Qt delivers when the
// request leaves the program (the title bar's maximize button) and before the
// compositor's answer arrives; the fixed size comes back only once the window
// stands at that size again, since fixing it earlier would shrink a surface the
// compositor still holds maximized.
#include "ui/compositor_sizing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

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
    if (watched == m_window
        && (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Resize)
        && platformObliges())
        follow();
    return QObject::eventFilter(watched, event);
}

void CompositorSizing::follow()
{
    const bool compositorSized
        = m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    if (compositorSized) {
        if (m_window->maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX))
            m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else if (m_window->size() == m_fixedSize && m_window->maximumSize() != m_fixedSize) {
        m_window->setFixedSize(m_fixedSize);
    }
}
