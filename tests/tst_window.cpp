#include "app/tabcontrol.h"
#include "app/twips.h"
#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include <QItemSelectionModel>
#include <QProgressBar>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabBar>
#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTranslator>
#include <QWindow>

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void controlsAtDesign();
    void menuTree();
    void firstStartAsksForTool();
    void firstStartCancelled();
    void startWithStoredTool();
    void keepOnTop();
    void runEnablingAndClearList();
    void clearListKeepsPreviewAndResults();
    void locateTool_data();
    void locateTool();
    void closeRefusedWhileBusy();
    void exitMenuCloses();
    void resizeLaysOutRunPage();
    void minimumWidth();
    void qtTextsInJapanese();
};

void WindowTest::controlsAtDesign()
{
    Harness h;
    Form1 &f = h.startWithTool();
    const double t = twips::perPixel(&f);
    auto at = [&](QWidget *w, double l, double tp, double wd, double ht) {
        return w->geometry() == QRect(qRound(l / t), qRound(tp / t), qRound(wd / t), qRound(ht / t));
    };
    QVERIFY(at(ui(f).Text2, 240, 720, 3255, 270));
    QVERIFY(at(ui(f).Command1, 3600, 720, 975, 270));
    QVERIFY(at(ui(f).Frame1, 240, 3120, 4335, 3615));
    QVERIFY(at(ui(f).Frame2, 240, 1680, 4335, 1455));
    QVERIFY(at(ui(f).Text3[1], 840, 3120, 1215, 270));
    QVERIFY(at(ui(f).Check1[1], 240, 1440, 1695, 255));
    QVERIFY(at(ui(f).Option1[0], 120, 240, 4095, 375));
    QCOMPARE(f.centralWidget()->height(), qRound(7605 / t)); // nothing stored: the whole design under the menu
    QCOMPARE(ui(f).SSTab1->mapTo(&f, QPoint()), QPoint(qRound(45 / t), f.menuBar()->geometry().bottom() + 1)); // under the menu
    // On each page and in each frame, nothing runs off it or covers another
    // control; the results' top lies under the sources.
    const auto lists = [&](const QWidget *a, const QWidget *b) {
        return (a == ui(f).List1 && b == ui(f).List2) || (a == ui(f).List2 && b == ui(f).List1);
    };
    for (int page = 0; page < ui(f).SSTab1->count(); ++page)
        QCOMPARE(misplacedControl(ui(f).SSTab1->page(page), lists), QString());
    QCOMPARE(misplacedControl(ui(f).Frame1), QString());
    QCOMPARE(misplacedControl(ui(f).Frame2), QString());
    QCOMPARE(ui(f).Text3[1]->parentWidget(), ui(f).Frame1);
    QCOMPARE(ui(f).Text4->parentWidget(), ui(f).Frame2);

    QCOMPARE(ui(f).Command2[2]->text(), QStringLiteral("選\u3000択"));
    QCOMPARE(ui(f).Command2[0]->text(), QStringLiteral("実\u3000行"));
    QCOMPARE(ui(f).Command2[1]->text(), QStringLiteral("リストクリア"));
    QCOMPARE(ui(f).Command1->text(), QStringLiteral("参\u3000照"));
    QCOMPARE(ui(f).Check2[2]->text(), QStringLiteral("末尾が[-],[*],[_]の場合は除く"));
    QCOMPARE(ui(f).Check1[1]->text(), QStringLiteral("DOS窓を表示する"));
    QCOMPARE(ui(f).Check1[3]->text(), QStringLiteral("結合後にリストを削除する"));
    QCOMPARE(ui(f).Label1[1]->text(), QStringLiteral("開始№"));
    const std::pair<const char *, const char *> captions[] = {
        {"Label2", "Rmeditorのある場所"}, {"Check1_0", "最前面に置く"}, {"Check1_2", "結合後にファイルを削除する"},
        {"Option2_0", "先頭ファイルと同じ場所に作成する"}, {"Option2_1", "作成場所指定"},
        {"Option1_0", "ファイル名の共通部分を新ファイル名とする"}, {"Check2_0", "末尾が数字の場合は数字だけ除く"},
        {"Check2_1", "新ファイル名が0文字の場合は連番名にする"}, {"Option1_1", "ファイル名を指定する"},
        {"Option1_2", "連番名で追加する"}, {"Label1_0", "基本名"}};
    for (const auto &[name, caption] : captions) {
        const QObject *control = f.findChild<QObject *>(QLatin1String(name));
        QVERIFY2(control, name);
        QCOMPARE(control->property("text").toString(), QString::fromUtf8(caption));
    }
    QCOMPARE(ui(f).SSTab1->tabBar()->tabText(0), QStringLiteral("実行"));
    QCOMPARE(ui(f).SSTab1->tabBar()->tabText(1), QStringLiteral("設定"));
    QVERIFY(ui(f).Picture1->isHidden());
    QCOMPARE(ui(f).Check1[0]->font().pointSize(), 9);
    QCOMPARE(ui(f).Check1[0]->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(ui(f).List1->font().pointSize(), 12);
    QCOMPARE(ui(f).List1->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
    QVERIFY(ui(f).List1->font().families().contains(QStringLiteral("IPAGothic")));
    for (const QWidget *same : std::initializer_list<const QWidget *>{ui(f).Text5, ui(f).JoinCancel})
        QCOMPARE(same->font(), ui(f).List1->font());
    QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("Text5")), ui(f).Text5);
}

void WindowTest::menuTree()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QStringList top;
    for (QAction *a : f.menuBar()->actions())
        top << a->text();
    QCOMPARE(top, (QStringList{"ファイル(&F)", "オプション(&O)", "ヘルプ(&H)"}));
    auto items = [](QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    QCOMPARE(items(ui(f).m_1), (QStringList{"選択(&O)", "実行(&R)", "リストクリア(&C)", "-", "終了(&X)"}));
    QCOMPARE(items(ui(f).m_2), (QStringList{"rmeditor設定(&S)"}));
    QCOMPARE(items(ui(f).m_3), (QStringList{"Readme(&R)", "-", "バージョン情報"}));
    QVERIFY(!ui(f).m_12->isEnabled());
    QVERIFY(ui(f).m_11->isEnabled() && ui(f).m_15->isEnabled() && ui(f).m_14->isEnabled());
}

void WindowTest::firstStartAsksForTool()
{
    Harness h;
    h.platform.choose(QStringLiteral("/opt/rm/rmeditor"));
    Form1 *seen = nullptr;
    bool focusInText2AtMessage = false;
    h.platform.onMessage = [&](const QString &) {
        seen = h.form.get();
        focusInText2AtMessage = seen && seen->focusWidget() == ui(*seen).Text2;
    };
    Form1 &f = h.start();
    QCOMPARE(h.platform.messages, QStringList{"rmeditorの場所を指定してください"});
    QVERIFY(focusInText2AtMessage);
    QCOMPARE(ui(f).SSTab1->currentIndex(), 1);
    QVERIFY(ui(f).Text2->isVisible() && !ui(f).List1->isVisible()); // the settings page alone
    QCOMPARE(h.platform.dialogCalls.size(), 1);
    QCOMPARE(h.platform.dialogCalls[0].save, false);
    QCOMPARE(h.platform.dialogCalls[0].state.fileName, QString()); // no joiner beside the program to offer
#ifndef Q_OS_WIN
    QCOMPARE(h.platform.dialogCalls[0].state.filter, QStringLiteral("rmeditor|rmeditor"));
#endif
    QCOMPARE(ui(f).Text2->text(), QStringLiteral("/opt/rm/rmeditor"));
    QVERIFY(f.isVisible());
    // The window opens by its design size at the screen's DPI, centred on the primary screen.
    QCOMPARE(f.frameGeometry().width(), qRound(7410 * f.logicalDpiX() / 1440.0));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(screen.width() != screen.height());
    QVERIFY(qAbs(f.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY2(qAbs(f.frameGeometry().center().y() - screen.center().y()) <= 1,
             qPrintable(QStringLiteral("%1 %2").arg(f.frameGeometry().center().y()).arg(screen.center().y())));
}

void WindowTest::firstStartCancelled()
{
    Harness h;
#ifdef Q_OS_WIN
    const QString bundled = h.makeFile(QStringLiteral("rmeditor.exe")); // the joiner beside the program
#else
    const QString bundled = h.makeFile(QStringLiteral("rmeditor")); // the joiner beside the program
#endif
    Form1 &f = h.start(); // the fake cancels the dialog
    QCOMPARE(h.platform.dialogCalls[0].state.fileName, QDir::toNativeSeparators(bundled)); // preselected
    QCOMPARE(ui(f).Text2->text(), QString());
    QCOMPARE(ui(f).SSTab1->currentIndex(), 1);
    QCOMPARE(h.platform.messages.size(), 1);
}

void WindowTest::startWithStoredTool()
{
    Harness h;
    h.writeIni("[shoki]\r\npath=\" \"\r\n"); // a location of blanks is not empty
    Form1 &f = h.start();
    QVERIFY(h.platform.messages.isEmpty());
    QVERIFY(h.platform.dialogCalls.isEmpty());
    QCOMPARE(ui(f).SSTab1->currentIndex(), 0);
    QVERIFY(ui(f).List1->isVisible() && !ui(f).Text2->isVisible()); // the run page alone
    QCOMPARE(f.focusWidget(), ui(f).List1);
    QVERIFY(!(f.windowFlags() & Qt::WindowStaysOnTopHint));
}

void WindowTest::keepOnTop()
{
    Harness h;
    h.writeIni("[shoki]\r\npath=/opt/rmeditor\r\nhaiti=1\r\n");
    Form1 &f = h.start();
    QVERIFY(ui(f).Check1[0]->isChecked());
    QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
    // The stacking changes on the window as it is: never a new native window.
    const WId native = f.winId();
    const QWindow *handle = f.windowHandle();
    ui(f).Check1[0]->click();
    QVERIFY(!(f.windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!(handle->flags() & Qt::WindowStaysOnTopHint));
    QVERIFY(f.isVisible());
    ui(f).Check1[0]->click();
    QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(handle->flags() & Qt::WindowStaysOnTopHint);
    QVERIFY(f.isVisible());
    QCOMPARE(f.winId(), native);
    QCOMPARE(f.windowHandle(), handle);
}

void WindowTest::runEnablingAndClearList()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(!ui(f).Command2[0]->isEnabled());
    QVERIFY(!ui(f).m_12->isEnabled());
    f.AddSources({QStringLiteral("/rec/a.rm")});
    QVERIFY(ui(f).Command2[0]->isEnabled());
    QVERIFY(ui(f).m_12->isEnabled());
    ui(f).m_15->trigger(); // the menu entry clears like the button
    QCOMPARE(ui(f).sources->count(), 0);
    QVERIFY(h.platform.dialogCalls.isEmpty());
    QVERIFY(!ui(f).Command2[0]->isEnabled());
    QVERIFY(!ui(f).m_12->isEnabled());
    // Clearing an empty list changes nothing.
    ui(f).Command2[1]->click();
    QCOMPARE(ui(f).sources->count(), 0);
    QVERIFY(!ui(f).Command2[0]->isEnabled());
    QVERIFY(ui(f).Command2[1]->isEnabled());
}

void WindowTest::clearListKeepsPreviewAndResults()
{
    Harness h;
    Form1 &f = h.startWithTool();
    f.AddSources({QDir::toNativeSeparators(h.programDir.filePath(QStringLiteral("a.rm")))}); // no such file yet
    ui(f).results->add({QStringLiteral("作成に成功しました:/rec/x.rm"), {}, {}, QStringLiteral("/rec")});
    const QString preview = ui(f).Text5->text();
    QVERIFY(!preview.isEmpty());
    ui(f).Command2[1]->click();
    QCOMPARE(ui(f).Text5->text(), preview);
    QCOMPARE(ui(f).results->count(), 1);
}

void WindowTest::locateTool_data()
{
    QTest::addColumn<QString>("earlierDialog"); // "", "sources" or "save"
    QTest::addColumn<bool>("choose");
    QTest::addColumn<QString>("expected");
    QTest::newRow("choose") << "" << true << "/e/rm/rmeditor";
    QTest::newRow("cancel") << "" << false << "/d/tools/rm/rmeditor";
    QTest::newRow("cancel after source dialog") << "sources" << false << "/d/tools/rm/rmeditor";
    QTest::newRow("choose after source dialog") << "sources" << true << "/e/rm/rmeditor";
    QTest::newRow("cancel after save dialog") << "save" << false << "/d/tools/rm/rmeditor";
}

void WindowTest::locateTool()
{
    QFETCH(QString, earlierDialog);
    QFETCH(bool, choose);
    QFETCH(QString, expected);
    Harness h;
    Form1 &f = h.startWithTool(QStringLiteral("/d/tools/rm/rmeditor"));
    if (earlierDialog == QLatin1String("sources")) {
        h.platform.cancel();
        ui(f).Command2[2]->click();
    } else if (earlierDialog == QLatin1String("save")) {
        h.platform.leaveBehind = [](CommonDialogState &left) {
            left.cancelError = true;
            left.filter = QStringLiteral("Rm|*.rm");
            left.fileName = QStringLiteral("/x/y.rm");
        };
        h.platform.cancel();
        ui(f).Command2[2]->click();
    }
    if (choose)
        h.platform.choose(QStringLiteral("/e/rm/rmeditor"));
    else
        h.platform.cancel();
    ui(f).Command1->click();
    const FakePlatform::DialogCall &call = h.platform.dialogCalls.last();
    QCOMPARE(call.state.fileName, QStringLiteral("/d/tools/rm/rmeditor"));
    QVERIFY(!(call.state.flags & dialogflags::kAllowMultiSelect));
    QCOMPARE(ui(f).Text2->text(), expected);

    // The Options menu entry does the same.
    h.platform.choose(QStringLiteral("/f/rmeditor"));
    ui(f).m_21->trigger();
    QCOMPARE(ui(f).Text2->text(), QStringLiteral("/f/rmeditor"));
    // A dialog that fails chooses nothing, whatever it left in its buffer.
    h.platform.leaveBehind = [](CommonDialogState &left) { left.fileName = QStringLiteral("\u0104"); };
    h.platform.dialogAnswers.append({DialogOutcome::Failed, {}});
    ui(f).Command1->click();
    QCOMPARE(ui(f).Text2->text(), QStringLiteral("/f/rmeditor"));
}

void WindowTest::closeRefusedWhileBusy()
{
    Harness h;
    Form1 &f = h.startWithTool(standinTool());
    const QByteArray before = h.readIni();
    qputenv("STANDIN_SLEEP_MS", "1500");
    f.AddSources({h.makeFile(QStringLiteral("a.rm"))});
    ui(f).Text5->setText(h.programDir.filePath(QStringLiteral("joined.rm")));
    ui(f).Command2[0]->click();
    qunsetenv("STANDIN_SLEEP_MS");
    QVERIFY(f.joinBusy());
    QVERIFY(!f.close());
    QVERIFY(f.isVisible());
    QCOMPARE(h.readIni(), before); // nothing written
    QVERIFY(h.platform.messages.isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(!f.joinBusy(), 10000);
    QVERIFY(f.close());
    QVERIFY(h.readIni().contains("x1="));
}

void WindowTest::exitMenuCloses()
{
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).Text4->setText(QStringLiteral("/out"));
    ui(f).m_14->trigger();
    QVERIFY(!f.isVisible());
    QVERIFY(h.readIni().contains("name5=/out\r\n"));
}

void WindowTest::resizeLaysOutRunPage()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const double t = twips::perPixel(&f);
    const int clientHeight = qRound(7000 / t);
    const int menu = f.height() - f.centralWidget()->height();
    const int frame = f.frameGeometry().width() - f.width();
    f.resize(qRound(6000 / t) - frame, clientHeight + menu); // outer width 6000
    QTRY_COMPARE(f.centralWidget()->height(), clientHeight);
    QCOMPARE(ui(f).SSTab1->height(), clientHeight);
    const std::pair<QWidget *, int> buttons[] = {{ui(f).Command2[2], 120}, {ui(f).Command2[0], 1560}, {ui(f).Command2[1], 3000}};
    for (const auto &[button, left] : buttons) // select, run, clear from the left
        QCOMPARE(button->pos(), QPoint(qRound(left / t), qRound(6355 / t)));
    QCOMPARE(ui(f).Text5->y(), qRound(5830 / t));
    QCOMPARE(ui(f).List2->y(), qRound(4090 / t));
    QCOMPARE(ui(f).List1->height(), qRound(3790 / t));
    QCOMPARE(ui(f).SSTab1->width(), qRound((6000 - 45 - 150) / t));
    QCOMPARE(ui(f).List1->width(), qRound((6000 - 45 - 150 - 120 - 150) / t));
    // The result list's rows begin just below the source list over its top.
    QCOMPARE(ui(f).List2->viewport()->mapToGlobal(QPoint(0, 0)).y(),
             ui(f).List1->mapToGlobal(QPoint(0, ui(f).List1->height())).y() + ui(f).List2->frameWidth());
    // Where they overlap the source list is on top: its last row is not hidden.
    QWidget *page = ui(f).List1->parentWidget();
    const QPoint overlap = ui(f).List1->geometry().center().x() * QPoint(1, 0) + QPoint(0, ui(f).List1->geometry().bottom() - 3);
    QVERIFY(ui(f).List2->geometry().contains(overlap));
    QVERIFY(ui(f).List1->isAncestorOf(page->childAt(overlap)) || page->childAt(overlap) == ui(f).List1);
    // The two tabs share the whole width.
    const QTabBar *tabs = ui(f).SSTab1->tabBar();
    QVERIFY2(tabs->tabRect(1).right() >= ui(f).SSTab1->width() - 2, qPrintable(QString::number(tabs->tabRect(1).right())));
    // The page's frame closes under the other tab, drawn as its sides are.
    const QImage drawn = ui(f).SSTab1->grab().toImage();
    QCOMPARE(drawn.pixel(tabs->tabRect(1).center().x(), tabs->height() - 1), drawn.pixel(0, drawn.height() / 2));
    QVERIFY(QColor(drawn.pixel(0, drawn.height() / 2)) != ui(f).SSTab1->palette().color(QPalette::Window));

    // Minimised: nothing moves.
    const QRect list1 = ui(f).List1->geometry();
    f.showMinimized();
    f.resize(qRound(8000 / t), clientHeight + menu);
    if (f.isMinimized())
        QCOMPARE(ui(f).List1->geometry(), list1);
}

void WindowTest::minimumWidth()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const double t = twips::perPixel(&f);
    f.resize(qRound(2000 / t), f.height());
    QTRY_COMPARE(f.frameGeometry().width(), qRound(4900 / t));
    QCOMPARE(ui(f).SSTab1->width(), qRound(4705 / t));
    QCOMPARE(ui(f).Text5->width(), qRound(4435 / t));
}

QTEST_MAIN(WindowTest)
// The file dialogs and message boxes that Qt draws speak Japanese with the window.
void WindowTest::qtTextsInJapanese()
{
    QTranslator texts;
    installQtTexts(texts);
    const auto removed = qScopeGuard([&texts] { QCoreApplication::removeTranslator(&texts); });
    QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

#include "tst_window.moc"
