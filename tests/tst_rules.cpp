#include "about/regvalue.h"
#include "app/layout.h"
#include "join/commandline.h"
#include "platform/ansi.h"
#include "settings/settingkeys.h"
#include "sources/listedit.h"
#include "sources/selection.h"

#include <QDir>
#include <QTest>

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
    if (edit == QLatin1String("move"))
        QCOMPARE(withRowsMoved(entries, rows, before), result);
    else if (edit == QLatin1String("remove"))
        QCOMPARE(withoutRows(entries, rows), result);
    else
        QCOMPARE(naturallySorted(entries), result);
}

QTEST_GUILESS_MAIN(RulesTest)
#include "tst_rules.moc"
