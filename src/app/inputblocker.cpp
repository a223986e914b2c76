#include "app/inputblocker.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

InputBlocker::InputBlocker(QWidget *allowed, std::function<void()> onEscape)
    : m_allowed(allowed), m_onEscape(std::move(onEscape))
{
    qApp->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    qApp->removeEventFilter(this);
}

namespace {

bool belongsToConsole(QObject *watched)
{
    QWidget *widget = qobject_cast<QWidget *>(watched);
    if (!widget && watched->isWindowType()) {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (static_cast<QObject *>(top->windowHandle()) == watched)
                widget = top;
    }
    return widget && widget->window()->objectName() == QLatin1String("ConsoleWindow");
}

} // namespace

bool InputBlocker::reachesAllowed(QObject *watched, QEvent *event) const
{
    if (!m_allowed || !m_allowed->isVisible())
        return false;
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget == m_allowed || m_allowed->isAncestorOf(widget);
    // Mouse events pass the native window first: look at what lies under the pointer.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
        || event->type() == QEvent::MouseButtonDblClick) {
        const QWidget *under = QApplication::widgetAt(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        return under && (under == m_allowed || m_allowed->isAncestorOf(under));
    }
    return false;
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && m_onEscape && !belongsToConsole(watched)) {
        m_onEscape();
        return true;
    }
    if (reachesAllowed(watched, event) && event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease: {
        return !belongsToConsole(watched);
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        event->ignore();
        return true;
    default:
        return false;
    }
}
