// One join: settle the output path, run the tool, judge and tidy up.
#include "app/form1.h"

#include "app/inputblocker.h"
#include "join/joinrun.h"
#include "platform/consolewindow.h"
#include "join/commandline.h"
#include "naming/outputpath.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include "app/tabcontrol.h"

namespace {

// Whether two paths name the same file: the same file on disk when both
// exist, otherwise the same absolute path.
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return QString::compare(ca, cb, kFileNameCase) == 0;
    return QString::compare(QDir::cleanPath(fa.absoluteFilePath()),
                            QDir::cleanPath(fb.absoluteFilePath()), kFileNameCase) == 0;
}

QString messageFor(ComposedPath::Status status)
{
    switch (status) {
    case ComposedPath::Status::NoFolder:
        return QStringLiteral("作成場所が正しくありません");
    case ComposedPath::Status::NoStartNumber:
        return QStringLiteral("連番設定が不正です");
    case ComposedPath::Status::BadStartNumber:
        return QStringLiteral("連番設定が不正です。開始№は0から32767までの数字で指定してください");
    case ComposedPath::Status::SequenceExhausted:
        return QStringLiteral("連番名に空きがありません。32767までの番号はすべて使われています");
    case ComposedPath::Status::Unanswerable:
        return QStringLiteral("作成場所を確認できません");
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

constexpr int kDetailRole = Qt::UserRole + 1; // a failure line: all the tool said
constexpr int kFolderRole = Qt::UserRole + 2; // a success line: the joined file's folder

} // namespace

void Form1::RunJoin()
{
    // 1. A preview that names a file which has appeared meanwhile is stale.
    if (!Text5->text().isEmpty() && testFileExists(Text5->text()) == Existence::Present)
        Text5->clear();

    // 2. The output path: the preview as it stands, or composed anew.
    QString output = Text5->text();
    if (!output.isEmpty()) {
        if (testFileExists(output) == Existence::Unknown) {
            m_platform.messageBox(this, QStringLiteral("作成場所を確認できません:") + output);
            return;
        }
    } else {
        const ComposedPath composed = composeOutputPath(namingOptions());
        if (composed.status != ComposedPath::Status::Free
            && composed.status != ComposedPath::Status::Occupied) {
            QString message = messageFor(composed.status);
            if (composed.status == ComposedPath::Status::Unanswerable)
                message += QLatin1Char(':') + composed.path;
            m_platform.messageBox(this, message);
            return;
        }
        output = composed.path;
        // An occupied name: ask for another one until a free one is chosen.
        Existence taken = composed.status == ComposedPath::Status::Occupied ? Existence::Present
                                                                             : Existence::Absent;
        while (taken == Existence::Present) {
            CD1.properties.cancelError = true;
            CD1.properties.fileName = output;
            CD1.properties.filter = QStringLiteral("Rm|*.rm");
            const DialogOutcome outcome = CD1.ShowSave();
            if (outcome == DialogOutcome::Cancelled)
                return;
            if (outcome == DialogOutcome::Failed || CD1.properties.fileName.isEmpty()) {
                m_platform.messageBox(this, QStringLiteral("保存先のファイル名が正しくありません"));
                return;
            }
            output = CD1.properties.fileName;
            taken = testFileExists(output);
            if (taken == Existence::Unknown) {
                m_platform.messageBox(this, QStringLiteral("作成場所を確認できません:") + output);
                return;
            }
        }
    }

    // 3. and 4. The tool and its arguments.
    const ToolLocation tool = splitToolLocation(Text2->text());
    if (!tool.usable) {
        m_platform.messageBox(this, QStringLiteral("rmeditorの場所が正しくありません。設定で指定し直してください"));
        return;
    }
    // A relative location counts from the program's folder, whatever the
    // current folder is (it is changed below).
    const QString toolFolder = QDir::cleanPath(QDir(m_programDir).absoluteFilePath(tool.folder));
    const QString program = QDir(toolFolder).filePath(tool.fileName);
    const QFileInfo programInfo(program);
    if (!programInfo.isFile() || !programInfo.isExecutable()) {
        m_platform.messageBox(this, QStringLiteral("rmeditorが見つからないか、実行できません:")
                                        + QDir::toNativeSeparators(program));
        return;
    }

    // The very entries handed to the tool are the ones deleted afterwards.
    const QStringList sources = sourceEntries();
    ToolStart start;
    start.program = program;
    start.arguments = joinArguments(sources, output);
    start.workingDirectory = toolFolder;
    start.showConsole = Check1[1]->isChecked();
    start.commandLine = joinCommandLine(tool, sources, output);
    QDir::setCurrent(toolFolder);

    // 5. The status panel over the result list, with a bar and the cancel button.
    QFont big = Picture1->font();
    big.setPointSize(24);
    Picture1->setFont(big);
    Picture1->setText(QStringLiteral("実行中．．．"));
    JoinProgress->setRange(0, 0); // busy until the tool tells how far it is
    placeStatusPanel();
    Picture1->show();
    Picture1->raise();
    Picture1->repaint();

    // 6. The tool runs on its own; the window paints but acts on no input
    // but the cancel button and Esc until the tool has ended.
    m_join = new JoinRun(output, this);
    if (start.showConsole) {
        m_console = new ConsoleWindow(this, start.commandLine);
        m_console->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_join, &JoinRun::outputArrived, m_console, &ConsoleWindow::append);
    }
    connect(m_join, &JoinRun::progressed, JoinProgress, [this](int perMille) {
        JoinProgress->setRange(0, 1000);
        JoinProgress->setValue(perMille);
    });
    connect(m_join, &JoinRun::ended, this, [this, sources, output] { finishJoin(sources, output); });
    m_blocker = std::make_unique<InputBlocker>(JoinCancel, [this] { cancelJoin(); });
    lockControls(true);
    if (!m_platform.startTool(*m_join, start)) {
        m_blocker.reset();
        lockControls(false);
        Picture1->hide();
        if (m_console)
            m_console->close();
        const QString error = m_join->startError();
        delete m_join;
        m_join = nullptr;
        m_platform.messageBox(this, QStringLiteral("rmeditorを起動できませんでした:") + startFailure(program, error));
        return;
    }
    if (m_console)
        m_console->show();
}

bool Form1::joinBusy() const
{
    return m_join && m_join->busy();
}

void Form1::cancelJoin()
{
    if (m_join)
        m_join->cancel();
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

void Form1::finishJoin(const QStringList &sources, const QString &output)
{
    // 7. The result. Success: the tool ended normally with exit code 0 and
    // left a file with content at the output path; anything else, a cancel
    // included, keeps the sources and the list.
    m_blocker.reset();
    lockControls(false);
    Picture1->hide();
    const JoinRun::State state = m_join->state();
    const QString lastMessage = m_join->lastMessage();
    const QString detail = m_join->details();
    const QString reason = m_join->endReason();
    const bool partial = m_join->partialMayRemain();
    m_join->deleteLater();
    m_join = nullptr;
    if (m_console) {
        m_console->flush();
        if (state == JoinRun::State::Succeeded)
            m_console->close(); // after a failure it stays until the user closes it
    }
    if (state == JoinRun::State::Cancelled) {
        QString note = QStringLiteral("中止しました");
        if (partial)
            note += QStringLiteral("。途中まで書かれたファイルがこの場所に残っているかもしれません");
        addResultLine(QStringLiteral("作成を中止しました:") + output, note, detail);
        endRun();
        return;
    }
    if (state != JoinRun::State::Succeeded) {
        m_platform.beep();
        const QString tip = lastMessage.isEmpty() || lastMessage == reason ? reason : lastMessage + QLatin1Char('\n') + reason;
        addResultLine(QStringLiteral("作成に失敗しました:") + output, tip, detail);
        endRun();
        return;
    }

    // Each source once; never the output, even when listed as a source.
    // Only a file that is still there after its deletion failed is reported.
    QStringList undeleted;
    int deletedForGood = 0;
    if (Check1[2]->isChecked()) {
        QSet<QString> done;
        for (const QString &source : sources) {
            const QString key = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
            if (done.contains(key) || sameFile(source, output))
                continue;
            done.insert(key);
            const Deletion deletion = m_platform.deleteFile(source);
            if (deletion == Deletion::Deleted)
                ++deletedForGood;
            else if (deletion == Deletion::Failed && QFileInfo::exists(source))
                undeleted.append(source);
        }
    }
    if (Check1[3]->isChecked())
        ClearList();
    auto *line = addResultLine(QStringLiteral("作成に成功しました:") + output, QString());
    line->setData(kFolderRole, QFileInfo(output).absolutePath());
    if (deletedForGood > 0)
        line->setToolTip(QStringLiteral("ごみ箱に移せなかったため、元のファイル%1個を削除しました").arg(deletedForGood));
    endRun();
    if (!undeleted.isEmpty())
        reportUndeleted(undeleted);
}

QListWidgetItem *Form1::addResultLine(const QString &text, const QString &tip, const QVariant &detail)
{
    auto *line = new QListWidgetItem(text);
    line->setToolTip(tip);
    if (detail.isValid()) // what the tool said, for a line that did not join
        line->setData(kDetailRole, detail);
    List2->addItem(line);
    List2->scrollToItem(line); // the newest result is always in sight
    return line;
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
void Form1::resultActivated(QListWidgetItem *item)
{
    if (!item || joinBusy())
        return;
    if (item->data(kDetailRole).isValid()) {
        const QString detail = item->data(kDetailRole).toString();
        const QString summary = item->toolTip().isEmpty() ? item->text() : item->text() + QLatin1Char('\n') + item->toolTip();
        if (detail.isEmpty())
            m_platform.messageBox(this, summary);
        else
            m_platform.showDetails(this, summary, detail);
        return;
    }
    const QString folder = item->data(kFolderRole).toString();
    if (!folder.isEmpty())
        m_platform.openDocument(this, folder, folder);
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
