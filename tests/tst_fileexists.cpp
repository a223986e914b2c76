#include "support/posixfacts.h"
#include "platform/fileexists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>


class FileExistsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void existence_data();
    void existence();
    void wildcard_data();
    void wildcard();
    void unanswerable();

private:
    QString at(const QString &name) const { return QDir::toNativeSeparators(m_dir.filePath(name)); }
    void touch(const QString &name);
    QTemporaryDir m_dir;
};

void FileExistsTest::touch(const QString &name)
{
    QFile file(m_dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void FileExistsTest::initTestCase()
{
#ifdef Q_OS_WIN
    QSKIP("Linux only: its table holds the answers of a Linux file system (case, dot-files, symbolic links, FIFOs, names with * and ?)");
#endif
    touch(QStringLiteral("take0001.rm"));
    touch(QStringLiteral(".hidden.rm"));
    touch(QStringLiteral("[live].rm"));
    touch(QStringLiteral("a b.rm"));
    touch(QStringLiteral("l.rm"));
    touch(QStringLiteral("録画.rm"));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.rm")));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    QFile::link(m_dir.filePath(QStringLiteral("take0001.rm")), m_dir.filePath(QStringLiteral("link.rm")));
    QFile::link(m_dir.filePath(QStringLiteral("gone.rm")), m_dir.filePath(QStringLiteral("dangling.rm")));
    QFile::link(m_dir.filePath(QStringLiteral("sub")), m_dir.filePath(QStringLiteral("folderlink.rm")));
    touch(QStringLiteral(".rm"));
    if (!makeFifo(m_dir.filePath(QStringLiteral("fifo.rm"))))
        touch(QStringLiteral("fifo.rm")); // no FIFOs here: an ordinary file counts the same
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("w*?")));
    touch(QStringLiteral("w*?/take0001.rm"));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("録画")));
    touch(QStringLiteral("録画/take0001.rm"));
}

void FileExistsTest::existence_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("ordinary file") << "take0001.rm" << true;
    QTest::newRow("missing file") << "take0002.rm" << false;
    QTest::newRow("case differs") << "TAKE0001.rm" << false;
    QTest::newRow("folder") << "folder.rm" << false;
    QTest::newRow("dot-file") << ".hidden.rm" << true;
    QTest::newRow("nameless .rm") << ".rm" << true;
    QTest::newRow("FIFO") << "fifo.rm" << true;
    QTest::newRow("dangling link") << "dangling.rm" << true;
    QTest::newRow("link to a folder") << "folderlink.rm" << false;
    QTest::newRow("wildcards in the folder part are literal") << "w*?/take0001.rm" << true;
    QTest::newRow("missing file in a wildcard folder") << "w*?/take0002.rm" << false;
    QTest::newRow("brackets are literal") << "[live].rm" << true;
    QTest::newRow("space") << "a b.rm" << true;
    QTest::newRow("non-ascii") << "録画.rm" << true;
    QTest::newRow("link to a file") << "link.rm" << true;
    QTest::newRow("missing folder") << "nowhere/take0001.rm" << false;
    QTest::newRow("file as folder") << "take0001.rm/x.rm" << false;
    QTest::newRow("trailing separator") << "sub/" << false;
}

void FileExistsTest::existence()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    // Not there is a sure answer, never "cannot tell".
    QCOMPARE(testFileExists(at(name)), exists ? Existence::Present : Existence::Absent);
}

void FileExistsTest::wildcard_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("exists");
    QTest::newRow("star") << "take*.rm" << true;
    QTest::newRow("question mark") << "take000?.rm" << true;
    QTest::newRow("star matches nothing") << "zz*.rm" << false;
    QTest::newRow("star alone") << "*" << true;
    QTest::newRow("stars matching nothing at the end") << "take0001.rm**" << true;
    QTest::newRow("what follows a star never matched before it") << "l.*.rm" << false;
    QTest::newRow("case differs") << "TAKE*.rm" << false;
    QTest::newRow("folder does not count") << "fold*" << false;
    QTest::newRow("dot-file counts") << "*hidden*" << true;
    QTest::newRow("FIFO counts") << "fi?o.rm" << true;
    QTest::newRow("with bracket") << "[li*" << true;
    QTest::newRow("star before a whole name") << "*[live].rm" << true;
    QTest::newRow("bracket is no class") << "[lv]*.rm" << false;
    QTest::newRow("question mark needs a char") << "take0001.rm?" << false;
    QTest::newRow("first letter differs") << "xake000?.rm" << false;
    QTest::newRow("wildcard in folder part") << "s*/take0001.rm" << false;
    QTest::newRow("wildcards in folder and name") << "w*?/t*.rm" << true;
    QTest::newRow("folder beyond ASCII") << "録画/t*.rm" << true;
    QTest::newRow("missing folder") << "nowhere/*.rm" << false;
}

void FileExistsTest::wildcard()
{
    QFETCH(QString, pattern);
    QFETCH(bool, exists);
    QCOMPARE(testFileExists(at(pattern)), exists ? Existence::Present : Existence::Absent);
}

void FileExistsTest::unanswerable()
{
    QCOMPARE(testFileExists(QString()), Existence::Unknown);
    QCOMPARE(testFileExists(QStringLiteral("a") + QChar(0) + QStringLiteral("b")), Existence::Unknown);
    QCOMPARE(testFileExists(at(QString(5000, QLatin1Char('n')))), Existence::Unknown);
    if (!foldersCanBeLocked())
        QSKIP("root reads every folder");
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("closed")));
    chmod(QFile::encodeName(m_dir.filePath(QStringLiteral("closed"))).constData(), 0);
    QCOMPARE(testFileExists(at(QStringLiteral("closed/x.rm"))), Existence::Unknown);
}

QTEST_GUILESS_MAIN(FileExistsTest)
#include "tst_fileexists.moc"
