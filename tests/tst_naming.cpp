#include "naming/commonname.h"
#include "naming/outputpath.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Examples are written with "\"; the platform's separator takes its place.
QString nat(QString path)
{
    return path.replace(QLatin1Char('\\'), QDir::separator());
}

QStringList nat(const QStringList &paths)
{
    QStringList out;
    for (const QString &p : paths)
        out << nat(p);
    return out;
}

ExistenceTest existing(const QStringList &paths)
{
    const QSet<QString> set(paths.begin(), paths.end());
    return [set](const QString &path) {
        return set.contains(path) ? Existence::Present : Existence::Absent;
    };
}

NamingOptions beside(const QStringList &sources)
{
    NamingOptions o;
    o.sources = nat(sources);
    return o;
}

} // namespace

using Mode = NamingOptions::Mode;
Q_DECLARE_METATYPE(NamingOptions)

class NamingTest : public QObject
{
    Q_OBJECT
private slots:
    void commonName_data();
    void commonName();
    void outputPath_data();
    void outputPath();
    void sequenceField_data();
    void sequenceField();
    void statuses_data();
    void statuses();
    void realFolder();
    void badInputNeverFails_data();
    void badInputNeverFails();
};

void NamingTest::commonName_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<bool>("symbols");
    QTest::addColumn<QString>("expected");

    // The common part
    QTest::newRow("one entry") << QStringList{"D:\\rec\\Live 03.rm"} << false << false << "Live 03";
    QTest::newRow("one entry, digits") << QStringList{"D:\\rec\\Live 03.rm"} << true << false << "Live ";
    QTest::newRow("three clips") << QStringList{"D:\\rec\\clip01.rm", "D:\\rec\\clip02.rm", "D:\\rec\\clip03.rm"} << false << false << "clip0";
    QTest::newRow("three clips, digits") << QStringList{"D:\\rec\\clip01.rm", "D:\\rec\\clip02.rm", "D:\\rec\\clip03.rm"} << true << false << "clip";
    QTest::newRow("head stem limits") << QStringList{"clip1.rm", "clip12.rm"} << false << false << "clip1";
    QTest::newRow("head stem limits, digits") << QStringList{"clip1.rm", "clip12.rm"} << true << false << "clip";
    QTest::newRow("letter case") << QStringList{"Clip1.rm", "clip2.rm"} << false << false << "";
    QTest::newRow("same name, two folders") << QStringList{"C:\\a\\take.rm", "D:\\b\\take.rm"} << false << false << "take";
    QTest::newRow("no folder") << QStringList{"take1.rm", "take2.rm"} << false << false << "take";
    QTest::newRow("dot in folder") << QStringList{"C:\\rec.2004\\track.rm"} << false << false << "track";
    QTest::newRow("several dots") << QStringList{"a.b.rm"} << false << false << "a.b";
    QTest::newRow("others keep extension") << QStringList{"ab.c.rm", "ab.rm"} << false << false << "ab.";
    QTest::newRow("leading dot only") << QStringList{".rm"} << false << false << "";
    QTest::newRow("head without dot") << QStringList{"C:\\x\\noext"} << false << false << "noext";
    QTest::newRow("head without dot, other") << QStringList{"noext", "noextra.rm"} << false << false << "noext";
    QTest::newRow("empty list") << QStringList{} << true << true << "";
    QTest::newRow("shorter other entry") << QStringList{"longname.rm", "lo"} << false << false << "lo";
    QTest::newRow("empty after, loop goes on") << QStringList{"abc.rm", "x.rm", "abc.rm"} << false << false << "";
    QTest::newRow("full-width differs") << QStringList{"ＡＢ1.rm", "AB1.rm"} << false << false << "";

    // Trimming
    QTest::newRow("both, digit then symbol") << QStringList{"take-01.rm", "take-02.rm"} << true << true << "take";
    QTest::newRow("both, digits stay after symbols") << QStringList{"take01-a.rm", "take01-b.rm"} << true << true << "take01";
    QTest::newRow("symbols rule alone") << QStringList{"take_-*1.rm", "take_-*2.rm"} << false << true << "take";
    QTest::newRow("symbols rule stops at a digit") << QStringList{"take_-*1.rm"} << false << true << "take_-*1";
    QTest::newRow("symbols after digits") << QStringList{"take_-*1.rm", "take_-*2.rm"} << true << true << "take";
    QTest::newRow("all digits") << QStringList{"0123.rm", "0124.rm"} << true << false << "";
    QTest::newRow("full-width digits count") << QStringList{"曲０１２３４５６７８９.rm"} << true << false << "曲";
    QTest::newRow("every digit") << QStringList{"曲0123456789.rm"} << true << false << "曲";
    QTest::newRow("full-width low line stays") << QStringList{"曲＿.rm"} << false << true << "曲＿";
    QTest::newRow("full-width hyphen stays") << QStringList{"曲－.rm"} << false << true << "曲－";
    QTest::newRow("other symbols stay") << QStringList{"a+.rm"} << true << true << "a+";
}

void NamingTest::commonName()
{
    QFETCH(QStringList, entries);
    QFETCH(bool, digits);
    QFETCH(bool, symbols);
    QFETCH(QString, expected);
    QCOMPARE(CommonName(nat(entries), digits, symbols), expected);
}

void NamingTest::outputPath_data()
{
    QTest::addColumn<NamingOptions>("options");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");

    const QStringList live{"C:\\rec\\live_01.rm", "C:\\rec\\live_02.rm"};
    NamingOptions o = beside(live);
    o.stripDigits = o.stripSymbols = true;
    QTest::newRow("common part, trimmed") << o << QStringList{} << nat("C:\\rec\\live.rm");
    QTest::newRow("common part taken") << o << QStringList{nat("C:\\rec\\live.rm")} << "";

    // Directory rule
    o = beside(live);
    o.besideHead = false;
    o.folder = nat("D:\\out");
    QTest::newRow("folder gets separator") << o << QStringList{} << nat("D:\\out\\live_0.rm");
    o.folder = nat("D:\\out\\");
    QTest::newRow("folder keeps separator") << o << QStringList{} << nat("D:\\out\\live_0.rm");
    o.folder = nat(" D:\\out ");
    QTest::newRow("folder not trimmed") << o << QStringList{} << nat(" D:\\out \\live_0.rm");
    o.folder.clear();
    QTest::newRow("empty folder") << o << QStringList{} << "";
    o.mode = Mode::Sequential;
    QTest::newRow("empty folder, sequential") << o << QStringList{} << "";
    QTest::newRow("head without separator") << beside({"live.rm"}) << QStringList{} << "";

    // Name rule
    o = beside(live);
    o.mode = Mode::SpecifiedName;
    o.specifiedName = QStringLiteral("  abc  ");
    QTest::newRow("specified, trimmed") << o << QStringList{} << nat("C:\\rec\\abc.rm");
    o.specifiedName = QStringLiteral("\u3000abc");
    QTest::newRow("full-width space stays") << o << QStringList{} << nat("C:\\rec\\\u3000abc.rm");
    o.specifiedName.clear();
    QTest::newRow("specified, empty") << o << QStringList{} << nat("C:\\rec\\.rm");
    o.specifiedName = QStringLiteral("song.rm");
    QTest::newRow("extension always added") << o << QStringList{} << nat("C:\\rec\\song.rm.rm");
    o.specifiedName = QStringLiteral("song");
    QTest::newRow("specified, taken") << o << QStringList{nat("C:\\rec\\song.rm")} << "";

    const QStringList unlike{"C:\\rec\\abc.rm", "C:\\rec\\xyz.rm"};
    o = beside(unlike);
    QTest::newRow("empty common part") << o << QStringList{} << nat("C:\\rec\\.rm");
    o.sequentialWhenEmpty = true;
    o.baseName = QStringLiteral("take");
    o.startNumber = QStringLiteral("0001");
    QTest::newRow("empty common part, sequential") << o << QStringList{} << nat("C:\\rec\\take0001.rm");
    o = beside({"C:\\rec\\ .rm", "C:\\rec\\ .rm"});
    o.sequentialWhenEmpty = true;
    o.startNumber = QStringLiteral("1");
    QTest::newRow("spaces are not empty") << o << QStringList{} << nat("C:\\rec\\.rm");

    // Sequential names
    o = beside(live);
    o.mode = Mode::Sequential;
    o.baseName = QStringLiteral(" take ");
    o.startNumber = QStringLiteral("0001");
    QTest::newRow("first free") << o << QStringList{nat("C:\\rec\\take0001.rm"), nat("C:\\rec\\take0002.rm")} << nat("C:\\rec\\take0003.rm");
    o.startNumber = QStringLiteral("007");
    QTest::newRow("width three") << o << QStringList{} << nat("C:\\rec\\take007.rm");
    o.startNumber = QStringLiteral("7");
    QTest::newRow("width one wraps") << o << QStringList{nat("C:\\rec\\take7.rm"), nat("C:\\rec\\take8.rm"), nat("C:\\rec\\take9.rm")} << nat("C:\\rec\\take0.rm");
    o.startNumber = QStringLiteral("0");
    QTest::newRow("start zero") << o << QStringList{} << nat("C:\\rec\\take0.rm");
    o.startNumber.clear();
    QTest::newRow("no start number") << o << QStringList{} << "";
    o.startNumber = QStringLiteral("32768");
    QTest::newRow("start above 32767") << o << QStringList{} << "";
    o.startNumber = QStringLiteral("32767");
    QTest::newRow("start at 32767") << o << QStringList{} << nat("C:\\rec\\take32767.rm");
    QTest::newRow("search passes 32767") << o << QStringList{nat("C:\\rec\\take32767.rm")} << "";
    o.startNumber = QStringLiteral("32766");
    QTest::newRow("search ends on 32767") << o << QStringList{nat("C:\\rec\\take32766.rm")} << nat("C:\\rec\\take32767.rm");
    o.startNumber = QStringLiteral("1a");
    QTest::newRow("not digits") << o << QStringList{} << "";
    o.startNumber = QStringLiteral("１");
    QTest::newRow("full-width digit") << o << QStringList{} << "";
    o.startNumber = QStringLiteral("000000000000000000001");
    QTest::newRow("many leading zeros") << o << QStringList{} << nat("C:\\rec\\take000000000000000000001.rm");
    o.baseName.clear();
    o.startNumber = QStringLiteral("0001");
    QTest::newRow("empty base name") << o << QStringList{} << nat("C:\\rec\\0001.rm");
}

void NamingTest::outputPath()
{
    QFETCH(NamingOptions, options);
    QFETCH(QStringList, taken);
    QFETCH(QString, expected);
    QCOMPARE(OutputPath(options, existing(taken)), expected);
}

void NamingTest::sequenceField_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("field");
    QTest::newRow("padded") << 3 << 4 << "0003";
    QTest::newRow("exact") << 1234 << 4 << "1234";
    QTest::newRow("last digits") << 100 << 2 << "00";
    QTest::newRow("ten, width one") << 10 << 1 << "0";
    QTest::newRow("zero") << 0 << 1 << "0";
}

void NamingTest::sequenceField()
{
    QFETCH(int, number);
    QFETCH(int, width);
    QFETCH(QString, field);
    QCOMPARE(::sequenceField(number, width), field);
}

void NamingTest::statuses_data()
{
    QTest::addColumn<NamingOptions>("options");
    QTest::addColumn<int>("status");
    NamingOptions o = beside({"C:\\rec\\a.rm"});
    QTest::newRow("free") << o << int(ComposedPath::Status::Free);
    o.mode = Mode::Sequential;
    QTest::newRow("no start number") << o << int(ComposedPath::Status::NoStartNumber);
    o.startNumber = QStringLiteral("99999");
    QTest::newRow("bad start number") << o << int(ComposedPath::Status::BadStartNumber);
    o.besideHead = false;
    QTest::newRow("no folder") << o << int(ComposedPath::Status::NoFolder);
}

void NamingTest::statuses()
{
    QFETCH(NamingOptions, options);
    QFETCH(int, status);
    QCOMPARE(int(composeOutputPath(options, existing({})).status), status);
}

void NamingTest::realFolder()
{
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    auto touch = [&](const QString &name) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    };
    touch(QStringLiteral("take0001.rm"));
    touch(QStringLiteral(".take0002.rm"));     // hidden: does not count
    QDir(dir.path()).mkdir(QStringLiteral("take0003.rm")); // folder: does not count

    NamingOptions o;
    o.sources = {folder + QStringLiteral("clip.rm")};
    o.mode = Mode::Sequential;
    o.baseName = QStringLiteral("take");
    o.startNumber = QStringLiteral("0001");
    QCOMPARE(OutputPath(o), folder + QStringLiteral("take0002.rm"));
    // The folder specified before, kept while names go beside the first clip, is not searched.
    QTemporaryDir specified;
    for (const char *name : {"take0001.rm", "take0002.rm"})
        QVERIFY(QFile(specified.filePath(QLatin1String(name))).open(QIODevice::WriteOnly));
    o.folder = QDir::toNativeSeparators(specified.path());
    QCOMPARE(OutputPath(o), folder + QStringLiteral("take0002.rm"));

    // A wildcard typed into the name matches like one.
    o.mode = Mode::SpecifiedName;
    o.specifiedName = QStringLiteral("take*");
    QCOMPARE(OutputPath(o), QString());
    o.specifiedName = QStringLiteral("[take]");
    QCOMPARE(OutputPath(o), folder + QStringLiteral("[take].rm"));
    touch(QStringLiteral("[take].rm"));
    QCOMPARE(OutputPath(o), QString());

    // A folder full of takes is listed once, not once for each name tried.
    o.mode = Mode::Sequential;
    NamingOptions many = o;
    many.baseName = QStringLiteral("many");
    for (int n = 1; n <= 3000; ++n)
        touch(QStringLiteral("many%1.rm").arg(n, 4, 10, QLatin1Char('0')));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(OutputPath(many), folder + QStringLiteral("many3001.rm"));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

#ifdef Q_OS_UNIX
    // A folder that may be searched but not read (root reads every folder: CI
    // runs this as another user too): each name is looked at directly.
    o.mode = Mode::Sequential;
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const auto readable = qScopeGuard([&dir] { QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); });
    QCOMPARE(OutputPath(o), folder + QStringLiteral("take0002.rm"));
#endif
}

void NamingTest::badInputNeverFails_data()
{
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("folder");
    QTest::newRow("spaces around") << "  /tmp/ a .rm  " << "";
    QTest::newRow("wildcards") << "/tmp/*?.rm" << "";
    QTest::newRow("no extension") << "/tmp/clip" << "";
    QTest::newRow("missing folder") << "/tmp/x.rm" << "/no/such/folder";
    QTest::newRow("invalid folder") << "/tmp/x.rm" << QString(QChar(0)) + "bad";
    QTest::newRow("very long folder") << "/tmp/x.rm" << QString(5000, QLatin1Char('d'));
}

void NamingTest::badInputNeverFails()
{
    QFETCH(QString, head);
    QFETCH(QString, folder);
    for (const Mode mode : {Mode::CommonPart, Mode::SpecifiedName, Mode::Sequential}) {
        NamingOptions o;
        o.sources = {head, head + QStringLiteral("2")};
        o.besideHead = folder.isEmpty();
        o.folder = folder;
        o.mode = mode;
        o.startNumber = QStringLiteral("0001");
        o.specifiedName = QStringLiteral("*[x]?");
        const QString path = OutputPath(o);
        QVERIFY(path.isEmpty() || path.endsWith(QStringLiteral(".rm")));
    }
}

QTEST_GUILESS_MAIN(NamingTest)
#include "tst_naming.moc"
