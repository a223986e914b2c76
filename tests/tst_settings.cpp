#include "support/posixfacts.h"
#include "app/twips.h"
#include "platform/ansi.h"
#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include <QItemSelectionModel>
#include <QProgressBar>

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTest>


namespace {

QList<QByteArray> keysOf(const QByteArray &content)
{
    QList<QByteArray> keys;
    for (const QByteArray &line : content.split('\n'))
        if (line.contains('='))
            keys << line.left(line.indexOf('='));
    return keys;
}

QByteArray valueOf(const QByteArray &content, const QByteArray &key)
{
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    }
    return "<missing>";
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void defaultsAndFirstFile();
    void roundTrip();
    void savedWhenTheSessionEnds();
    void storedValues_data();
    void storedValues();
    void outOfRangeFallsBack_data();
    void outOfRangeFallsBack();
    void foreignContentSurvives();
    void maximisedStoresNormalPlacement();
    void placementOffScreenComesBack_data();
    void placementOffScreenComesBack();
    void heightBeyond16Bits();
    void unwritableFolderIsSilent();
    void fileForms_data();
    void fileForms();
    void installedCopyUsesConfigFolder();
};

void SettingsTest::defaultsAndFirstFile()
{
    Harness h;
    Form1 &f = h.start();
    for (QCheckBox *box : ui(f).Check1)
        QVERIFY(!box->isChecked());
    for (QCheckBox *box : ui(f).Check2)
        QVERIFY(!box->isChecked());
    QVERIFY(ui(f).Option1[0]->isChecked());
    QVERIFY(ui(f).Option2[0]->isChecked());
    QCOMPARE(ui(f).Text3[1]->text(), QStringLiteral("0001"));
    QCOMPARE(ui(f).Text1->text(), QString());
    QCOMPARE(ui(f).sources->lastFolder(), QDir::toNativeSeparators(h.dir()));

    QVERIFY(f.close());
    const QByteArray ini = h.readIni();
    QVERIFY(ini.startsWith("[shoki]\r\n"));
    QCOMPARE(ini.count("["), 1);
    QCOMPARE(keysOf(ini), (QList<QByteArray>{"x1", "y1", "x2", "y2", "haiti", "dos", "sakujo", "clear",
                                             "nameop1", "nameop2", "nameop3", "path", "path2", "name",
                                             "name2", "name3", "name4", "sentou", "name5"}));
    QCOMPARE(ini.count("\r\n"), 20);
    QCOMPARE(valueOf(ini, "x2"), QByteArray("7410"));
    QCOMPARE(valueOf(ini, "name4"), QByteArray("0001"));
    QCOMPARE(valueOf(ini, "path2"), QFile::encodeName(QDir::toNativeSeparators(h.dir())));
}

void SettingsTest::roundTrip()
{
    Harness first;
    {
        Form1 &f = first.startWithTool(QStringLiteral("/opt/ツール/rmeditor"));
        ui(f).Check1[1]->setChecked(true);
        ui(f).Check1[2]->setChecked(true);
        ui(f).Check1[3]->setChecked(true);
        ui(f).Check2[0]->setChecked(true);
        ui(f).Check2[1]->setChecked(true);
        ui(f).Check2[2]->setChecked(true);
        ui(f).Option1[2]->setChecked(true);
        ui(f).Option2[1]->setChecked(true);
        ui(f).Text1->setText(QStringLiteral("結合"));
        ui(f).Text3[0]->setText(QStringLiteral("take"));
        ui(f).Text3[1]->setText(QStringLiteral("007"));
        ui(f).Text4->setText(QStringLiteral("/out/録画"));
        ui(f).sources->setLastFolder(QStringLiteral("/rec/"));
        f.move(f.screen()->availableGeometry().topLeft()); // in the corner: both stored as 0
        QVERIFY(f.close());
    }
    const QByteArray ini = first.readIni();
    QCOMPARE(valueOf(ini, "name2"), ansi::encode(QStringLiteral("結合")));

    // The next start reads the same file.
    Harness second;
    second.writeIni(ini);
    Form1 &g = second.start();
    QCOMPARE(ui(g).Text2->text(), QStringLiteral("/opt/ツール/rmeditor"));
    QVERIFY(!ui(g).Check1[0]->isChecked());
    QVERIFY(ui(g).Check1[1]->isChecked() && ui(g).Check1[2]->isChecked() && ui(g).Check1[3]->isChecked());
    QVERIFY(ui(g).Check2[0]->isChecked() && ui(g).Check2[1]->isChecked() && ui(g).Check2[2]->isChecked());
    QVERIFY(ui(g).Option1[2]->isChecked());
    QVERIFY(ui(g).Option2[1]->isChecked());
    QCOMPARE(ui(g).Text1->text(), QStringLiteral("結合"));
    QCOMPARE(ui(g).Text3[0]->text(), QStringLiteral("take"));
    QCOMPARE(ui(g).Text3[1]->text(), QStringLiteral("007"));
    QCOMPARE(ui(g).Text4->text(), QStringLiteral("/out/録画"));
    QCOMPARE(ui(g).sources->lastFolder(), QStringLiteral("/rec/"));
    QVERIFY(g.close());
    // Placement round-trips exactly.
    const QByteArray again = second.readIni();
    for (const QByteArray key : {"x1", "y1", "x2", "y2"})
        QCOMPARE(valueOf(again, key), valueOf(ini, key));
}

void SettingsTest::savedWhenTheSessionEnds()
{
    // Logging off may end the program without closing its window.
    QSessionManager *session = qApp->findChild<QSessionManager *>();
    QVERIFY(session);
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).Text1->setText(QStringLiteral("結合"));
    emit qApp->commitDataRequest(*session);
    QCOMPARE(valueOf(h.readIni(), "name2"), ansi::encode(QStringLiteral("結合")));
    // Another program cancelled the log-off: what is changed after it is saved at the close.
    ui(f).Text1->setText(QStringLiteral("後で"));
    QVERIFY(f.close());
    QCOMPARE(valueOf(h.readIni(), "name2"), ansi::encode(QStringLiteral("後で")));
}

void SettingsTest::storedValues_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");
    QTest::newRow("start number 007") << QByteArray("name4=007") << "Text3_1" << "007";
    QTest::newRow("blanks trimmed") << QByteArray("name3=  take  ") << "Text3_0" << "take";
    QTest::newRow("quotes removed") << QByteArray("name2=\"  a  \"") << "Text1" << "  a  ";
    QTest::newRow("empty name4") << QByteArray("name4=") << "Text3_1" << "";
    QTest::newRow("cut to 255 bytes") << QByteArray("name5=") + QByteArray(300, 'p') << "Text4" << QString(255, QLatin1Char('p'));
    QTest::newRow("key case") << QByteArray("NAME3=T") << "Text3_0" << "T";
}

void SettingsTest::storedValues()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    Harness h;
    h.writeIni("[Shoki]\r\npath=/t/rmeditor\r\n" + line + "\r\n");
    Form1 &f = h.start();
    auto *edit = f.findChild<QLineEdit *>(control);
    QVERIFY(edit);
    QCOMPARE(edit->text(), expected);
}

void SettingsTest::outOfRangeFallsBack_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("check value 2") << QByteArray("haiti=2\r\ndos=-1\r\nsakujo=7\r\nclear=abc\r\nnameop1=9\r\n");
    QTest::newRow("sentou 5, name 3") << QByteArray("sentou=5\r\nname=3\r\n");
    QTest::newRow("name negative") << QByteArray("name=-1\r\nsentou=-4\r\n");
    QTest::newRow("y2 beyond 16 bits") << QByteArray("y2=40000\r\n");
    QTest::newRow("negative sizes") << QByteArray("x2=-500\r\ny2=-300\r\n");
    QTest::newRow("sizes of 0") << QByteArray("x2=0\r\ny2=0\r\n");
    QTest::newRow("binary") << QByteArray("x1=\xff\xfe\r\nname2=\x81\r\n");
}

void SettingsTest::outOfRangeFallsBack()
{
    QFETCH(QByteArray, lines);
    Harness h;
    h.writeIni("[shoki]\r\npath=/t/rmeditor\r\n" + lines);
    Form1 &f = h.start();
    for (size_t i = 0; i < 4; ++i)
        QVERIFY(!ui(f).Check1[i]->isChecked());
    QVERIFY(!ui(f).Check2[0]->isChecked());
    QVERIFY(ui(f).Option1[0]->isChecked());
    QVERIFY(ui(f).Option2[0]->isChecked());
    QVERIFY(!(f.windowFlags() & Qt::WindowStaysOnTopHint));
    const double t = twips::perPixel(&f);
    QVERIFY2(qAbs(f.frameGeometry().width() * t - layout::design::kOuterWidth) <= t, qPrintable(QString::number(f.frameGeometry().width() * t))); // the design width
    QVERIFY(f.frameGeometry().height() > 100);
}

void SettingsTest::foreignContentSurvives()
{
    Harness h;
    const QByteArray foreign = "; written by hand\n[other]\nkeep=1\n\n[shoki]\nextra = yes \npath=/t/rmeditor\n"
                               "x1=120.5\n\n[tail]\nz=\"q\"\n";
    h.writeIni(foreign);
    Form1 &f = h.start();
    QCOMPARE(qRound(twips::fromPixels(f.frameGeometry().x(), &f) / 15.0) * 15, 120);
    QVERIFY(f.close());
    const QByteArray ini = h.readIni();
    QVERIFY(ini.startsWith("; written by hand\n[other]\nkeep=1\n\n[shoki]\nextra = yes \npath=/t/rmeditor\nx1="));
    QVERIFY(ini.endsWith("name5=\n\n[tail]\nz=\"q\"\n"));
    QVERIFY(ini.contains("\npath2="));
    QVERIFY(!ini.contains('\r')); // the file's own line ends
}

void SettingsTest::maximisedStoresNormalPlacement()
{
    Harness h;
    h.writeIni("[shoki]\r\npath=/t/rmeditor\r\nx1=1500\r\ny1=1500\r\nx2=7410\r\ny2=7995\r\n");
    Form1 &f = h.start();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.showMaximized();
    QTRY_VERIFY(f.isMaximized() && f.frameGeometry().width() > 1000); // the screen's width, not the stored one
    QVERIFY(f.close());
    const QByteArray ini = h.readIni();
    QCOMPARE(valueOf(ini, "x1"), QByteArray("1500"));
    QCOMPARE(valueOf(ini, "y1"), QByteArray("1500"));
    QCOMPARE(valueOf(ini, "x2"), QByteArray("7410"));
    QCOMPARE(valueOf(ini, "y2"), QByteArray("7995"));
}

void SettingsTest::placementOffScreenComesBack_data()
{
    QTest::addColumn<QByteArray>("placement");
    QTest::addColumn<bool>("centred"); // brought back to the middle of the screen
    QTest::addColumn<int>("screen");
    QTest::newRow("off every screen") << QByteArray("x1=-900000\r\ny1=900000") << true << 0;
    QTest::newRow("larger than the screen") << QByteArray("x1=1500\r\ny1=1500\r\nx2=100000\r\ny2=30000") << false << 0;
    QTest::newRow("two billion twips wide") << QByteArray("x1=1500\r\ny1=1500\r\nx2=2000000000") << false << 0;
    QTest::newRow("title bar above the screen") << QByteArray("x1=1500\r\ny1=-3000") << false << 0;
    QTest::newRow("20 pixels on the screen") << QByteArray("x1=-7110\r\ny1=1500") << true << 0;
    // 50 pixels on the first screen, the rest on the second, and wider than it.
    QTest::newRow("mostly on the second screen") << QByteArray("x1=23250\r\ny1=1500\r\nx2=18000\r\ny2=9000") << false << 1;
}

// Whatever was stored, the window comes up on a screen, whole, with its
// title bar and menu reachable.
void SettingsTest::placementOffScreenComesBack()
{
    QFETCH(QByteArray, placement);
    QFETCH(bool, centred);
    QFETCH(int, screen);
    if (screen >= QGuiApplication::screens().size())
        QSKIP("one screen only");
    Harness h;
    h.writeIni("[shoki]\r\npath=/t/rmeditor\r\n" + placement + "\r\n");
    Form1 &f = h.start();
    const QRect area = QGuiApplication::screens().at(screen)->availableGeometry();
    QVERIFY2(area.contains(f.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(f.frameGeometry().x()).arg(f.frameGeometry().y()).arg(f.frameGeometry().width()).arg(f.frameGeometry().height())));
    if (centred)
        QVERIFY((f.frameGeometry().center() - area.center()).manhattanLength() <= 4);
    if (!placement.contains("y2")) { // moved, still as high as a window with no height stored
        Harness unmoved;
        unmoved.writeIni("[shoki]\r\npath=/t/rmeditor\r\nx1=1500\r\ny1=1500\r\n");
        QCOMPARE(f.frameGeometry().height(), unmoved.start().frameGeometry().height());
    }
}

// A stored height is a 16-bit value: one beyond it is the design height, as a missing one.
void SettingsTest::heightBeyond16Bits()
{
    Harness missing, beyond;
    missing.writeIni("[shoki]\r\npath=/t/rmeditor\r\nx1=1500\r\ny1=1500\r\nx2=7410\r\n");
    beyond.writeIni("[shoki]\r\npath=/t/rmeditor\r\nx1=1500\r\ny1=1500\r\nx2=7410\r\ny2=40000\r\n");
    QCOMPARE(beyond.start().frameGeometry().height(), missing.start().frameGeometry().height());
}

void SettingsTest::unwritableFolderIsSilent()
{
#ifdef Q_OS_UNIX
    {
        // A link to settings on a drive not there now stays a link, and
        // nothing is written through it.
        Harness h;
        const QString away = h.programDir.filePath(QStringLiteral("away.ini"));
        QVERIFY(QFile::link(away, h.iniPath()));
        QVERIFY(h.start().close());
        QVERIFY(QFileInfo(h.iniPath()).isSymLink());
        QVERIFY(!QFile::exists(away));
    }
#endif
    if (!foldersCanBeLocked()) {
        // Root writes anywhere: make the settings path a folder instead.
        Harness h;
        QVERIFY(QDir().mkpath(h.iniPath()));
        Form1 &f = h.start();
        QVERIFY(f.close());
        QVERIFY(QFileInfo(h.iniPath()).isDir());
        QCOMPARE(h.platform.messages.size(), 1); // only the start-up's request for the tool
        return;
    }
    Harness h;
    Form1 &f = h.start();
    chmod(QFile::encodeName(h.dir()).constData(), 0500);
    QVERIFY(f.close());
    chmod(QFile::encodeName(h.dir()).constData(), 0700);
    QVERIFY(!QFile::exists(h.iniPath()));
    QCOMPARE(h.platform.messages.size(), 1); // only the start-up's request for the tool
}

// Files as other editors and systems leave them: their lines and marks survive.
void SettingsTest::fileForms_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("savedStart");
    QTest::addColumn<QByteArray>("neverSaved");
    QTest::newRow("CR-only line ends") << QByteArray("[shoki]\rpath=/t/rmeditor\rname2=abc\r")
                                       << QByteArray("[shoki]\rpath=/t/rmeditor\rname2=") << QByteArray("\n");
    QTest::newRow("UTF-8 byte order mark") << QByteArray("\xEF\xBB\xBF[shoki]\r\npath=/t/rmeditor\r\n")
                                           << QByteArray("\xEF\xBB\xBF[shoki]\r\npath=/t/rmeditor\r\n")
                                           << QByteArray("\n[shoki]");
}

void SettingsTest::fileForms()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, savedStart);
    QFETCH(QByteArray, neverSaved);
    Harness h;
    h.writeIni(before);
    Form1 &f = h.start();
    QCOMPARE(ui(f).Text2->text(), QStringLiteral("/t/rmeditor"));
    QVERIFY(f.close());
    const QByteArray saved = h.readIni();
    QVERIFY2(saved.startsWith(savedStart), saved.constData());
    QVERIFY2(!saved.contains(neverSaved), saved.constData());
}

void SettingsTest::installedCopyUsesConfigFolder()
{
    // A settings file that is a FIFO is neither read (no hang) nor replaced.
    if (Harness h; makeFifo(h.iniPath())) {
        Form1 &f = h.start();
        QVERIFY(f.close());
        QVERIFY(!QFileInfo(h.iniPath()).isFile());
    }
    {
        // Installed (a package's joiner folder, or the installer's uninstaller):
        // the settings an earlier version left beside the program are read,
        // and written to the user's folder; the program's folder is untouched.
        Harness h;
        const QString bin = h.dir() + QStringLiteral("/bin");
#ifdef Q_OS_WIN
        h.makeFile(QStringLiteral("bin/uninstall.exe"), "MZ");
        const QString config = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#else
        QVERIFY(QDir(h.dir()).mkpath(QStringLiteral("libexec/tapeknot")));
        const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
        const QString tool = nat(h.dir() + QStringLiteral("/old/rmeditor"));
        const QString moved = nat(h.dir() + QStringLiteral("/new/rmeditor"));
        const QString left = h.makeFile(QStringLiteral("bin/tapeknot.ini"), "[shoki]\r\npath=" + ansi::encode(tool) + "\r\n");
        const QDateTime leftAt = QFileInfo(left).lastModified();
        QFile::remove(config + QStringLiteral("/tapeknot.ini"));
        {
            Form1 f(h.platform, nat(bin));
            f.StartUp();
            QCOMPARE(ui(f).Text2->text(), tool);
            ui(f).Text2->setText(moved);
            QVERIFY(f.close());
        }
        QCOMPARE(QFileInfo(left).lastModified(), leftAt);
        QFile saved(config + QStringLiteral("/tapeknot.ini"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains(ansi::encode(moved)));
        {
            // From then on its own file is read, not the one left beside it.
            Form1 f(h.platform, nat(bin));
            f.StartUp();
            QCOMPARE(ui(f).Text2->text(), moved);
        }
        saved.remove();
    }
    if (!foldersCanBeLocked())
        QSKIP("root writes into any folder");
    {
        // A copy in a folder that takes no files reads the settings beside it.
        Harness h;
        h.writeIni("[shoki]\r\npath=/t/rmeditor\r\n");
        chmod(QFile::encodeName(h.dir()).constData(), 0500);
        Form1 &f = h.start();
        QCOMPARE(ui(f).Text2->text(), nat("/t/rmeditor"));
        QVERIFY(f.close());
        chmod(QFile::encodeName(h.dir()).constData(), 0700);
    }
    Harness h;
    chmod(QFile::encodeName(h.dir()).constData(), 0500);
    Form1 &f = h.startWithTool();
    QVERIFY(f.close());
    chmod(QFile::encodeName(h.dir()).constData(), 0700);
    QVERIFY(!QFile::exists(h.iniPath()));
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QVERIFY(config.startsWith(h.configHome.path()));
    QVERIFY(QFile::exists(config + QStringLiteral("/tapeknot.ini")));
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
