#include "app/filedrop.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QStringList localFilesOf(const QMimeData *data)
{
    QStringList files;
    if (!data)
        return files;
    const QList<QUrl> urls = data->urls();
    files.reserve(urls.size());
    for (const QUrl &url : urls)
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(QDir::toNativeSeparators(url.toLocalFile()));
    return files;
}

FileDropFilter::FileDropFilter(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{
}

void FileDropFilter::install(QWidget *target, OtherDrags other)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(target))
        target = area->viewport();
    target->setAcceptDrops(true);
    target->installEventFilter(this);
    if (other == OtherDrags::Refuse)
        m_refusing.append(target);
}

bool FileDropFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (!drag->mimeData()->hasUrls()) {
            if (!m_refusing.contains(watched))
                return false;
            drag->ignore();
            return true;
        }
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasUrls()) {
            if (!m_refusing.contains(watched))
                return false;
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        m_handler(drop->mimeData());
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
