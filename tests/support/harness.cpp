#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"

#include "platform/ansi.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QTimer>
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
    // Every join the window starts is recorded; a scripted step runs while its tool does.
    QObject::connect(form.get(), &Form1::joinStarted, form.get(), [this](JoinJob *job) {
        platform.toolStarts.append(job->request());
        if (platform.whileToolRuns)
            QTimer::singleShot(platform.whileToolRunsDelayMs, platform.whileToolRuns);
    });
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

Form1View::Form1View(Form1 &f)
    : SSTab1(f.SSTab1), List1(f.List1), List2(f.List2), Text5(f.Text5), Command2(f.Command2), Picture1(f.Picture1),
      JoinProgress(f.JoinProgress), JoinCancel(f.JoinCancel), Label2(f.Label2), Text2(f.Text2), Command1(f.Command1),
      Check1(f.Check1), Frame2(f.Frame2), Option2(f.Option2), Text4(f.Text4), Frame1(f.Frame1), Option1(f.Option1),
      Check2(f.Check2), Text1(f.Text1), Label1(f.Label1), Text3(f.Text3), m_1(f.m_1), m_2(f.m_2), m_3(f.m_3),
      m_11(f.m_11), m_12(f.m_12), m_15(f.m_15), m_13(f.m_13), m_14(f.m_14), m_21(f.m_21), m_31(f.m_31),
      m_32(f.m_32), m_33(f.m_33), CD1(&f.CD1), sources(f.m_sources), results(f.m_results)
{
}

QString Form1View::sourceTip(int row) const
{
    return sources->data(sources->index(row), Qt::ToolTipRole).toString();
}

QString Form1View::resultText(int row) const
{
    return results->data(results->index(row), Qt::DisplayRole).toString();
}

QString Form1View::resultTip(int row) const
{
    return results->data(results->index(row), Qt::ToolTipRole).toString();
}

void Form1View::activateResult(int row) const
{
    emit List2->activated(results->index(row));
}
