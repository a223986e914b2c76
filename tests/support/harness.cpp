#include "support/harness.h"

#include "app/overlaplist.h"
#include "app/tabcontrol.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"

#include "platform/ansi.h"

#include <QAbstractScrollArea>
#include <QProgressBar>
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

Harness::~Harness()
{
    // Dialogs save their state as they go, some after the window; what they
    // write after this harness lands in a folder that lives as long as the
    // test, not in a recreated copy of this one left behind in the temp folder.
    form.reset();
    static QTemporaryDir afterwards;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(afterwards.path()));
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
    // Offered as a file manager offers its files; a move would have it delete them.
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction)
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QObject *namedChild(QObject &window, const char *name)
{
    QObject *found = window.findChild<QObject *>(QLatin1String(name));
    if (!found)
        qFatal("the window has no control named %s", name);
    return found;
}

namespace {

template <typename T, size_t N>
std::array<T *, N> controls(QObject &window, const char *name)
{
    std::array<T *, N> found{};
    for (size_t i = 0; i < N; ++i)
        found[i] = control<T>(window, QByteArray(name).append('_').append(QByteArray::number(qulonglong(i))).constData());
    return found;
}

} // namespace

Form1View::Form1View(Form1 &f)
    : SSTab1(control<TabControl>(f, "SSTab1")), List1(control<QListView>(f, "List1")),
      List2(control<OverlappedList>(f, "List2")), Text5(control<QLineEdit>(f, "Text5")),
      Command2(controls<QPushButton, 3>(f, "Command2")), Picture1(control<QLabel>(f, "Picture1")),
      JoinProgress(control<QProgressBar>(f, "JoinProgress")), JoinCancel(control<QPushButton>(f, "JoinCancel")),
      Text2(control<QLineEdit>(f, "Text2")), Command1(control<QPushButton>(f, "Command1")),
      Check1(controls<QCheckBox, 4>(f, "Check1")), Frame2(control<QGroupBox>(f, "Frame2")),
      Option2(controls<QRadioButton, 2>(f, "Option2")), Text4(control<QLineEdit>(f, "Text4")),
      Frame1(control<QGroupBox>(f, "Frame1")), Option1(controls<QRadioButton, 3>(f, "Option1")),
      Check2(controls<QCheckBox, 3>(f, "Check2")), Text1(control<QLineEdit>(f, "Text1")),
      Label1(controls<QLabel, 2>(f, "Label1")), Text3(controls<QLineEdit, 2>(f, "Text3")),
      m_1(control<QMenu>(f, "m_1")), m_2(control<QMenu>(f, "m_2")), m_3(control<QMenu>(f, "m_3")),
      m_11(control<QAction>(f, "m_11")), m_12(control<QAction>(f, "m_12")), m_15(control<QAction>(f, "m_15")),
      m_14(control<QAction>(f, "m_14")), m_21(control<QAction>(f, "m_21")), m_31(control<QAction>(f, "m_31")),
      m_33(control<QAction>(f, "m_33")), sources(qobject_cast<SourceList *>(List1->model())),
      results(qobject_cast<ResultList *>(List2->model()))
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

QString misplacedControl(const QWidget *container,
                         const std::function<bool(const QWidget *, const QWidget *)> &together)
{
    QWidgetList shown;
    for (QWidget *w : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!w->isHidden())
            shown.append(w);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (!container->rect().contains(shown[i]->geometry()))
            return shown[i]->objectName() + QStringLiteral(" runs off ") + container->objectName();
        for (qsizetype j = 0; j < i; ++j) {
            const QRect both = shown[i]->geometry().intersected(shown[j]->geometry());
            if (both.width() > 2 && both.height() > 2 && !(together && together(shown[i], shown[j])))
                return shown[i]->objectName() + QStringLiteral(" covers ") + shown[j]->objectName();
        }
    }
    return {};
}
