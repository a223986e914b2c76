#include "app/frmabout.h"
#include "app/twips.h"
#include "platform/ansi.h"
#include "platform/qtplatform.h"
#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include <QItemSelectionModel>
#include <QProgressBar>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

namespace {

struct AboutTexts {
    QString caption, title, version, description, disclaimer;
    bool hasIcon = false;
    bool operator==(const AboutTexts &) const = default;
};

AboutTexts textsOf(const frmAbout &box)
{
    return {box.windowTitle(), box.lblTitle->text(), box.lblVersion->text(), box.lblDescription->text(),
            box.lblDisclaimer->text(), !box.picIcon->pixmap().isNull()};
}

} // namespace

class AboutTest : public QObject
{
    Q_OBJECT
private slots:
    void contents();
    void enterAndEscapeClose_data();
    void enterAndEscapeClose();
    void shownAnewEachTime();
    void sysInfo_data();
    void sysInfo();
    void readme();
};

void AboutTest::contents()
{
    FakePlatform platform;
    frmAbout box(platform, programIcon());
    const AboutTexts t = textsOf(box);
    QCOMPARE(t.caption, QStringLiteral("tapeknotのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(t.title, QStringLiteral("tapeknot"));
    QVERIFY(box.lblTitle->font().bold() && box.lblTitle->font().pointSize() > box.lblVersion->font().pointSize());
    QCOMPARE(t.version, QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.0.1"));
    QCOMPARE(t.description, QString());
    QCOMPARE(box.lblDisclaimer->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QCOMPARE(t.disclaimer, QStringLiteral("この製品はそこそこ使えるフリーソフトです。適当にそこそこ使ってください。"));
    QVERIFY(t.hasIcon);
    const int side = twips::toPixels(480, &box); // whole inside its place
    QCOMPARE(box.picIcon->pixmap().deviceIndependentSize().toSize(), QSize(side, side));
    QCOMPARE(box.cmdSysInfo->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
    QCOMPARE(box.cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(misplacedControl(&box), QString());
    QCOMPARE(box.minimumSize(), box.maximumSize()); // not to be resized
    for (const QFrame *line : box.Line1) // the separators are drawn in the box
        QVERIFY(box.isAncestorOf(line) && !line->isHidden());
}

void AboutTest::enterAndEscapeClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void AboutTest::enterAndEscapeClose()
{
    QFETCH(int, key);
    FakePlatform platform;
    frmAbout box(platform, QIcon());
    bool pressed = false;
    QTimer::singleShot(50, &box, [&] {
        pressed = true;
        QTest::keyClick(&box, Qt::Key(key));
    });
    QTimer::singleShot(3000, &box, &QDialog::reject); // a safety net only
    QElapsedTimer timer;
    timer.start();
    box.exec();
    QVERIFY(pressed);
    QVERIFY(timer.elapsed() < 2500);
    QVERIFY(!box.isVisible());
}

void AboutTest::shownAnewEachTime()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QList<AboutTexts> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(50, [&] {
            auto *box = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->window()->parentWidget(), &f); // in front of the window, even a topmost one
            seen << textsOf(*box);
            box->lblVersion->setText(QStringLiteral("changed")); // gone with this box
            box->cmdOK->click();
        });
        ui(f).m_33->trigger();
    }
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0] == seen[1]);
    QCOMPARE(seen[0].version, QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.0.1"));
    // Closing the window, as the end of the desktop session does, takes an
    // open box with it and ends the program cleanly.
    QTimer::singleShot(0, &f, [&] {
        QTimer::singleShot(50, &f, &QWidget::close);
        ui(f).m_33->trigger();
    });
    QTimer safety; // a safety net only
    safety.callOnTimeout([] { QCoreApplication::exit(2); });
    safety.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!QApplication::activeModalWidget());
}

void AboutTest::sysInfo_data()
{
    QTest::addColumn<QString>("pathValue");      // "" for no entry
    QTest::addColumn<int>("pathType");
    QTest::addColumn<QString>("locationValue");  // "" for no entry
    QTest::addColumn<bool>("toolInFolder");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("started");        // "folder" for the located tool

    QTest::newRow("no registry") << "" << 1 << "" << false << true << "";
    QTest::newRow("path entry") << "C:\\msinfo32.exe" << 1 << "" << false << true << "C:\\msinfo32.exe";
    QTest::newRow("path as long as Windows paths go") << "C:\\" + QString(252, QLatin1Char('d')) + ".exe" << 1 << "" << false << true
                                                      << "C:\\" + QString(252, QLatin1Char('d')) + ".exe";
    QTest::newRow("path entry fails to start") << "C:\\gone.exe" << 1 << "" << false << false << "C:\\gone.exe";
    QTest::newRow("path of other type") << "C:\\x.exe" << 3 << "" << false << false << "";
    QTest::newRow("location with tool") << "" << 1 << "folder" << true << true << "folder";
    QTest::newRow("location without tool") << "" << 1 << "folder" << false << true << "";
}

void AboutTest::sysInfo()
{
    QFETCH(QString, pathValue);
    QFETCH(int, pathType);
    QFETCH(QString, locationValue);
    QFETCH(bool, toolInFolder);
    QFETCH(bool, starts);
    QFETCH(QString, started);

    QTemporaryDir dir;
    FakePlatform platform;
    platform.startSucceeds = starts;
    if (!pathValue.isEmpty())
        platform.registry.insert(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"),
                                 {pathType, ansi::encode(pathValue) + QByteArray(1, '\0')});
    QString located;
    // Outside Windows the name is a file beside the folder, not in it.
    const auto removeLocated = qScopeGuard([&located] { if (!located.isEmpty()) QFile::remove(located); });
    if (!locationValue.isEmpty()) {
        platform.registry.insert(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"),
                                 {1, ansi::encode(dir.path()) + QByteArray(1, '\0')});
        located = dir.path() + QStringLiteral("\\MSINFO32.EXE");
        if (toolInFolder) {
            QFile tool(located);
            QVERIFY(tool.open(QIODevice::WriteOnly));
        }
    }
    if (started == QLatin1String("folder"))
        started = located;

    frmAbout box(platform, QIcon());
    box.cmdSysInfo->click();
    if (started.isEmpty()) {
        QVERIFY(platform.startedPrograms.isEmpty() || !starts);
        QVERIFY(pathValue.isEmpty() || !platform.startedPrograms.contains(pathValue)); // a value of another type is no path
    } else {
        QCOMPARE(platform.startedPrograms, QStringList{started});
    }
    const bool ran = !started.isEmpty() && starts;
    QCOMPARE(platform.messages, ran ? QStringList{} : QStringList{"現時点ではｼｽﾃﾑ情報を使用できません"});
    // The system's own start tells one that failed, as the fake does.
    QVERIFY(!QtPlatform().startProgram(dir.filePath(QStringLiteral("gone.exe"))));
}

void AboutTest::readme()
{
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).m_31->trigger();
    QCOMPARE(h.platform.openedDocuments,
             QStringList{QDir::toNativeSeparators(h.dir()) + QDir::separator() + QStringLiteral("Readme.txt")});
    QVERIFY(h.platform.messages.isEmpty()); // missing: nothing shown
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(w->objectName() != QLatin1String("ReadmeWindow"));

    // Present, but nothing on the desktop opens it: a window of our own shows it.
    const QString guide = QStringLiteral("結合の手引き\n").repeated(3000); // far more than one read
    h.makeFile(QStringLiteral("Readme.txt"), guide.toUtf8());
    h.platform.documentsOpen = false;
    ui(f).m_31->trigger();
    const auto shownReadme = [] { // the text of the Readme window on the screen, if any
        QPlainTextEdit *text = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("ReadmeWindow") && w->isVisible())
                text = w->findChild<QPlainTextEdit *>();
        return text;
    };
    QPlainTextEdit *shown = shownReadme();
    QVERIFY(shown);
    QCOMPARE(shown->toPlainText(), guide);
    QVERIFY(shown->isReadOnly());
    QCOMPARE(shown->window()->windowTitle(), QStringLiteral("Readme.txt"));
    QCOMPARE(shown->geometry(), shown->window()->rect()); // the text fills its window
    const QFontMetrics page(shown->font()); // and is a page to read: 30 Japanese characters by 20 lines at least
    const QSize room = shown->viewport()->size();
    QVERIFY2(room.width() >= 30 * page.horizontalAdvance(QChar(0x3042)) && room.height() >= 20 * page.lineSpacing(),
             qPrintable(QStringLiteral("%1×%2 for characters %3 wide, lines %4 apart").arg(room.width()).arg(room.height())
                        .arg(page.horizontalAdvance(QChar(0x3042))).arg(page.lineSpacing())));
    shown->window()->close();

    // An installed copy: the Readme in its documentation folder, written in
    // the Japanese code page of an older copy.
    const QString doc = h.makeFile(QStringLiteral("share/doc/tapeknot/Readme.txt"), ansi::encode(QStringLiteral("結合の手引き")));
    QVERIFY(QDir(h.dir()).mkpath(QStringLiteral("bin")));
    Form1 installed(h.platform, QDir::toNativeSeparators(h.dir() + QStringLiteral("/bin")));
    installed.StartUp();
    ui(installed).m_31->trigger();
    QCOMPARE(h.platform.openedDocuments.last(), QDir::toNativeSeparators(doc));
    shown = shownReadme();
    QVERIFY(shown);
    QCOMPARE(shown->toPlainText(), QStringLiteral("結合の手引き"));
    // It belongs to the main window: closing that one still ends the program.
    QCOMPARE(shown->window()->windowHandle()->transientParent(), installed.windowHandle());
    // A Readme beside the program comes before the installed one.
    const QString beside = h.makeFile(QStringLiteral("bin/Readme.txt"));
    ui(installed).m_31->trigger();
    QCOMPARE(h.platform.openedDocuments.last(), QDir::toNativeSeparators(beside));
}

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
