#include "support/posixfacts.h"
#include "platform/ansi.h"
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>


class ProfileTest : public QObject
{
    Q_OBJECT
private slots:
    void readString_data();
    void readString();
    void readInt_data();
    void readInt();
    void write_data();
    void write();
    void truncatesWithoutSplittingDoubleByte();
    void encodingRoundTrip();
    void saveReplacesWholeFile();
    void unreadableAndHugeFiles();
};

void ProfileTest::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QByteArray("[shoki]\r\nname2=abc\r\n") << QByteArray("name2") << QByteArray("abc");
    QTest::newRow("section case") << QByteArray("[SHOKI]\nname2=abc\n") << QByteArray("name2") << QByteArray("abc");
    QTest::newRow("key case") << QByteArray("[shoki]\nNAME2=abc\n") << QByteArray("name2") << QByteArray("abc");
    QTest::newRow("blanks inside the brackets") << QByteArray("[ shoki ]\nname2=abc\n") << QByteArray("name2") << QByteArray("abc");
    QTest::newRow("indented header") << QByteArray(" \t[shoki]\nname2=abc\n") << QByteArray("name2") << QByteArray("abc");
    QTest::newRow("blanks around") << QByteArray("[shoki]\n  name2 =  \t a b \t\n") << QByteArray("name2") << QByteArray("a b");
    QTest::newRow("double quotes") << QByteArray("[shoki]\nname2=\" a \"\n") << QByteArray("name2") << QByteArray(" a ");
    QTest::newRow("single quotes") << QByteArray("[shoki]\nname2=' a '\n") << QByteArray("name2") << QByteArray(" a ");
    QTest::newRow("only one pair") << QByteArray("[shoki]\nname2=\"\"a\"\"\n") << QByteArray("name2") << QByteArray("\"a\"");
    QTest::newRow("unmatched quote") << QByteArray("[shoki]\nname2=\"a\n") << QByteArray("name2") << QByteArray("\"a");
    QTest::newRow("empty value") << QByteArray("[shoki]\nname2=\n") << QByteArray("name2") << QByteArray("");
    QTest::newRow("empty quotes") << QByteArray("[shoki]\nname2=\"\"\n") << QByteArray("name2") << QByteArray("");
    QTest::newRow("a quote at its end only") << QByteArray("[shoki]\nname2=a b\"\n") << QByteArray("name2") << QByteArray("a b\"");
    QTest::newRow("a lone quote") << QByteArray("[shoki]\nname2=\"\n") << QByteArray("name2") << QByteArray("\"");
    QTest::newRow("missing key") << QByteArray("[shoki]\nname3=x\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("other section") << QByteArray("[other]\nname2=x\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("section header without its bracket") << QByteArray("[shoki\nname2=open\n") << QByteArray("name2") << QByteArray("open");
    QTest::newRow("key after section") << QByteArray("[shoki]\n[other]\nname2=x\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("key after an indented section") << QByteArray("[shoki]\n  [other]\nname2=x\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("a key above every section, and no section of ours") << QByteArray("name2=top\n[other]\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("first of two") << QByteArray("[shoki]\nname2=a\nname2=b\n") << QByteArray("name2") << QByteArray("a");
    QTest::newRow("a key without its equals sign") << QByteArray("[shoki]\nname2\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("comment is no key") << QByteArray("[shoki]\n;name2=c\n") << QByteArray("name2") << QByteArray("DEF");
    QTest::newRow("no final newline") << QByteArray("[shoki]\nname2=end") << QByteArray("name2") << QByteArray("end");
    QTest::newRow("equals in value") << QByteArray("[shoki]\nname2=a=b\n") << QByteArray("name2") << QByteArray("a=b");
    QTest::newRow("CR-only line ends") << QByteArray("[other]\rname2=no\r[shoki]\rname2=cr\r") << QByteArray("name2") << QByteArray("cr");
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[shoki]\r\nname2=bom\r\n") << QByteArray("name2") << QByteArray("bom");
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\x01\n[shoki]\n\x00\nname2=ok\n", 23) << QByteArray("name2") << QByteArray("ok");
}

void ProfileTest::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(ProfileDocument(content).readString("shoki", key, "DEF"), expected);
}

void ProfileTest::readInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << QByteArray("120") << 120;
    QTest::newRow("fraction point") << QByteArray("120.5") << 120;
    QTest::newRow("fraction comma") << QByteArray("120,5") << 120;
    QTest::newRow("negative") << QByteArray("-60") << -60;
    QTest::newRow("plus sign") << QByteArray("+60") << 60;
    QTest::newRow("letters") << QByteArray("abc") << 0;
    QTest::newRow("digits then letters") << QByteArray("12ab") << 12;
    QTest::newRow("blanks") << QByteArray("  7  ") << 7;
    QTest::newRow("quoted") << QByteArray("\"5\"") << 5;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("huge") << QByteArray("99999999999999") << 2147483647;
    QTest::newRow("huge negative") << QByteArray("-99999999999999") << -2147483647 - 1;
    QTest::newRow("more digits than 64 bits hold") << QByteArray("123456789012345678901234567890") << 2147483647;
}

void ProfileTest::readInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    const ProfileDocument doc("[shoki]\r\nx1=" + value + "\r\n");
    QCOMPARE(doc.readInt("shoki", "x1", -1), expected);
    QCOMPARE(doc.readInt("shoki", "missing", -1), -1);
}

void ProfileTest::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << QByteArray("[shoki]\r\nk=v\r\n");
    QTest::newRow("replace in place")
        << QByteArray("; note\n[shoki]\nK=old\nz=1\n[b]\nq=2\n")
        << QByteArray("; note\n[shoki]\nk=v\nz=1\n[b]\nq=2\n");
    QTest::newRow("append at end of section")
        << QByteArray("[shoki]\r\na=1\r\n\r\n[b]\r\nq=2\r\n")
        << QByteArray("[shoki]\r\na=1\r\nk=v\r\n\r\n[b]\r\nq=2\r\n");
    QTest::newRow("section missing, no final newline")
        << QByteArray("[b]\nq=2") << QByteArray("[b]\nq=2\n[shoki]\nk=v\n");
    QTest::newRow("last line of section without newline")
        << QByteArray("[shoki]\na=1") << QByteArray("[shoki]\na=1\nk=v\n");
    QTest::newRow("one line, no line end") << QByteArray("[shoki]") << QByteArray("[shoki]\r\nk=v\r\n");
    QTest::newRow("CR-only file keeps its line ends") << QByteArray("[shoki]\ra=1\r") << QByteArray("[shoki]\ra=1\rk=v\r");
    QTest::newRow("LF file, new section") << QByteArray("[b]\nq=2\n") << QByteArray("[b]\nq=2\n[shoki]\nk=v\n");
    QTest::newRow("byte order mark kept") << QByteArray("\xEF\xBB\xBF[shoki]\r\n") << QByteArray("\xEF\xBB\xBF[shoki]\r\nk=v\r\n");
    QTest::newRow("comments and foreign keys kept")
        << QByteArray("[shoki]\n; keep me\nfoo = bar \n")
        << QByteArray("[shoki]\n; keep me\nfoo = bar \nk=v\n");
}

void ProfileTest::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    ProfileDocument doc(before);
    doc.writeString("shoki", "k", "v");
    QCOMPARE(doc.content(), after);
    QCOMPARE(doc.readString("shoki", "k", "DEF"), QByteArray("v"));
    // Values that reading would change go in quotes and come back whole.
    for (const QByteArray &value : {QByteArray(" lead"), QByteArray("trail\t"), QByteArray("\"q\""), QByteArray("'s'"),
                                   QByteArray("\"open"), QByteArray(" "), QByteArray("")}) {
        doc.writeString("shoki", "q", value);
        QCOMPARE(ProfileDocument(doc.content()).readString("shoki", "q", "DEF"), value);
    }
    // A line break inside a value, of any kind, forges no key of its own.
    for (const QByteArray &value : {QByteArray("a\rforged=1"), QByteArray("a\nforged=1"), QByteArray("a\r\nforged=1")}) {
        doc.writeString("shoki", "q", value);
        QCOMPARE(ProfileDocument(doc.content()).readString("shoki", "forged", "DEF"), QByteArray("DEF"));
    }
}

void ProfileTest::truncatesWithoutSplittingDoubleByte()
{
    const QByteArray ascii(300, 'a');
    QCOMPARE(ProfileDocument("[shoki]\nk=" + ascii + "\n").readString("shoki", "k", {}).size(), 255);

    // 254 single bytes and then a double-byte character: it does not fit whole.
    const QByteArray kanji = ansi::encode(QStringLiteral("実"));
    QCOMPARE(kanji.size(), 2);
    const QByteArray value = QByteArray(254, 'b') + kanji + "tail";
    const QByteArray read = ProfileDocument("[shoki]\nk=" + value + "\n").readString("shoki", "k", {});
    QCOMPARE(read, QByteArray(254, 'b'));

    const QByteArray fits = QByteArray(253, 'c') + kanji + "tail";
    QCOMPARE(ProfileDocument("[shoki]\nk=" + fits + "\n").readString("shoki", "k", {}),
             QByteArray(253, 'c') + kanji);
    // Lead bytes up to 0xFC: the extended kanji of names such as 髙橋.
    if (const QByteArray taka = ansi::encode(QStringLiteral("髙")); taka.size() == 2)
        QCOMPARE(ProfileDocument("[shoki]\nk=" + QByteArray(254, 'd') + taka + "\n").readString("shoki", "k", {}), QByteArray(254, 'd'));
    // A second byte that could start a character (日 is 93 FA) is still the end of this one.
    const QByteArray day = ansi::encode(QStringLiteral("日"));
    QCOMPARE(ProfileDocument("[shoki]\nk=" + QByteArray(253, 'e') + day + "tail\n").readString("shoki", "k", {}), QByteArray(253, 'e') + day);
}

void ProfileTest::encodingRoundTrip()
{
    const QString text = QStringLiteral("D:\\録画\\ﾃｽﾄ№1");
    const QByteArray bytes = ansi::encode(text);
    QCOMPARE(bytes.toHex(), QByteArray("443a5c985e89e65cc3bdc4878231"));
    QCOMPARE(ansi::decode(bytes), text);
    // A character the code page lacks becomes "?"; bytes that are no
    // character never come back as control characters.
#ifdef Q_OS_WIN
    // There the system's own conversion decides (a character beyond 16 bits may give two).
    QVERIFY(ansi::encode(QStringLiteral("a🎵b€")).startsWith("a?"));
#else
    QCOMPARE(ansi::encode(QStringLiteral("a🎵b€")), QByteArray("a?b?"));
#endif
    for (QChar c : ansi::decode(QByteArray("\x80\xa0\xfd\xfe\xff\x81", 6)))
        QVERIFY(c.unicode() >= 0xa0 || c.unicode() < 0x80);
}

void ProfileTest::saveReplacesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tapeknot.ini"));
    ProfileDocument doc("[x]\r\ny=1\r\n");
    doc.writeString("shoki", "k", "v");
    QVERIFY(doc.save(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[x]\r\ny=1\r\n[shoki]\r\nk=v\r\n"));
    // Nothing but the file itself is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tapeknot.ini"});
    QVERIFY(!doc.save(dir.filePath(QStringLiteral("no/such/folder/tapeknot.ini"))));

    // A folder that takes no new file: the file is rewritten in place.
    if (foldersCanBeLocked()) {
        chmod(QFile::encodeName(dir.path()).constData(), 0500);
        doc.writeString("shoki", "k", "w");
        const bool saved = doc.save(path);
        chmod(QFile::encodeName(dir.path()).constData(), 0700);
        QVERIFY(saved);
        QVERIFY(file.seek(0));
        QCOMPARE(file.readAll(), QByteArray("[x]\r\ny=1\r\n[shoki]\r\nk=w\r\n"));
    }
}

void ProfileTest::unreadableAndHugeFiles()
{
    ProfileDocument::LoadResult r;
    QVERIFY(ProfileDocument::load(QStringLiteral("/nonexistent/tapeknot.ini"), &r).content().isEmpty());
    QCOMPARE(r, ProfileDocument::LoadResult::Missing);
#ifdef Q_OS_LINUX
    // Opens, then fails to read (as a file on a failing disk): unknown, not empty.
    ProfileDocument::load(QStringLiteral("/proc/self/mem"), &r);
    QCOMPARE(r, ProfileDocument::LoadResult::Unreadable);
#endif

    // A file the user may read but not change (shared, or kept read-only) is read.
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("tapeknot.ini"));
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[shoki]\r\nname4=0042\r\n") > 0);
    file.close();
    QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(ProfileDocument::load(kept, &r).readString("shoki", "name4", {}), QByteArray("0042"));
    QCOMPARE(r, ProfileDocument::LoadResult::Read);
    QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner); // for the folder's removal

    // Several megabytes of foreign lines, and one very long line.
    QByteArray big = "[other]\n";
    for (int i = 0; i < 100000; ++i)
        big += "key" + QByteArray::number(i) + "=value\n";
    big += "long=" + QByteArray(3 * 1024 * 1024, 'z') + "\n[shoki]\nname4=007\n";
    ProfileDocument doc(big);
    QCOMPARE(doc.readString("shoki", "name4", {}), QByteArray("007"));
    doc.writeString("shoki", "path", "p");
    QVERIFY(doc.content().startsWith(big));
    QVERIFY(doc.content().endsWith("name4=007\npath=p\n"));
}

QTEST_GUILESS_MAIN(ProfileTest)
#include "tst_profile.moc"
