#include "about/regvalue.h"
#include "app/layout.h"
#include "join/commandline.h"
#include "join/joinjob.h"
#include "platform/profile.h"
#include "platform/ansi.h"
#include "settings/settingkeys.h"
#include "sources/clipfacts.h"
#include "sources/listedit.h"
#include "sources/selection.h"
#include "sources/sourcelist.h"

#include <QDir>
#include <QProcess>
#include <QTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <utility>
#ifndef Q_OS_WIN
#include <signal.h>
#endif

namespace {
QString nat(QString path)
{
    return path.replace(QLatin1Char('\\'), QDir::separator());
}
const QChar NUL(0);
} // namespace

class RulesTest : public QObject
{
    Q_OBJECT
private slots:
    void listEdits_data();
    void listEdits();
    void dialogSelection_data();
    void dialogSelection();
    void argumentText_data();
    void argumentText();
    void toolLocation_data();
    void toolLocation();
    void layoutFigures_data();
    void layoutFigures();
    void layoutWhileMinimisedOrHidden();
    void registryValue_data();
    void registryValue();
    void rounding_data();
    void rounding();
    void lengthTexts_data();
    void lengthTexts();
    void clipReaderReadsAChangedClipAgain();
    void firstClipsFactsRemarkEveryRow();
    void settingsTable_data();
    void settingsTable();
    void joinJob_data();
    void joinJob();
    void jobGoneWhileRunning();
    void toolsOwnFileFound();
    void joinerLeavesNothing_data();
    void joinerLeavesNothing();
};

void RulesTest::dialogSelection_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("folder");

    QTest::newRow("one file") << nat("C:\\rec\\a b.rm") << QStringList{nat("C:\\rec\\a b.rm")} << nat("C:\\rec\\");
    QTest::newRow("several, sorted") << nat("C:\\rec") + NUL + "b.rm" + NUL + "a.rm" + NUL + "C.rm"
                                     << QStringList{nat("C:\\rec\\a.rm"), nat("C:\\rec\\b.rm"), nat("C:\\rec\\C.rm")}
                                     << nat("C:\\rec\\");
    QTest::newRow("characters, not numbers") << nat("C:\\rec") + NUL + "clip2.rm" + NUL + "clip10.rm"
                                             << QStringList{nat("C:\\rec\\clip10.rm"), nat("C:\\rec\\clip2.rm")}
                                             << nat("C:\\rec\\");
    QTest::newRow("trailing NUL") << nat("C:\\rec") + NUL + "x.rm" + NUL + "y.rm" + NUL
                                  << QStringList{nat("C:\\rec\\x.rm"), nat("C:\\rec\\y.rm")} << nat("C:\\rec\\");
    QTest::newRow("differ only in case keep order") << nat("C:\\r") + NUL + "b.rm" + NUL + "A.rm" + NUL + "a.rm"
                                                    << QStringList{nat("C:\\r\\A.rm"), nat("C:\\r\\a.rm"), nat("C:\\r\\b.rm")}
                                                    << nat("C:\\r\\");
    QTest::newRow("root folder keeps one separator") << QString(QDir::separator()) + NUL + "a.rm"
                                                     << QStringList{nat("\\a.rm")} << nat("\\");
    QTest::newRow("empty names add nothing") << nat("C:\\r") + NUL + NUL + "a.rm" + NUL + NUL
                                             << QStringList{nat("C:\\r\\a.rm")} << nat("C:\\r\\");
    QTest::newRow("nothing") << QString() << QStringList{} << QString();
    QTest::newRow("a file of another folder keeps its path")
        << nat("\\rec") + NUL + "b.rm" + NUL + nat("\\other\\x.rm")
        << QStringList{nat("\\other\\x.rm"), nat("\\rec\\b.rm")} << nat("\\other\\");
    QTest::newRow("a quote in a name") << nat("\\rec") + NUL + "a\"b.rm" + NUL + "c.rm"
                                       << QStringList{nat("\\rec\\a\"b.rm"), nat("\\rec\\c.rm")} << nat("\\rec\\");
    const QString longName = QString(300, QLatin1Char('n')) + ".rm";
    QTest::newRow("no length limit") << nat("C:\\r") + NUL + longName << QStringList{nat("C:\\r\\") + longName} << nat("C:\\r\\");
}

void RulesTest::dialogSelection()
{
    QFETCH(QString, result);
    QFETCH(QStringList, paths);
    QFETCH(QString, folder);
    const DialogSelection selection = parseDialogSelection(result);
    QCOMPARE(selection.paths, paths);
    QCOMPARE(selection.folder, folder);
}

void RulesTest::argumentText_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("text");

    QTest::newRow("spaces") << QStringList{nat("C:\\v\\a 1.rm"), nat("C:\\v\\b.rm")} << nat("C:\\v\\a.rm")
                            << nat(" -i \"C:\\v\\a 1.rm\" -i \"C:\\v\\b.rm\" -o \"C:\\v\\a.rm\"");
    QTest::newRow("non-ascii") << QStringList{"録画①.rm"} << "結合.rm" << " -i \"録画①.rm\" -o \"結合.rm\"";
    QTest::newRow("no separator") << QStringList{"a.rm"} << "b.rm" << " -i \"a.rm\" -o \"b.rm\"";
    QTest::newRow("three in order") << QStringList{"3.rm", "1.rm", "2.rm"} << "o.rm"
                                    << " -i \"3.rm\" -i \"1.rm\" -i \"2.rm\" -o \"o.rm\"";
}

void RulesTest::argumentText()
{
    QFETCH(QStringList, sources);
    QFETCH(QString, output);
    QFETCH(QString, text);
    QCOMPARE(joinArgumentText(sources, output), text);
    QStringList expected;
    for (const QString &s : sources)
        expected << "-i" << s;
    expected << "-o" << output;
    QCOMPARE(joinArguments(sources, output), expected);
}

void RulesTest::toolLocation_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
#ifdef Q_OS_WIN
    QTest::newRow("drive path") << "D:\\tools\\rm\\rmeditor.exe" << true << "D:" << "D:\\tools\\rm" << "rmeditor.exe";
    QTest::newRow("bare name") << "rmeditor.exe" << false << "" << "" << "";
    QTest::newRow("empty") << "" << false << "" << "" << "";
#else
    QTest::newRow("full path") << "/opt/rm tools/rmeditor" << true << "" << "/opt/rm tools" << "rmeditor";
    QTest::newRow("in the root") << "/rmeditor" << true << "" << "/" << "rmeditor";
    QTest::newRow("non-ascii") << "/ツール/rmeditor" << true << "" << "/ツール" << "rmeditor";
    QTest::newRow("bare name") << "rmeditor" << false << "" << "" << "";
    QTest::newRow("folder only") << "/opt/rm/" << false << "" << "/opt/rm" << "";
    QTest::newRow("empty") << "" << false << "" << "" << "";
#endif
}

void RulesTest::toolLocation()
{
    QFETCH(QString, path);
    QFETCH(bool, usable);
    QFETCH(QString, drive);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    const ToolLocation tool = splitToolLocation(path);
    QCOMPARE(tool.usable, usable);
    if (!usable)
        return;
    QCOMPARE(tool.drive, drive);
    QCOMPARE(tool.folder, folder);
    QCOMPARE(tool.fileName, file);
    QCOMPARE(joinCommandLine(tool, {"a.rm"}, "b.rm"), file + " -i \"a.rm\" -o \"b.rm\"");
}

void RulesTest::layoutFigures_data()
{
    QTest::addColumn<double>("outerWidth");
    QTest::addColumn<double>("clientHeight");
    QTest::addColumn<double>("width");      // resulting outer width
    QTest::addColumn<double>("tabWidth");
    QTest::addColumn<double>("listWidth");
    QTest::addColumn<double>("tabHeight");
    QTest::addColumn<double>("buttonTop");
    QTest::addColumn<double>("text5Top");
    QTest::addColumn<double>("list2Top");
    QTest::addColumn<double>("list1Height");

    QTest::newRow("client 7000") << 7410.0 << 7000.0 << 7410.0 << 7215.0 << 6945.0 << 7000.0 << 6355.0 << 5830.0 << 4090.0 << 3790.0;
    QTest::newRow("minimum width") << 4900.0 << 7000.0 << 4900.0 << 4705.0 << 4435.0 << 7000.0 << 6355.0 << 5830.0 << 4090.0 << 3790.0;
    QTest::newRow("too narrow widens") << 3000.0 << 7000.0 << 4900.0 << 4705.0 << 4435.0 << 7000.0 << 6355.0 << 5830.0 << 4090.0 << 3790.0;
    QTest::newRow("design") << 7410.0 << 7605.0 << 7410.0 << 7215.0 << 6945.0 << 7605.0 << 6960.0 << 6435.0 << 4695.0 << 4395.0;
    QTest::newRow("list1 at zero") << 7410.0 << 3210.0 << 7410.0 << 7215.0 << 6945.0 << 3210.0 << 2565.0 << 2040.0 << 300.0 << 0.0;
    QTest::newRow("list1 clamped") << 7410.0 << 1000.0 << 7410.0 << 7215.0 << 6945.0 << 1000.0 << 355.0 << -170.0 << -1910.0 << 0.0;
}

void RulesTest::layoutFigures()
{
    QFETCH(double, outerWidth);
    QFETCH(double, clientHeight);
    layout::WindowState window{outerWidth, clientHeight, true, false};
    const layout::LayoutPass pass = layout::layoutRunPage(window, layout::designRunPage());
    QVERIFY(pass.applies);
    const layout::RunPage &p = pass.page;
    QTEST(pass.outerWidth, "width");
    QTEST(p.tab.width, "tabWidth");
    QTEST(p.text5.width, "listWidth");
    QTEST(p.list2.width, "listWidth");
    QTEST(p.list1.width, "listWidth");
    QTEST(p.tab.height, "tabHeight");
    QTEST(p.run.top, "buttonTop");
    QCOMPARE(p.clear.top, p.run.top);
    QCOMPARE(p.select.top, p.run.top);
    QTEST(p.text5.top, "text5Top");
    QTEST(p.list2.top, "list2Top");
    QTEST(p.list1.height, "list1Height");
    // Kept values stay as designed.
    QCOMPARE(p.tab.left, 45.0);
    QCOMPARE(p.list1.top, 480.0);
    QCOMPARE(p.list2.height, 1740.0);
    QCOMPARE(p.text5.height, 375.0);
    QCOMPARE(p.run.left, 1560.0);
}

void RulesTest::layoutWhileMinimisedOrHidden()
{
    const layout::LayoutPass minimised = layout::layoutRunPage({3000, 7000, true, true}, layout::designRunPage());
    QVERIFY(!minimised.applies);
    // Before the window is shown no minimum width applies.
    const layout::LayoutPass hidden = layout::layoutRunPage({3000, 7000, false, false}, layout::designRunPage());
    QVERIFY(hidden.applies);
    QCOMPARE(hidden.outerWidth, 3000.0);
    QCOMPARE(hidden.page.tab.width, 3000.0 - 45 - 150);
}

void RulesTest::registryValue_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    const QByteArray sjisPath = ansi::encode(QStringLiteral("C:\\ツール\\msinfo32.exe"));
    QTest::newRow("string with NUL") << QByteArray("C:\\msinfo32.exe\0", 16) << kRegString << "" << "C:\\msinfo32.exe";
    QTest::newRow("string without NUL") << QByteArray("C:\\m.exe") << kRegString << "" << "C:\\m.exe";
    QTest::newRow("double-byte string") << sjisPath + QByteArray(1, '\0') << kRegString << "" << "C:\\ツール\\msinfo32.exe";
    QTest::newRow("empty string") << QByteArray("\0", 1) << kRegString << "old" << "";
    QTest::newRow("dword one") << QByteArray("\x01\x00\x00\x00", 4) << kRegDword << "" << "1";
    QTest::newRow("dword bytes in order") << QByteArray("\x02\x10\x00\x00", 4) << kRegDword << "" << "4098";
    QTest::newRow("dword large") << QByteArray("\xff\xff\xff\xff", 4) << kRegDword << "x" << "4294967295";
    QTest::newRow("other type unchanged") << QByteArray("\x01\x02", 2) << 3 << "kept" << "kept";
}

void RulesTest::registryValue()
{
    QFETCH(QByteArray, written);
    QFETCH(int, type);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QByteArray buffer(1024, '\0');
    buffer.replace(0, written.size(), written);
    QString keyVal = before;
    QVERIFY(decodeRegistryValue(buffer, int(written.size()), type, keyVal));
    QCOMPARE(keyVal, after);
    QVERIFY(decodeRegistryValue(buffer, int(buffer.size()), type, keyVal)); // a value that fills the buffer
    QCOMPARE(keyVal, after);
    QVERIFY(!decodeRegistryValue(buffer, 2000, type, keyVal));
}

void RulesTest::rounding_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("2.4") << 2.4 << 2;
    QTest::newRow("2.6") << 2.6 << 3;
}

void RulesTest::rounding()
{
    QFETCH(double, value);
    QTEST(settingkeys::roundHalfEven(value), "rounded");
}

void RulesTest::lengthTexts_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << 0ll << "0:00.0";
    QTest::newRow("tenths, not hundredths") << 1290ll << "0:01.2";
    QTest::newRow("just under an hour") << 3599999ll << "59:59.9";
    QTest::newRow("an hour") << 3600000ll << "1:00:00";
    QTest::newRow("hours, minutes, seconds") << 7384000ll << "2:03:04";
    QTest::newRow("a day and more") << 90061000ll << "25:01:01";
}

void RulesTest::lengthTexts()
{
    QFETCH(qint64, ms);
    QTEST(lengthText(ms), "text");
}

// A clip replaced in place by one of the same size (re-encoded, re-tagged) is read again.
void RulesTest::clipReaderReadsAChangedClipAgain()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip.rm"));
    QVERIFY(QFile::copy(QStringLiteral(RM_SEEDS "/tiny-audio.rm"), path));
    ClipReader reader;
    QSignalSpy known(&reader, &ClipReader::known);
    const auto describe = [&] {
        known.clear();
        reader.request({path});
        return known.wait(10000) ? known.last().at(1).value<QList<ClipFacts>>().value(0).description : QString();
    };
    const QString before = describe();
    QVERIFY2(before.contains(QStringLiteral("32000 Hz")), qPrintable(before));
    const QDateTime readAt = QFileInfo(path).lastModified();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    const qsizetype rate = bytes.indexOf(QByteArray::fromHex("7d0000000010")); // 32000 Hz, 16-bit in the audio header
    QVERIFY(rate > 0);
    file.seek(rate);
    file.write(QByteArray::fromHex("5622")); // 22050
    QVERIFY(file.flush()); // written before its time is set, or the write would set it again
    // Same size and time: taken as the clip already read, not read again.
    QVERIFY(file.setFileTime(readAt, QFileDevice::FileModificationTime));
    QCOMPARE(describe(), before);
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    file.close();
    const QString after = describe();
    QVERIFY2(after.contains(QStringLiteral("22050 Hz")), qPrintable(after));
}

// The first clip decides every other row's mark: when its facts come after
// the others', the view hears that all rows changed. A clip of no length
// counts as known.
void RulesTest::firstClipsFactsRemarkEveryRow()
{
    SourceList list;
    list.append({"/r/a", "/r/b", "/r/c"});
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    list.setFacts(1, {ClipFacts{"/r/b", {}, 0, {}, {}}, ClipFacts{"/r/c", {}, -1, {}, {}}});
    QCOMPARE(list.totalLength(), QStringLiteral("合計の長さ 0:00.0（3 個中 2 個を読み取り済み）\n長さの分からないクリップ 1 個を除く"));
    list.setFacts(0, {ClipFacts{"/r/a", {}, 1500, {}, {}}});
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.last().at(0).toModelIndex().row(), 0);
    QCOMPARE(changed.last().at(1).toModelIndex().row(), 2);
    QCOMPARE(list.totalLength(), QStringLiteral("合計の長さ 0:01.5（3 個のクリップ）\n長さの分からないクリップ 1 個を除く"));
    // Facts of a clip no longer in that row go nowhere; a new order keeps what is known.
    list.setFacts(1, {ClipFacts{"/r/x", {}, 9000, {}, {}}});
    list.reverse();
    QCOMPARE(list.totalLength(), QStringLiteral("合計の長さ 0:01.5（3 個のクリップ）\n長さの分からないクリップ 1 個を除く"));
}

void RulesTest::listEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("before");
    QTest::addColumn<QStringList>("result");
    const QStringList abcd{"/r/a", "/r/b", "/r/c", "/r/d"};
    QTest::newRow("move one down") << "move" << abcd << QList<int>{0} << 3 << QStringList{"/r/b", "/r/c", "/r/a", "/r/d"};
    QTest::newRow("move two to the top") << "move" << abcd << QList<int>{3, 2} << 0 << QStringList{"/r/c", "/r/d", "/r/a", "/r/b"};
    QTest::newRow("move to the end") << "move" << abcd << QList<int>{1} << 4 << QStringList{"/r/a", "/r/c", "/r/d", "/r/b"};
    QTest::newRow("move onto itself") << "move" << abcd << QList<int>{1} << 1 << abcd;
    QTest::newRow("a row named twice moves once") << "move" << abcd << QList<int>{0, 0} << 4 << QStringList{"/r/b", "/r/c", "/r/d", "/r/a"};
    QTest::newRow("a row past the end stays out") << "move" << abcd << QList<int>{1, 4} << 0 << QStringList{"/r/b", "/r/a", "/r/c", "/r/d"};
    QTest::newRow("move around a kept row") << "move" << abcd << QList<int>{0, 2} << 2 << QStringList{"/r/b", "/r/a", "/r/c", "/r/d"};
    QTest::newRow("remove two") << "remove" << abcd << QList<int>{3, 1} << 0 << QStringList{"/r/a", "/r/c"};
    QTest::newRow("remove out of range") << "remove" << abcd << QList<int>{-1, 9} << 0 << abcd;
    QTest::newRow("remove a repeat once") << "remove" << QStringList{"/r/a", "/r/a"} << QList<int>{0, 0} << 0 << QStringList{"/r/a"};
    QTest::newRow("numbers as numbers") << "sort" << QStringList{"/r/clip10.rm", "/r/clip2.rm", "/r/Clip1.rm"} << QList<int>{} << 0
                                        << QStringList{"/r/Clip1.rm", "/r/clip2.rm", "/r/clip10.rm"};
    QTest::newRow("file name, not folder") << "sort" << QStringList{"/z/a2.rm", "/a/b1.rm", "/m/a10.rm"} << QList<int>{} << 0
                                           << QStringList{"/z/a2.rm", "/m/a10.rm", "/a/b1.rm"};
    QTest::newRow("leading zeros and long runs") << "sort" << QStringList{"/r/t99999999999999999999.rm", "/r/t007.rm", "/r/t7.rm", "/r/t10.rm"}
                                                 << QList<int>{} << 0
                                                 << QStringList{"/r/t007.rm", "/r/t7.rm", "/r/t10.rm", "/r/t99999999999999999999.rm"};
    QTest::newRow("a second number after leading zeros") << "sort" << QStringList{"/r/t7-10.rm", "/r/t007-9.rm"} << QList<int>{} << 0
                                                         << QStringList{"/r/t007-9.rm", "/r/t7-10.rm"};
    QTest::newRow("a second number after the shorter first") << "sort" << QStringList{"/r/t007-50.rm", "/r/t7-5.rm"} << QList<int>{} << 0
                                                             << QStringList{"/r/t7-5.rm", "/r/t007-50.rm"};
    QTest::newRow("drag a block down") << "drag" << abcd << QList<int>{1, 2} << 4 << QStringList{"/r/a", "/r/d", "/r/b", "/r/c"};
    QTest::newRow("drag a block down, not to the end") << "drag" << abcd << QList<int>{0, 1} << 3 << QStringList{"/r/c", "/r/a", "/r/b", "/r/d"};
    QTest::newRow("drag a block up") << "drag" << abcd << QList<int>{2, 3} << 0 << QStringList{"/r/c", "/r/d", "/r/a", "/r/b"};
    QTest::newRow("drag onto itself") << "drag" << abcd << QList<int>{1} << 2 << abcd;
    // Dropped on a row (`before`): on its upper half before it, on its lower half after it.
    QTest::newRow("drop on a row's upper half") << "drop upper" << abcd << QList<int>{0} << 2 << QStringList{"/r/b", "/r/a", "/r/c", "/r/d"};
    QTest::newRow("drop on a row's lower half") << "drop lower" << abcd << QList<int>{0} << 2 << QStringList{"/r/b", "/r/c", "/r/a", "/r/d"};
    QTest::newRow("drop below the last row") << "drop upper" << abcd << QList<int>{1} << -1 << QStringList{"/r/a", "/r/c", "/r/d", "/r/b"};
    QTest::newRow("letters without case") << "sort" << QStringList{"/r/B.rm", "/r/a.rm", "/r/C.rm"} << QList<int>{} << 0
                                          << QStringList{"/r/a.rm", "/r/B.rm", "/r/C.rm"};
    QTest::newRow("the same number, padded differently") << "sort" << QStringList{"/r/take7b.rm", "/r/take0000007a.rm"} << QList<int>{} << 0
                                                         << QStringList{"/r/take0000007a.rm", "/r/take7b.rm"};
    QTest::newRow("leading zeros add no length") << "sort" << QStringList{"/r/t10.rm", "/r/t002.rm"} << QList<int>{} << 0
                                                 << QStringList{"/r/t002.rm", "/r/t10.rm"};
    // More clips than a sort takes in one run: names that sort alike keep their order.
    QStringList twoFolders, byName;
    for (const char *folder : {"/b/", "/a/"})
        for (int n = 12; n >= 1; --n)
            twoFolders << QStringLiteral("%1take%2.rm").arg(QLatin1String(folder)).arg(n);
    for (int n = 1; n <= 12; ++n)
        byName << QStringLiteral("/b/take%1.rm").arg(n) << QStringLiteral("/a/take%1.rm").arg(n);
    QTest::newRow("the same names from two folders") << "sort" << twoFolders << QList<int>{} << 0 << byName;
    QTest::newRow("prefix first") << "sort" << QStringList{"/r/take1b.rm", "/r/take1.rm"} << QList<int>{} << 0
                                  << QStringList{"/r/take1.rm", "/r/take1b.rm"};
}

void RulesTest::listEdits()
{
    QFETCH(QString, edit);
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, rows);
    QFETCH(int, before);
    QFETCH(QStringList, result);
    SourceList list;
    list.append(entries);
    if (edit == QLatin1String("move"))
        list.move(rows, before);
    else if (edit == QLatin1String("remove"))
        list.remove(rows);
    else if (edit.startsWith(QLatin1String("drop")))
        list.dropOn(rows, before, edit.endsWith(QLatin1String("lower")));
    else if (edit == QLatin1String("drag")) // a block of rows, as a view moves it
        QCOMPARE(list.moveRows({}, rows.front(), int(rows.size()), {}, before), result != entries);
    else
        list.sortByName();
    QCOMPARE(list.entries(), result);
}

void RulesTest::settingsTable_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("readBack");
    QTest::newRow("text in double quotes") << QByteArray("name2") << QVariant(QStringLiteral("\"\"")) << QVariant(QStringLiteral("\"\""));
    QTest::newRow("text in single quotes") << QByteArray("name3") << QVariant(QStringLiteral("''")) << QVariant(QStringLiteral("''"));
    QTest::newRow("blanks kept") << QByteArray("name5") << QVariant(QStringLiteral("  /録画  ")) << QVariant(QStringLiteral("  /録画  "));
    QTest::newRow("an empty start number stays empty") << QByteArray("name4") << QVariant(QString()) << QVariant(QString());
    QTest::newRow("negative twips") << QByteArray("x1") << QVariant(-2500) << QVariant(-2500);
    QTest::newRow("last option") << QByteArray("name") << QVariant(2) << QVariant(2);
    QTest::newRow("a choice beyond the buttons") << QByteArray("sentou") << QVariant(2) << QVariant(0);
    QTest::newRow("a flag") << QByteArray("clear") << QVariant(1) << QVariant(1);
}

// Every key written and read back by the one pair of functions.
void RulesTest::settingsTable()
{
    QFETCH(QByteArray, key);
    QFETCH(QVariant, value);
    QFETCH(QVariant, readBack);
    const settingkeys::Values fallbacks{{"x1", 11}, {"y1", 12}, {"x2", 13}, {"y2", 14}, {"path2", QStringLiteral("/p")}};
    settingkeys::Values values = settingkeys::read(ProfileDocument(), fallbacks);
    QCOMPARE(values.size(), 19);
    QCOMPARE(values["name4"], QVariant(QStringLiteral("0001")));
    values[key] = value;
    ProfileDocument file;
    settingkeys::write(file, values);
    const settingkeys::Values again = settingkeys::read(ProfileDocument(file.content()), fallbacks);
    values[key] = readBack;
    for (const settingkeys::Key &k : settingkeys::keys())
        QCOMPARE(again[k.name].toString(), values[k.name].toString());
}

void RulesTest::joinJob_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("saidLines");   // lines the tool prints on its error channel
    QTest::addColumn<bool>("before");     // a file is at the output path before the run
    QTest::addColumn<bool>("cancel");     // cancelled while the tool holds its output open
    QTest::addColumn<bool>("toolThere");
    QTest::addColumn<JoinJob::State>("end");
    QTest::addColumn<bool>("outputStays");
    QTest::addColumn<QByteArray>("progressLine"); // the N of its "progress N"
#ifdef Q_OS_WIN
    const bool ownFileStays = true; // whose file it is cannot be told there
#else
    const bool ownFileStays = false;
#endif
    QTest::newRow("progress 1000 is no message") << QByteArray() << 0 << false << false << true << JoinJob::State::Succeeded << true << QByteArray("1000");
    QTest::newRow("progress 1001 is no progress") << QByteArray() << 0 << false << false << true << JoinJob::State::Succeeded << true << QByteArray("1001");
    QTest::newRow("the last 64 KiB of what it said") << QByteArray("fail") << 6000 << false << false << true << JoinJob::State::Failed << false << QByteArray("1000");
    QTest::newRow("a cancel keeps a file that was there before") << QByteArray() << 0 << true << true << true << JoinJob::State::Cancelled << true << QByteArray("1000");
    QTest::newRow("a cancel removes the tool's own open file") << QByteArray() << 0 << false << true << true << JoinJob::State::Cancelled << ownFileStays << QByteArray("1000");
    QTest::newRow("no tool") << QByteArray() << 0 << false << false << false << JoinJob::State::StartFailed << false << QByteArray("1000");
}

void RulesTest::joinJob()
{
    QFETCH(QByteArray, mode);
    QFETCH(int, saidLines);
    QFETCH(bool, before);
    QFETCH(bool, cancel);
    QFETCH(bool, toolThere);
    QFETCH(JoinJob::State, end);
    QFETCH(bool, outputStays);
    QTemporaryDir dir;
    JoinRequest request;
    request.program = toolThere ? QStringLiteral(STANDIN_TOOL) : dir.filePath(QStringLiteral("no-such-tool"));
    request.sources = {QStringLiteral(STANDIN_TOOL)};
    request.output = dir.filePath(QStringLiteral("out.rm"));
    request.workingDirectory = dir.path();
    if (before) {
        QFile old(request.output);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("before") == 6);
    }
    qputenv("STANDIN_MODE", mode);
    QFETCH(QByteArray, progressLine);
    qputenv("STANDIN_PROGRESS", progressLine);
    qputenv("STANDIN_SAY_LINES", QByteArray::number(saidLines));
    // Only the tool's own channel names its temporary: a line like it among
    // its messages names a file of the user's, which stays.
    const QString usersFile = dir.filePath(QStringLiteral(".rme1-0.tmp"));
    QFile users(usersFile);
    QVERIFY(users.open(QIODevice::WriteOnly) && users.write("mine") == 4);
    users.close();
    qputenv("STANDIN_SAY", "partial .rme1-0.tmp");
    qputenv("STANDIN_SPLIT_LINE", "1");
    qputenv("STANDIN_HOLD_OUTPUT", cancel ? "1" : "0");
    qputenv("STANDIN_HANG_MS", cancel ? "30000" : "0");
    request.deleteSources = request.clearList = true;
    QStringList deleted; // none can go to a trash: deleted for good
    JoinJob job(request, [&](const QString &path) {
        deleted.append(path);
        return Deletion::Deleted;
    });
    QSignalSpy states(&job, &JoinJob::stateChanged);
    QSignalSpy progress(&job, &JoinJob::progressed);
    QObject::connect(&job, &JoinJob::outputArrived, &job, [&](const QByteArray &bytes) {
        if (cancel && bytes.contains("output open"))
            job.cancel();
    });
    job.start();
    QTRY_VERIFY_WITH_TIMEOUT(job.ended(), 20000);
    job.cancel(); // Esc a moment too late: the end stands
    for (const char *name : {"STANDIN_MODE", "STANDIN_PROGRESS", "STANDIN_SAY_LINES", "STANDIN_SAY", "STANDIN_SPLIT_LINE", "STANDIN_HOLD_OUTPUT", "STANDIN_HANG_MS"})
        qunsetenv(name);
    QVERIFY(QFile::exists(usersFile));
    QCOMPARE(job.state(), end);
    QCOMPARE(states.last().at(0).value<JoinJob::State>(), end);
    QCOMPARE(states.first().at(0).value<JoinJob::State>(), JoinJob::State::Starting);
    QCOMPARE(QFile::exists(request.output), outputStays);
    // Only a success deletes the sources and clears the list; its line warns
    // of files deleted for good and opens the output's folder.
    const bool joined = end == JoinJob::State::Succeeded;
    QCOMPARE(deleted, joined ? request.sources : QStringList());
    QCOMPARE(job.clearsList(), joined);
    if (end != JoinJob::State::StartFailed) {
        QCOMPARE(job.resultLine().warning, joined);
        QCOMPARE(job.resultLine().detail.has_value(), !joined);
        QCOMPARE(job.resultLine().tip.contains(QStringLiteral("元のファイル1個を削除しました")), joined);
        QCOMPARE(job.resultLine().folder, joined ? QFileInfo(request.output).absolutePath() : QString());
    }
    if (!toolThere) {
        QVERIFY(!job.startError().isEmpty());
        return;
    }
    const bool valid = progressLine.toInt() <= 1000;
    QCOMPARE(progress.size(), valid ? 1 : 0);
    QCOMPARE(progress.value(0).value(0).toInt(), valid ? progressLine.toInt() : 0);
    QCOMPARE(job.details().contains(QStringLiteral("progress")), !valid);
    if (saidLines > 0) { // the end of what it said, never its start
        QCOMPARE(job.lastMessage(), QStringLiteral("standin: refused on purpose"));
        QVERIFY(job.details().size() <= JoinJob::kCapturedBytes);
        QVERIFY(job.details().size() > JoinJob::kCapturedBytes - 100);
        QVERIFY(job.details().contains(QStringLiteral("said line %1 of").arg(saidLines - 1)));
        QVERIFY(!job.details().contains(QStringLiteral("said line 0 of")));
    }
}

// At a cancel: the output the tool holds open for writing is found, as often
// as the user cancels, with nothing of ours left open.
void RulesTest::toolsOwnFileFound()
{
#ifndef Q_OS_LINUX
    QSKIP("who holds a file is read from Linux's /proc");
#else
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.rm"));
    QProcess tool;
    tool.start(QStringLiteral("/bin/sh"), {"-c", "exec 3>\"$0\"; exec sleep 30", out});
    const auto stop = qScopeGuard([&tool] { tool.kill(); tool.waitForFinished(); });
    QTRY_VERIFY(QFile::exists(out));
    const qsizetype open = QDir(QStringLiteral("/proc/self/fd")).count();
    for (int i = 0; i < 20; ++i)
        QTRY_COMPARE(JoinJob::heldForWriting(tool.processId(), out), JoinJob::identityOf(out));
    QCOMPARE(QDir(QStringLiteral("/proc/self/fd")).count(), open);
#endif
}

// Gone with its window while the tool runs (the program ending): the tool
// is ended and nobody is told, so nothing half torn down is called.
void RulesTest::jobGoneWhileRunning()
{
    QTemporaryDir dir;
    JoinRequest request;
    request.program = QStringLiteral(STANDIN_TOOL);
    request.workingDirectory = dir.path();
    request.sources = {QStringLiteral(STANDIN_TOOL)};
    request.output = dir.filePath(QStringLiteral("out.rm"));
    qputenv("STANDIN_HANG_MS", "30000");
    auto job = std::make_unique<JoinJob>(request);
    job->start();
    QTRY_VERIFY(job->state() == JoinJob::State::Running);
    qunsetenv("STANDIN_HANG_MS");
    QSignalSpy told(job.get(), &JoinJob::stateChanged);
    QElapsedTimer clock;
    clock.start();
    job.reset();
    QCOMPARE(told.size(), 0);
    QVERIFY(clock.elapsed() < 2000); // killed, not waited for
}

// The programs this process started (Linux).
QList<qint64> childrenOfThisProcess()
{
    QList<qint64> children;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (list.open(QIODevice::ReadOnly))
            for (const QByteArray &id : list.readAll().split(' '))
                if (id.trimmed().toLongLong() > 0)
                    children.append(id.trimmed().toLongLong());
    }
    return children;
}

void RulesTest::joinerLeavesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancelled") << "cancel";
    QTest::newRow("dropped with its window") << "drop";
    QTest::newRow("finished: the whole file, under its name alone") << "finish";
#ifndef Q_OS_WIN
    QTest::newRow("killed from outside") << "kill";
#endif
}

// The bundled joiner stopped mid-way leaves nothing in the output's folder,
// and a finished one leaves the output alone, also where it must name its
// temporary: on a FAT drive, as CI mounts one for TAPEKNOT_TEST_FAT_DIR.
void RulesTest::joinerLeavesNothing()
{
    QFETCH(QString, how);
    const bool killed = how == QLatin1String("kill");
    const QString sample = QStringLiteral(SAMPLES_DIR "/ra3-14_4-old-format.ra");
    if (!QFile::exists(sample))
        QSKIP("needs the RealAudio sample");
    QTemporaryDir scratch;
    const QDir folder(qEnvironmentVariable("TAPEKNOT_TEST_FAT_DIR", scratch.path()));
    const auto everything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList before = folder.entryList(everything);
    JoinRequest request;
#ifdef Q_OS_WIN
    request.program = QStringLiteral("Z:" JOINER_TOOL);
#else
    request.program = QStringLiteral(JOINER_TOOL);
#endif
    request.workingDirectory = QFileInfo(request.program).absolutePath();
    const bool finish = how == QLatin1String("finish");
    for (int i = 0; i < (finish ? 3 : 400); ++i)
        request.sources.append(sample);
    request.output = folder.filePath(QStringLiteral("joined.ra"));
    auto job = std::make_unique<JoinJob>(request);
    bool stopped = false;
    QObject::connect(job.get(), &JoinJob::progressed, job.get(), [&] {
        if (std::exchange(stopped, true) || finish)
            return;
#ifndef Q_OS_WIN
        if (killed) {
            for (const qint64 pid : childrenOfThisProcess())
                ::kill(pid_t(pid), SIGKILL);
            return;
        }
#endif
        if (how == QLatin1String("drop"))
            QTimer::singleShot(0, [&] { job.reset(); });
        else
            job->cancel();
    });
    job->start();
    QTRY_VERIFY_WITH_TIMEOUT(!job || job->ended(), 60000);
    QVERIFY(stopped);
    if (job)
        QCOMPARE(job->state(), finish ? JoinJob::State::Succeeded : killed ? JoinJob::State::Failed : JoinJob::State::Cancelled);
    if (finish) { // the first header, then every clip's data
        QFile clip(sample);
        QVERIFY(clip.open(QIODevice::ReadOnly));
        const QByteArray head = clip.read(8);
        const qint64 header = 8 + (quint8(head[6]) << 8 | quint8(head[7]));
        QCOMPARE(QFileInfo(request.output).size(), header + 3 * (clip.size() - header));
        QVERIFY(QFile::remove(request.output));
    }
    QCOMPARE(folder.entryList(everything), before);
}

QTEST_GUILESS_MAIN(RulesTest)
#include "tst_rules.moc"
