#include "app/inputblocker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

InputBlocker::InputBlocker()
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

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
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
