// One join: settle the output path, run the tool, judge and tidy up.
#include "app/form1.h"

#include "app/inputblocker.h"
#include "app/overlaplist.h"
#include "app/tabcontrol.h"
#include "join/commandline.h"
#include "join/joinjob.h"
#include "join/resultlist.h"
#include "naming/outputpath.h"
#include "platform/consolewindow.h"
#include "sources/sourcelist.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>

namespace {

QString cannotCheck(const QString &path)
{
    return QStringLiteral("作成場所を確認できません:") + path;
}

QString messageFor(const ComposedPath &composed)
{
    switch (composed.status) {
    case ComposedPath::Status::NoFolder:
        return QStringLiteral("作成場所が正しくありません");
    case ComposedPath::Status::NoStartNumber:
        return QStringLiteral("連番設定が不正です");
    case ComposedPath::Status::BadStartNumber:
        return QStringLiteral("連番設定が不正です。開始№は0から32767までの数字で指定してください");
    case ComposedPath::Status::SequenceExhausted:
        return QStringLiteral("連番名に空きがありません。32767までの番号はすべて使われています");
    case ComposedPath::Status::Unanswerable:
        return cannotCheck(composed.path);
    case ComposedPath::Status::Free:
    case ComposedPath::Status::Occupied:
        break;
    }
    return {};
}

// Why the tool could not be started, in the user's words, the system's own
// text as detail.
QString startFailure(const QString &program, const QString &systemText)
{
    const QFileInfo info(program);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("ファイルが見つかりません");
    else if (!info.isExecutable())
        reason = QStringLiteral("実行する権限がありません");
    else
        reason = QStringLiteral("実行できるプログラムではありません");
    return reason + QStringLiteral("（") + systemText + QStringLiteral("）");
}

} // namespace

void Form1::RunJoin()
{
    const std::optional<QString> output = settleOutput();
    if (!output)
        return;
    const std::optional<JoinRequest> request = composeRequest(*output);
    if (request)
        startJob(*request);
}

// The output path: the preview as it stands, or composed anew. None when
// the user was told why not, or cancelled.
std::optional<QString> Form1::settleOutput()
{
    // A preview that names a file which has appeared meanwhile is stale.
    if (!Text5->text().isEmpty() && testFileExists(Text5->text()) == Existence::Present)
        Text5->clear();
    const QString preview = Text5->text();
    if (!preview.isEmpty()) {
        if (testFileExists(preview) != Existence::Unknown)
            return preview;
        m_platform.messageBox(this, cannotCheck(preview));
        return std::nullopt;
    }
    const ComposedPath composed = composeOutputPath(namingOptions());
    if (composed.status == ComposedPath::Status::Free)
        return composed.path;
    if (composed.status == ComposedPath::Status::Occupied)
        return askForFreeName(composed.path);
    m_platform.messageBox(this, messageFor(composed));
    return std::nullopt;
}

// An occupied name: the save dialog asks for another until a free one is chosen.
std::optional<QString> Form1::askForFreeName(QString output)
{
    for (;;) {
        CD1.properties.cancelError = true;
        CD1.properties.fileName = output;
        CD1.properties.filter = QStringLiteral("Rm|*.rm");
        const DialogOutcome outcome = CD1.ShowSave();
        if (outcome == DialogOutcome::Cancelled)
            return std::nullopt;
        if (outcome == DialogOutcome::Failed || CD1.properties.fileName.isEmpty()) {
            m_platform.messageBox(this, QStringLiteral("保存先のファイル名が正しくありません"));
            return std::nullopt;
        }
        output = CD1.properties.fileName;
        const Existence taken = testFileExists(output);
        if (taken == Existence::Absent)
            return output;
        if (taken == Existence::Unknown) {
            m_platform.messageBox(this, cannotCheck(output));
            return std::nullopt;
        }
    }
}

// The join as the controls say now: the tool, its arguments and what follows.
std::optional<JoinRequest> Form1::composeRequest(const QString &output)
{
    const ToolLocation tool = splitToolLocation(Text2->text());
    if (!tool.usable) {
        m_platform.messageBox(this, QStringLiteral("rmeditorの場所が正しくありません。設定で指定し直してください"));
        return std::nullopt;
    }
    // A relative location counts from the program's folder, whatever the
    // current folder is (it is changed when the tool starts).
    JoinRequest request;
    request.workingDirectory = QDir::cleanPath(QDir(m_programDir).absoluteFilePath(tool.folder));
    request.program = QDir(request.workingDirectory).filePath(tool.fileName);
    const QFileInfo programInfo(request.program);
    if (!programInfo.isFile() || !programInfo.isExecutable()) {
        m_platform.messageBox(this, QStringLiteral("rmeditorが見つからないか、実行できません:")
                                        + QDir::toNativeSeparators(request.program));
        return std::nullopt;
    }
    request.sources = sourceEntries();
    request.output = output;
    request.commandLine = joinCommandLine(tool, request.sources, output);
    request.showConsole = Check1[1]->isChecked();
    request.deleteSources = Check1[2]->isChecked();
    request.clearList = Check1[3]->isChecked();
    return request;
}

// The tool runs on its own; the window paints but acts on no input but the
// cancel button and Esc until the tool has ended.
void Form1::startJob(const JoinRequest &request)
{
    QDir::setCurrent(request.workingDirectory);
    showStatusPanel();
    m_job = std::make_unique<JoinJob>(request, [this](const QString &path) { return m_platform.deleteFile(path); });
    if (request.showConsole) {
        m_console = new ConsoleWindow(this, request.commandLine);
        m_console->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_job.get(), &JoinJob::outputArrived, m_console, &ConsoleWindow::append);
    }
    connect(m_job.get(), &JoinJob::progressed, JoinProgress, [this](int perMille) {
        JoinProgress->setRange(0, 1000);
        JoinProgress->setValue(perMille);
    });
    connect(m_job.get(), &JoinJob::stateChanged, this, &Form1::jobStateChanged);
    m_blocker = std::make_unique<InputBlocker>(JoinCancel, [this] { cancelJoin(); });
    lockControls(true);
    emit joinStarted(m_job.get());
    m_job->start();
}

// The status panel over the result list, with a bar and the cancel button.
void Form1::showStatusPanel()
{
    QFont big = Picture1->font();
    big.setPointSize(24);
    Picture1->setFont(big);
    Picture1->setText(QStringLiteral("実行中．．．"));
    JoinProgress->setRange(0, 0); // busy until the tool tells how far it is
    placeStatusPanel();
    Picture1->show();
    Picture1->raise();
    Picture1->repaint();
}

void Form1::jobStateChanged()
{
    switch (m_job->state()) {
    case JoinJob::State::Running:
        if (m_console)
            m_console->show();
        break;
    case JoinJob::State::StartFailed:
        jobStartFailed();
        break;
    case JoinJob::State::Succeeded:
    case JoinJob::State::Failed:
    case JoinJob::State::Cancelled:
        finishJoin();
        break;
    default:
        break;
    }
}

void Form1::jobStartFailed()
{
    m_blocker.reset();
    lockControls(false);
    Picture1->hide();
    if (m_console)
        m_console->close();
    const QString program = m_job->request().program;
    const QString error = m_job->startError();
    m_job.release()->deleteLater(); // it is still telling its state
    endRun();
    m_platform.messageBox(this, QStringLiteral("rmeditorを起動できませんでした:") + startFailure(program, error));
}

bool Form1::joinBusy() const
{
    return m_job && m_job->busy();
}

void Form1::cancelJoin()
{
    if (m_job)
        m_job->cancel();
}

void Form1::placeStatusPanel()
{
    Picture1->setGeometry(List2->geometry());
    const int margin = 8;
    const QSize button = JoinCancel->sizeHint();
    const int below = Picture1->height() / 2;
    JoinCancel->setGeometry(Picture1->width() - margin - button.width(), below, button.width(), button.height());
    JoinProgress->setGeometry(margin, below + (button.height() - 16) / 2,
                              qMax(0, JoinCancel->x() - 2 * margin), 16);
}

// The result, as the join layer judged and tidied it: the window shows its
// line, clears the list when told to and names the sources it could not delete.
void Form1::finishJoin()
{
    m_blocker.reset();
    lockControls(false);
    Picture1->hide();
    JoinJob &ended = *m_job.release();
    ended.deleteLater(); // it is still telling its state
    const bool joined = ended.state() == JoinJob::State::Succeeded;
    if (m_console) {
        m_console->flush();
        if (joined)
            m_console->close(); // after a failure it stays until the user closes it
    }
    if (ended.state() == JoinJob::State::Failed)
        m_platform.beep();
    if (ended.clearsList())
        ClearList();
    const int row = m_results->add(ended.resultLine());
    List2->scrollTo(m_results->index(row)); // the newest result is always in sight
    endRun();
    if (!ended.undeleted().isEmpty())
        reportUndeleted(ended.undeleted());
}

// While the tool runs the window takes no input; its controls say so. Only
// the ones enabled now are disabled, and only those come back.
void Form1::lockControls(bool locked)
{
    if (!locked) {
        for (const QPointer<QWidget> &control : std::as_const(m_lockedControls))
            if (control)
                control->setEnabled(true);
        m_lockedControls.clear();
        m_3->menuAction()->setEnabled(true);
        return;
    }
    QWidgetList controls{SSTab1->tabBar()};
    for (int page = 0; page < SSTab1->count(); ++page)
        controls += SSTab1->page(page)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *control : std::as_const(controls)) {
        if (control == Picture1 || control == List2 || !control->isEnabled() || control->isHidden())
            continue;
        control->setEnabled(false);
        m_lockedControls.append(control);
    }
    m_3->menuAction()->setEnabled(false);
}

// A failure or cancel line shows what the tool said; a success line opens the folder.
void Form1::resultActivated(const QModelIndex &index)
{
    if (!index.isValid() || joinBusy())
        return;
    const ResultLine &line = m_results->line(index.row());
    if (line.detail) {
        const QString summary = line.tip.isEmpty() ? line.text : line.text + QLatin1Char('\n') + line.tip;
        if (line.detail->isEmpty())
            m_platform.messageBox(this, summary);
        else
            m_platform.showDetails(this, summary, *line.detail);
        return;
    }
    if (!line.folder.isEmpty())
        m_platform.openDocument(this, line.folder, line.folder);
}

void Form1::reportUndeleted(const QStringList &paths)
{
    constexpr int kListed = 20;
    QString text = QStringLiteral("次のファイルは削除できませんでした:");
    for (qsizetype i = 0; i < paths.size() && i < kListed; ++i)
        text += QLatin1Char('\n') + paths[i];
    if (paths.size() > kListed)
        text += QStringLiteral("\nほか%1件").arg(paths.size() - kListed);
    m_platform.messageBox(this, text);
}
