#include "app/tabcontrol.h"
#include "platform/qtplatform.h"
#include "support/harness.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(STANDIN_TOOL);

QStringList readLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class JoinTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void previewUsedAsIs();
    void afterJoinOptions_data();
    void afterJoinOptions();
    void toolFailures_data();
    void toolFailures();
    void stalePreviewAndSaveDialog();
    void saveDialogCancel();
    void saveDialogRejected();
    void stoppedWithMessage_data();
    void stoppedWithMessage();
    void sourcesToTrash();
    void cancelled_data();
    void cancelled();
    void toolLocationForms_data();
    void toolLocationForms();
    void sequentialName();
    void outputNeverDeleted();
    void undeletableSourcesReported();
    void busyWindowIgnoresInput();
    void consoleWindowWhileRunning();
    void resultLinesAccumulate();

private:
    QString source(const QString &name, const QByteArray &content);
    void run();
    std::unique_ptr<Harness> h;
    Form1 *f = nullptr;
    QString log;
    QString rec; // the folder of the clips, with its separator
};

void JoinTest::init()
{
    qunsetenv("STANDIN_MODE");
    qunsetenv("STANDIN_SLEEP_MS");
    h = std::make_unique<Harness>();
    log = h->programDir.filePath(QStringLiteral("tool.log"));
    qputenv("STANDIN_LOG", QFile::encodeName(log));
    QDir().mkpath(h->programDir.filePath(QStringLiteral("rec")));
    rec = QDir::toNativeSeparators(h->programDir.filePath(QStringLiteral("rec"))) + QDir::separator();
    f = &h->startWithTool(kTool);
}

void JoinTest::cleanup()
{
    h.reset();
    f = nullptr;
    qunsetenv("STANDIN_LOG");
}

QString JoinTest::source(const QString &name, const QByteArray &content)
{
    return h->makeFile(QStringLiteral("rec/") + name, content);
}

void JoinTest::run()
{
    f->Command2[0]->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f->joinBusy(), 60000);
}

void JoinTest::previewUsedAsIs()
{
    const QString a = source(QStringLiteral("a 1.rm"), "AAA");
    const QString b = source(QStringLiteral("録画.rm"), "BB");
    const QString c = source(QStringLiteral("c.rm"), "C");
    f->AddSources({a, b, c});
    const QString out = rec + QStringLiteral("new file");
    f->Text5->setText(out); // no extension added, no dialog
    run();
    QVERIFY(h->platform.dialogCalls.isEmpty());
    QCOMPARE(readLog(log), (QStringList{"cwd=" + QFileInfo(kTool).absolutePath(), "arg=-i", "arg=" + a,
                                         "arg=-i", "arg=" + b, "arg=-i", "arg=" + c, "arg=-o", "arg=" + out}));
    QCOMPARE(contentOf(out), QByteArray("AAABBC"));
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + out);
    QCOMPARE(QDir::currentPath(), QFileInfo(kTool).absolutePath());
    QCOMPARE(h->platform.toolStarts[0].commandLine,
             QStringLiteral("rmeditor -i \"%1\" -i \"%2\" -i \"%3\" -o \"%4\"").arg(a, b, c, out));
    QVERIFY(f->Picture1->isHidden());
    QVERIFY(f->Command2[0]->isEnabled());
    QVERIFY(f->m_1->menuAction()->isEnabled());
    QVERIFY(f->m_2->menuAction()->isEnabled());
    QCOMPARE(f->List1->count(), 3);
}

void JoinTest::afterJoinOptions_data()
{
    QTest::addColumn<bool>("deleteSources");
    QTest::addColumn<bool>("clearList");
    QTest::newRow("neither") << false << false;
    QTest::newRow("delete") << true << false;
    QTest::newRow("clear") << false << true;
    QTest::newRow("both") << true << true;
}

void JoinTest::afterJoinOptions()
{
    QFETCH(bool, deleteSources);
    QFETCH(bool, clearList);
    f->Check1[2]->setChecked(deleteSources);
    f->Check1[3]->setChecked(clearList);
    const QString a = source(QStringLiteral("live_01.rm"), "1");
    const QString b = source(QStringLiteral("live_02.rm"), "2");
    f->AddSources({a, b});
    QCOMPARE(f->Text5->text(), rec + QStringLiteral("live_0.rm"));
    f->m_12->trigger(); // the menu entry runs like the button
    QTRY_VERIFY_WITH_TIMEOUT(!f->joinBusy(), 60000);
    const QString out = rec + QStringLiteral("live_0.rm");
    QCOMPARE(contentOf(out), QByteArray("12"));
    QCOMPARE(QFile::exists(a), !deleteSources);
    QCOMPARE(QFile::exists(b), !deleteSources);
    if (deleteSources)
        QCOMPARE(h->platform.deleteRequests, (QStringList{a, b}));
    QCOMPARE(f->List1->count(), clearList ? 0 : 2);
    QCOMPARE(f->Command2[0]->isEnabled(), !clearList);
    QCOMPARE(f->m_12->isEnabled(), !clearList);
    QVERIFY(f->Command2[1]->isEnabled());
    QCOMPARE(f->List2->count(), 1);
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + out);
    QVERIFY(h->platform.messages.isEmpty());
}

void JoinTest::toolFailures_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<bool>("joined");
    QTest::newRow("no output") << QByteArray("fail") << false;
    QTest::newRow("zero bytes") << QByteArray("empty") << false;
    QTest::newRow("crash") << QByteArray("crash") << false;
    QTest::newRow("full output, exit code 3") << QByteArray("exitcode") << false;
    QTest::newRow("output written, then a crash") << QByteArray("partialcrash") << false;
    QTest::newRow("output written, then killed") << QByteArray("killed") << false;
    QTest::newRow("clean end") << QByteArray() << true;
}

void JoinTest::toolFailures()
{
    QFETCH(QByteArray, mode);
    QFETCH(bool, joined);
    qputenv("STANDIN_MODE", mode);
    f->Check1[2]->setChecked(true);
    f->Check1[3]->setChecked(true);
    const QString a = source(QStringLiteral("x1.rm"), "1");
    const QString b = source(QStringLiteral("x2.rm"), "2");
    f->AddSources({a, b});
    const QString out = f->Text5->text();
    run();
    QCOMPARE(h->platform.beeps, joined ? 0 : 1);
    QCOMPARE(f->List2->item(0)->text(),
             (joined ? QStringLiteral("作成に成功しました:") : QStringLiteral("作成に失敗しました:")) + out);
    QCOMPARE(QFile::exists(a), !joined);
    QCOMPARE(QFile::exists(b), !joined);
    QCOMPARE(f->List1->count(), joined ? 0 : 2);
    QCOMPARE(f->Command2[0]->isEnabled(), !joined);

    // A failure line tells the tool's last words; activating it shows all it said.
    QListWidgetItem *line = f->List2->item(0);
    if (!joined) {
        QCOMPARE(line->toolTip(), mode == "fail" ? QStringLiteral("standin: refused on purpose")
                                                 : QStringLiteral("joining 2 clips into ") + out);
        emit f->List2->itemActivated(line);
        QCOMPARE(h->platform.messages.size(), 1);
        QVERIFY(h->platform.messages[0].contains(QStringLiteral("joining 2 clips into ") + out));
    } else {
        emit f->List2->itemActivated(line); // the joined file's folder, in the file manager
        QCOMPARE(h->platform.openedDocuments.size(), 1);
        QCOMPARE(h->platform.openedDocuments[0], QFileInfo(out).absolutePath());
    }
}

void JoinTest::cancelled_data()
{
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<QByteArray>("progress"); // printed by the tool first, or nothing
    QTest::newRow("cancel button, with progress") << QByteArray("button") << QByteArray("250");
    QTest::newRow("Esc, busy bar") << QByteArray("escape") << QByteArray();
    QTest::newRow("a tool that ignores the request is killed") << QByteArray("hung") << QByteArray();
}

void JoinTest::cancelled()
{
    QFETCH(QByteArray, how);
    QFETCH(QByteArray, progress);
    qputenv("STANDIN_PROGRESS", progress);
    qputenv("STANDIN_HANG_MS", "30000");
    qputenv("STANDIN_IGNORE_TERM", how == "hung" ? "1" : "0");
    f->Check1[2]->setChecked(true);
    const QString a = source(QStringLiteral("x1.rm"), "1");
    f->AddSources({a});
    const QString out = rec + QStringLiteral("cancelled.rm");
    f->Text5->setText(out);
    int barMaximum = -1, barValue = -1;
    h->platform.whileToolRunsDelayMs = 400;
    h->platform.whileToolRuns = [&] {
        barMaximum = f->JoinProgress->maximum();
        barValue = f->JoinProgress->value();
        QVERIFY(f->JoinCancel->isVisible());
        if (how == "escape")
            QTest::keyClick(f->List1, Qt::Key_Escape);
        else
            QTest::mouseClick(f->JoinCancel, Qt::LeftButton);
    };
    QElapsedTimer clock;
    clock.start();
    run();
    qunsetenv("STANDIN_HANG_MS");
    qunsetenv("STANDIN_IGNORE_TERM");
    qunsetenv("STANDIN_PROGRESS");
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(barMaximum, progress.isEmpty() ? 0 : 1000);
    if (!progress.isEmpty())
        QCOMPARE(barValue, progress.toInt());
    QCOMPARE(h->platform.beeps, 1);
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に失敗しました:") + out);
    QVERIFY(QFile::exists(a));
    QVERIFY(!QFile::exists(out)); // what the tool left there goes
    QCOMPARE(f->List1->count(), 1);
}

void JoinTest::stalePreviewAndSaveDialog()
{
    const QString a = source(QStringLiteral("song1.rm"), "1");
    const QString b = source(QStringLiteral("song2.rm"), "2");
    f->AddSources({a, b});
    const QString composed = rec + QStringLiteral("song.rm");
    QCOMPARE(f->Text5->text(), composed);
    f->Check2[0]->setChecked(true); // not clicked: the preview stays as it was
    source(QStringLiteral("song.rm"), "taken");
    const QString other = source(QStringLiteral("other.rm"), "taken too");
    const QString chosen = rec + QStringLiteral("chosen");

    h->platform.choose(other);  // also taken: asked again
    h->platform.choose(chosen); // free: taken as it is
    run();
    QCOMPARE(f->Text5->text(), QString()); // the stale preview was emptied
    QCOMPARE(h->platform.dialogCalls.size(), 2);
    const CommonDialogState &first = h->platform.dialogCalls[0].state;
    QVERIFY(h->platform.dialogCalls[0].save);
    QVERIFY(first.cancelError);
    QCOMPARE(first.filter, QStringLiteral("Rm|*.rm"));
    QCOMPARE(first.fileName, rec + QStringLiteral("song.rm")); // digits stripped: "song"
    QCOMPARE(h->platform.dialogCalls[1].state.fileName, other);
    QCOMPARE(contentOf(chosen), QByteArray("12"));
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + chosen);
}

void JoinTest::saveDialogCancel()
{
    const QString a = source(QStringLiteral("k.rm"), "1");
    f->Option1[1]->click();
    f->Text1->setText(QStringLiteral("k"));
    f->AddSources({a}); // k.rm itself is taken: the preview is empty
    QCOMPARE(f->Text5->text(), QString());
    h->platform.cancel();
    run();
    QCOMPARE(h->platform.dialogCalls.size(), 1);
    QCOMPARE(h->platform.dialogCalls[0].state.fileName, a);
    QVERIFY(h->platform.toolStarts.isEmpty());
    QCOMPARE(f->List2->count(), 0);
    QVERIFY(h->platform.messages.isEmpty());
    QVERIFY(f->Command2[0]->isEnabled());
    QVERIFY(f->Command2[1]->isEnabled());
    QVERIFY(f->m_1->menuAction()->isEnabled());
}

void JoinTest::saveDialogRejected()
{
    const QString a = source(QStringLiteral("k.rm"), "1");
    f->Option1[1]->click();
    f->Text1->setText(QStringLiteral("k"));
    f->AddSources({a});
    h->platform.choose(QStringLiteral("bad") + QChar(0) + QStringLiteral("name"));
    h->platform.choose(rec + QStringLiteral("never.rm"));
    run();
    QCOMPARE(h->platform.dialogCalls.size(), 1); // not shown again and again
    QCOMPARE(h->platform.messages.size(), 1);
    QVERIFY(h->platform.toolStarts.isEmpty());
    QCOMPARE(f->List2->count(), 0);
}

void JoinTest::stoppedWithMessage_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::newRow("head without folder") << "nofolder" << "作成場所が正しくありません";
    QTest::newRow("empty location") << "emptylocation" << "作成場所が正しくありません";
    QTest::newRow("empty start number") << "nostart" << "連番設定が不正です";
    QTest::newRow("start above 32767") << "bigstart" << "連番設定が不正です。開始№は0から32767までの数字で指定してください";
    QTest::newRow("pasted letters") << "letters" << "連番設定が不正です。開始№は0から32767までの数字で指定してください";
    QTest::newRow("sequence passes 32767") << "exhausted" << "連番名に空きがありません。32767までの番号はすべて使われています";
    QTest::newRow("tool without folder") << "barename" << "rmeditorの場所が正しくありません。設定で指定し直してください";
    QTest::newRow("tool missing") << "missingtool" << "rmeditorが見つからないか、実行できません:";
    QTest::newRow("tool not executable") << "notexec" << "rmeditorが見つからないか、実行できません:";
}

void JoinTest::stoppedWithMessage()
{
    QFETCH(QString, situation);
    QFETCH(QString, message);
    QString head = source(QStringLiteral("a.rm"), "1");
    f->Option1[2]->click();
    f->Text3[0]->setText(QStringLiteral("t"));
    if (situation == QLatin1String("nofolder"))
        head = QStringLiteral("a.rm");
    else if (situation == QLatin1String("emptylocation"))
        f->Option2[1]->click();
    else if (situation == QLatin1String("nostart"))
        f->Text3[1]->clear();
    else if (situation == QLatin1String("bigstart"))
        f->Text3[1]->setText(QStringLiteral("40000"));
    else if (situation == QLatin1String("letters"))
        f->Text3[1]->setText(QStringLiteral("12ab"));
    else if (situation == QLatin1String("exhausted")) {
        f->Text3[1]->setText(QStringLiteral("32766"));
        source(QStringLiteral("t32766.rm"), "x");
        source(QStringLiteral("t32767.rm"), "x");
    } else if (situation == QLatin1String("barename"))
        f->Text2->setText(QStringLiteral("rmeditor"));
    else if (situation == QLatin1String("missingtool"))
        f->Text2->setText(rec + QStringLiteral("rmeditor"));
    else if (situation == QLatin1String("notexec"))
        f->Text2->setText(source(QStringLiteral("rmeditor"), "#!/bin/sh\n"));
    f->AddSources({head});
    f->Text5->clear();
    run();
    QCOMPARE(h->platform.messages.size(), 1);
    QVERIFY2(h->platform.messages[0].startsWith(message), qPrintable(h->platform.messages[0]));
    QVERIFY(h->platform.toolStarts.isEmpty());
    QCOMPARE(f->List2->count(), 0);
    QVERIFY(f->Command2[0]->isEnabled());
    QVERIFY(f->m_1->menuAction()->isEnabled());
}

void JoinTest::toolLocationForms_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("message"); // empty: the join succeeds
    QTest::newRow("relative to the program's folder") << "relative" << QString();
    QTest::newRow("not a program") << "garbage" << "rmeditorを起動できませんでした:実行できるプログラムではありません（";
}

void JoinTest::toolLocationForms()
{
    QFETCH(QString, form);
    QFETCH(QString, message);
    if (form == QLatin1String("relative")) {
        f->Text2->setText(QDir::toNativeSeparators(QDir(h->dir()).relativeFilePath(kTool)));
        QDir::setCurrent(QDir::rootPath()); // wherever the program was started from
    } else {
        const QString tool = source(QStringLiteral("rmeditor"), QByteArray(64, '\x01'));
        QFile::setPermissions(tool, QFile::permissions(tool) | QFile::ExeOwner);
        f->Text2->setText(tool);
    }
    f->AddSources({source(QStringLiteral("a.rm"), "A")});
    f->Text5->setText(rec + QStringLiteral("out.rm"));
    run();
    if (message.isEmpty()) {
        QVERIFY(h->platform.messages.isEmpty());
        QCOMPARE(contentOf(rec + QStringLiteral("out.rm")), QByteArray("A"));
    } else {
        QCOMPARE(h->platform.messages.size(), 1);
        QVERIFY2(h->platform.messages[0].startsWith(message), qPrintable(h->platform.messages[0]));
    }
}

void JoinTest::sequentialName()
{
    const QString a = source(QStringLiteral("a.rm"), "A");
    source(QStringLiteral("take0001.rm"), "x");
    source(QStringLiteral("take0002.rm"), "x");
    f->Option1[2]->click();
    f->Text3[0]->setText(QStringLiteral("take"));
    f->AddSources({a});
    f->Text5->clear();
    run();
    QVERIFY(h->platform.dialogCalls.isEmpty());
    QCOMPARE(contentOf(rec + QStringLiteral("take0003.rm")), QByteArray("A"));
    QCOMPARE(f->Text3[1]->text(), QStringLiteral("0001"));
}

void JoinTest::outputNeverDeleted()
{
    f->Check1[2]->setChecked(true);
    const QString a = source(QStringLiteral("a.rm"), "A");
    const QString out = rec + QStringLiteral("out.rm");
    f->AddSources({a, out});
    f->Text5->setText(out);
    run();
    QCOMPARE(contentOf(out), QByteArray("A"));
    QVERIFY(!QFile::exists(a));
    QVERIFY(!h->platform.deleteRequests.contains(out));
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + out);
    QVERIFY(h->platform.messages.isEmpty()); // the output is skipped without a word
}

void JoinTest::undeletableSourcesReported()
{
    f->Check1[2]->setChecked(true);
    f->Check1[3]->setChecked(true);
    const QString a = source(QStringLiteral("a1.rm"), "A");
    const QString locked = source(QStringLiteral("a2.rm"), "B");
    const QString c = source(QStringLiteral("a3.rm"), "C");
    h->platform.undeletable.insert(locked);
    f->AddSources({a, locked, a, c}); // a is listed twice
    run();
    QVERIFY(!QFile::exists(a));
    QVERIFY(QFile::exists(locked));
    QVERIFY(!QFile::exists(c));
    QCOMPARE(f->List1->count(), 0);
    QVERIFY(f->List2->item(0)->text().startsWith(QStringLiteral("作成に成功しました:")));
    QCOMPARE(h->platform.messages.size(), 1);
    const QString text = h->platform.messages[0];
    QVERIFY(text.startsWith(QStringLiteral("次のファイルは削除できませんでした:")));
    QVERIFY(text.contains(locked));
    QVERIFY(!text.contains(a)); // its repeat is skipped, not reported
    QVERIFY(!text.contains(c));
    QCOMPARE(h->platform.deleteRequests.count(a), 1);
}

void JoinTest::busyWindowIgnoresInput()
{
    qputenv("STANDIN_SLEEP_MS", "1500");
    QVERIFY(QTest::qWaitForWindowActive(f));
    const QString a = source(QStringLiteral("a.rm"), "A");
    f->AddSources({a});
    const QString out = rec + QStringLiteral("out.rm");
    f->Text5->setText(out);
    bool checked = false;
    h->platform.whileToolRuns = [&] {
        checked = true;
        QVERIFY(f->Picture1->isVisible());
        QCOMPARE(f->Picture1->text(), QStringLiteral("実行中．．．"));
        QCOMPARE(f->Picture1->geometry(), f->List2->geometry());
        QCOMPARE(f->Picture1->font().pointSize(), 24);
        QVERIFY(!f->Command2[0]->isEnabled());
        QVERIFY(!f->Command2[1]->isEnabled());
        QVERIFY(!f->m_1->menuAction()->isEnabled());
        QVERIFY(!f->m_2->menuAction()->isEnabled());
        QVERIFY(!f->close());

        QTest::mouseClick(f->Command2[2], Qt::LeftButton);
        f->SSTab1->setCurrentIndex(1);
        QTest::mouseClick(f->Check1[3], Qt::LeftButton, {}, QPoint(6, 6));
        f->Text4->setFocus();
        QTest::keyClicks(f->Text4, QStringLiteral("typed"));
        auto drop = fileDrop({QStringLiteral("/dropped/x.rm")});
        dropOn(f->List1, drop.get());
        f->SSTab1->setCurrentIndex(0);
    };
    run();
    QVERIFY(checked);
    QVERIFY(h->platform.dialogCalls.isEmpty()); // the select click did nothing
    QVERIFY(!f->Check1[3]->isChecked());
    QCOMPARE(f->Text4->text(), QString());
    QCOMPARE(f->sourceEntries(), QStringList{a});
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + out);
    QVERIFY(f->isVisible());
    // Once the join is over, a close is accepted again.
    QVERIFY(f->close());
}

void JoinTest::consoleWindowWhileRunning()
{
    qputenv("STANDIN_SLEEP_MS", "800");
    f->Check1[1]->setChecked(true);
    f->AddSources({source(QStringLiteral("a.rm"), "A")});
    f->Text5->setText(rec + QStringLiteral("first.rm"));
    bool shown = false;
    h->platform.whileToolRuns = [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("ConsoleWindow") && w->isVisible())
                shown = true;
    };
    run();
    QVERIFY(shown);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(w->objectName() != QLatin1String("ConsoleWindow"));
    QVERIFY(h->platform.toolStarts[0].showConsole);

    // After a failure the console stays until the user closes it.
    qputenv("STANDIN_MODE", "fail");
    qputenv("STANDIN_SLEEP_MS", "0");
    f->Text5->setText(rec + QStringLiteral("failed.rm"));
    run();
    qunsetenv("STANDIN_MODE");
    QWidget *kept = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("ConsoleWindow") && w->isVisible())
            kept = w;
    QVERIFY(kept);
    kept->close();
    qputenv("STANDIN_SLEEP_MS", "800");

    // Not ticked: nothing is shown.
    f->Check1[1]->setChecked(false);
    shown = false;
    f->Text5->clear();
    h->platform.choose(rec + QStringLiteral("second.rm"));
    run();
    QVERIFY(!shown);

    // 60 MB without a line break: the window keeps a bounded text and goes on.
    qputenv("STANDIN_SPEW_MB", "60");
    qputenv("STANDIN_SLEEP_MS", "1500");
    f->Check1[1]->setChecked(true);
    f->Text5->setText(rec + QStringLiteral("third.rm"));
    int longest = 0, blocks = 0;
    h->platform.whileToolRunsDelayMs = 1200;
    h->platform.whileToolRuns = [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            for (auto *text : w->findChildren<QPlainTextEdit *>()) {
                blocks = text->document()->blockCount();
                for (QTextBlock b = text->document()->begin(); b.isValid(); b = b.next())
                    longest = qMax(longest, b.length());
            }
    };
    QElapsedTimer clock;
    clock.start();
    run();
    qunsetenv("STANDIN_SPEW_MB");
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(blocks > 1 && blocks <= 5000);
    QVERIFY(longest <= 4097);
}

void JoinTest::sourcesToTrash()
{
    // The program's own platform moves deleted sources to the desktop's trash.
    QTemporaryDir home;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    // Where this machine's trash for these files is, if it has one.
    QString probeInTrash;
    QFile probe(source(QStringLiteral("probe-%1.rm").arg(QFileInfo(home.path()).fileName()), "P"));
    if (!probe.moveToTrash()) {
        qputenv("XDG_DATA_HOME", before);
        QSKIP("no trash for this file system here");
    }
    probeInTrash = probe.fileName();
    // A name of its own, as earlier runs may have left theirs in the trash.
    const QString name = QStringLiteral("to-trash-%1.rm").arg(QFileInfo(home.path()).fileName());
    const QString a = source(name, "A");
    QtPlatform platform;
    QVERIFY(platform.deleteFile(a));
    qputenv("XDG_DATA_HOME", before);
    QVERIFY(!QFile::exists(a));
    const QString inTrash = QFileInfo(probeInTrash).absolutePath() + QLatin1Char('/') + name;
    QCOMPARE(contentOf(inTrash), QByteArray("A"));
    for (const QString &file : {inTrash, probeInTrash}) {
        QFile::remove(file);
        const QFileInfo trashed(file);
        QFile::remove(trashed.absolutePath() + QStringLiteral("/../info/") + trashed.fileName()
                      + QStringLiteral(".trashinfo"));
    }
}

void JoinTest::resultLinesAccumulate()
{
    f->AddSources({source(QStringLiteral("a.rm"), "A")});
    f->Text5->setText(rec + QStringLiteral("one.rm"));
    run();
    qputenv("STANDIN_MODE", "fail");
    f->Text5->setText(rec + QStringLiteral("two.rm"));
    run();
    QCOMPARE(f->List2->count(), 2);
    QCOMPARE(f->List2->item(0)->text(), QStringLiteral("作成に成功しました:") + rec + QStringLiteral("one.rm"));
    QCOMPARE(f->List2->item(1)->text(), QStringLiteral("作成に失敗しました:") + rec + QStringLiteral("two.rm"));
}

QTEST_MAIN(JoinTest)
#include "tst_join.moc"
