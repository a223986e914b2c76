#include "support/harness.h"

#include "platform/ansi.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>

Harness::Harness()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
}

void Harness::writeIni(const QByteArray &content)
{
    QFile file(iniPath());
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray Harness::readIni() const
{
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Form1 &Harness::start()
{
    form = std::make_unique<Form1>(platform, QDir::toNativeSeparators(dir()));
    form->StartUp();
    return *form;
}

Form1 &Harness::startWithTool(const QString &toolPath)
{
    writeIni("[shoki]\r\npath=" + ansi::encode(toolPath) + "\r\n");
    return start();
}

QString Harness::makeFile(const QString &relative, const QByteArray &content)
{
    const QString path = programDir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return QDir::toNativeSeparators(path);
}

std::unique_ptr<QMimeData> fileDrop(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

bool dropOn(QWidget *target, const QMimeData *data)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(target))
        target = area->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}
