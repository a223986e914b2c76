// One join: settle the output path, run the tool, judge and tidy up.
#include "app/form1.h"

#include "app/inputblocker.h"
#include "join/commandline.h"
#include "naming/outputpath.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>

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

    // 5. The status panel over the result list.
    Picture1->setGeometry(List2->geometry());
    QFont big = Picture1->font();
    big.setPointSize(24);
    Picture1->setFont(big);
    Picture1->setText(QStringLiteral("実行中．．．"));
    Picture1->show();
    Picture1->raise();
    Picture1->repaint();

    // 6. The window paints but acts on no input until the tool has ended.
    ToolRun run;
    {
        InputBlocker blocker;
        run = m_platform.runAndWait(this, start);
    }

    Picture1->hide();
    if (!run.started) {
        m_platform.messageBox(this, QStringLiteral("rmeditorを起動できませんでした:") + startFailure(program, run.error));
        return;
    }
    // 7. The result: the tool ended normally with exit code 0 and left a
    // file with content at the output path. Anything else keeps the sources.
    const bool joined = !run.crashed && run.exitCode == 0 && testFileExists(output) == Existence::Present
                        && QFileInfo(output).size() > 0;
    if (!joined) {
        m_platform.beep();
        List2->addItem(QStringLiteral("作成に失敗しました:") + output);
        return;
    }

    // Each source once; never the output, even when listed as a source.
    // Only a file that is still there after its deletion failed is reported.
    QStringList undeleted;
    if (Check1[2]->isChecked()) {
        QSet<QString> done;
        for (const QString &source : sources) {
            const QString key = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
            if (done.contains(key) || sameFile(source, output))
                continue;
            done.insert(key);
            if (!m_platform.deleteFile(source) && QFileInfo::exists(source))
                undeleted.append(source);
        }
    }
    if (Check1[3]->isChecked())
        ClearList();
    List2->addItem(QStringLiteral("作成に成功しました:") + output);
    if (!undeleted.isEmpty())
        reportUndeleted(undeleted);
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
