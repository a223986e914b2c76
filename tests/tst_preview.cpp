#include "app/tabcontrol.h"
#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include <QItemSelectionModel>
#include <QProgressBar>

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

class PreviewTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void clicksRefresh_data();
    void clicksRefresh();
    void leavingBoxes_data();
    void leavingBoxes();
    void typingNeverRefreshes();
    void emptyListLeavesPreview();
    void previewExamples_data();
    void previewExamples();
    void startNumberFilter_data();
    void startNumberFilter();
    void inputMethodDigitsOnly();
    void focusReasons_data();
    void focusReasons();

private:
    void leave(QLineEdit *edit);
    std::unique_ptr<Harness> h;
    Form1 *f = nullptr;
};

void PreviewTest::init()
{
    h = std::make_unique<Harness>();
    f = &h->startWithTool();
    QVERIFY(QTest::qWaitForWindowActive(f));
    ui(*f).SSTab1->setCurrentIndex(1);
    ui(*f).Text1->setText(QStringLiteral("named"));
    ui(*f).Text3[0]->setText(QStringLiteral("take"));
    ui(*f).Text4->setText(nat("/out"));
}

void PreviewTest::cleanup()
{
    h.reset();
    f = nullptr;
}

void PreviewTest::leave(QLineEdit *edit)
{
    edit->setFocus();
    QTRY_COMPARE(f->focusWidget(), edit);
    ui(*f).Command1->setFocus();
    QTRY_COMPARE(f->focusWidget(), ui(*f).Command1);
}

void PreviewTest::clicksRefresh_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("preview");
    for (const auto &[name, preview] : {std::pair{"Option1_0", "/rec/live_01.rm"}, {"Option1_1", "/rec/named.rm"},
                                        {"Option1_2", "/rec/take0001.rm"}, {"Option2_0", "/rec/live_01.rm"},
                                        {"Option2_1", "/out/live_01.rm"}, {"Check2_0", "/rec/live_.rm"},
                                        {"Check2_1", "/rec/live_01.rm"}, {"Check2_2", "/rec/live_01.rm"}})
        QTest::newRow(name) << QString::fromLatin1(name) << nat(QString::fromUtf8(preview));
}

void PreviewTest::clicksRefresh()
{
    QFETCH(QString, control);
    QFETCH(QString, preview);
    f->AddSources({nat("/rec/live_01.rm")});
    ui(*f).Text5->setText(QStringLiteral("stale"));
    auto *button = f->findChild<QAbstractButton *>(control);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    QVERIFY(ui(*f).Text5->text() != QStringLiteral("stale"));
    QCOMPARE(ui(*f).Text5->text(), preview);
}

void PreviewTest::leavingBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("refreshes");
    QTest::newRow("Text1, specified name") << "Text1" << "Option1_1" << true;
    QTest::newRow("Text1, common part") << "Text1" << "Option1_0" << false;
    QTest::newRow("Text3(0), sequential") << "Text3_0" << "Option1_2" << true;
    QTest::newRow("Text3(1), sequential") << "Text3_1" << "Option1_2" << true;
    QTest::newRow("Text3(0), common part") << "Text3_0" << "Option1_0" << false;
    QTest::newRow("Text3(1), specified") << "Text3_1" << "Option1_1" << false;
    QTest::newRow("Text4, specified location") << "Text4" << "Option2_1" << true;
    QTest::newRow("Text4, beside head") << "Text4" << "Option2_0" << false;
}

void PreviewTest::leavingBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, option);
    QFETCH(bool, refreshes);
    f->AddSources({nat("/rec/live_01.rm")});
    f->findChild<QRadioButton *>(option)->setChecked(true);
    ui(*f).Text5->setText(QStringLiteral("stale"));
    leave(f->findChild<QLineEdit *>(box));
    QCOMPARE(ui(*f).Text5->text() != QStringLiteral("stale"), refreshes);
}

void PreviewTest::typingNeverRefreshes()
{
    f->AddSources({nat("/rec/live_01.rm")});
    ui(*f).Option1[1]->click();
    ui(*f).Text5->setText(QStringLiteral("stale"));
    ui(*f).Text1->setFocus();
    QTest::keyClicks(ui(*f).Text1, QStringLiteral("abc"));
    QCOMPARE(ui(*f).Text5->text(), QStringLiteral("stale"));
    ui(*f).Command1->setFocus();
    QTRY_COMPARE(ui(*f).Text5->text(), nat("/rec/namedabc.rm"));
}

void PreviewTest::emptyListLeavesPreview()
{
    ui(*f).Text5->setText(QStringLiteral("kept"));
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{
             ui(*f).Option1[1], ui(*f).Option1[2], ui(*f).Option2[1], ui(*f).Check2[0], ui(*f).Check2[1], ui(*f).Check2[2], ui(*f).Option1[0]})
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    ui(*f).Option1[1]->setChecked(true);
    leave(ui(*f).Text1);
    ui(*f).Option2[1]->setChecked(true);
    leave(ui(*f).Text4);
    QCOMPARE(ui(*f).Text5->text(), QStringLiteral("kept"));
}

void PreviewTest::previewExamples_data()
{
    QTest::addColumn<QString>("setup");   // option object names to click, comma separated
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("second");  // the second clip's name, in a folder of its own
    QTest::addColumn<QString>("expected");
    QTest::newRow("common part, trimmed") << "Check2_0,Check2_2" << "0001" << "live_02.rm" << nat("/rec/live.rm");
    QTest::newRow("common part") << "" << "0001" << "live_02.rm" << nat("/rec/live_0.rm");
    QTest::newRow("specified name") << "Option1_1" << "0001" << "live_02.rm" << nat("/rec/named.rm");
    QTest::newRow("specified location") << "Option1_1,Option2_1" << "0001" << "live_02.rm" << nat("/out/named.rm");
    QTest::newRow("sequential") << "Option1_2" << "0001" << "live_02.rm" << nat("/rec/take0001.rm");
    QTest::newRow("sequential 007") << "Option1_2" << "007" << "live_02.rm" << nat("/rec/take007.rm");
    QTest::newRow("sequential 0019") << "Option1_2" << "0019" << "live_02.rm" << nat("/rec/take0019.rm");
    QTest::newRow("sequential, empty start") << "Option1_2" << "" << "live_02.rm" << "";
    QTest::newRow("nothing in common, sequential instead") << "Check2_1" << "0001" << "xyz.rm" << nat("/rec/take0001.rm");
}

void PreviewTest::previewExamples()
{
    QFETCH(QString, setup);
    QFETCH(QString, start);
    QFETCH(QString, second);
    QFETCH(QString, expected);
    ui(*f).Text3[1]->setText(start);
    f->AddSources({nat("/rec/live_01.rm"), nat("/other/") + second});
    for (const QString &name : setup.split(QLatin1Char(','), Qt::SkipEmptyParts))
        f->findChild<QAbstractButton *>(name)->click();
    QCOMPARE(ui(*f).Text5->text(), expected);
}

void PreviewTest::startNumberFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("digits") << "0123" << "00010123";
    QTest::newRow("letter, space, minus") << "a -" << "0001";
    QTest::newRow("mixed") << "1x2" << "000112";
}

void PreviewTest::startNumberFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, result);
    ui(*f).Text3[1]->setFocus();
    ui(*f).Text3[1]->end(false);
    QTest::keyClicks(ui(*f).Text3[1], typed);
    QCOMPARE(ui(*f).Text3[1]->text(), result);
    // Backspace and Delete are control characters and pass.
    QTest::keyClick(ui(*f).Text3[1], Qt::Key_Backspace);
    QCOMPARE(ui(*f).Text3[1]->text(), result.chopped(1));
    ui(*f).Text3[1]->home(false);
    // A keyboard's Delete comes with the DEL character as its text.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
    QApplication::sendEvent(ui(*f).Text3[1], &del);
    QCOMPARE(ui(*f).Text3[1]->text(), result.mid(1).chopped(1));
    // The base name takes any character.
    ui(*f).Text3[0]->setFocus();
    QTest::keyClicks(ui(*f).Text3[0], QStringLiteral("a -"));
    QCOMPARE(ui(*f).Text3[0]->text(), QStringLiteral("takea -"));
}

void PreviewTest::inputMethodDigitsOnly()
{
    ui(*f).Text3[1]->setFocus();
    ui(*f).Text3[1]->end(false);
    QKeyEvent wide(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("１"));
    QApplication::sendEvent(ui(*f).Text3[1], &wide);
    QCOMPARE(ui(*f).Text3[1]->text(), QStringLiteral("0001"));
    QKeyEvent several(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("1a"));
    QApplication::sendEvent(ui(*f).Text3[1], &several); // every character judged, not the first alone
    QCOMPARE(ui(*f).Text3[1]->text(), QStringLiteral("0001"));
    QInputMethodEvent kanji;
    kanji.setCommitString(QStringLiteral("１２"));
    QApplication::sendEvent(ui(*f).Text3[1], &kanji);
    QCOMPARE(ui(*f).Text3[1]->text(), QStringLiteral("0001"));
    QInputMethodEvent mixed;
    mixed.setCommitString(QStringLiteral("5あ"));
    QApplication::sendEvent(ui(*f).Text3[1], &mixed);
    QCOMPARE(ui(*f).Text3[1]->text(), QStringLiteral("0001"));
    QInputMethodEvent digits;
    digits.setCommitString(QStringLiteral("5"));
    QApplication::sendEvent(ui(*f).Text3[1], &digits);
    QCOMPARE(ui(*f).Text3[1]->text(), QStringLiteral("00015"));
}

void PreviewTest::focusReasons_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("refreshes");
    QTest::newRow("tab") << int(Qt::TabFocusReason) << true;
    QTest::newRow("mouse") << int(Qt::MouseFocusReason) << true;
    QTest::newRow("other") << int(Qt::OtherFocusReason) << true;
    QTest::newRow("menu opened") << int(Qt::PopupFocusReason) << false;
    QTest::newRow("menu bar") << int(Qt::MenuBarFocusReason) << false;
    QTest::newRow("another window") << int(Qt::ActiveWindowFocusReason) << false;
}

void PreviewTest::focusReasons()
{
    QFETCH(int, reason);
    QFETCH(bool, refreshes);
    f->AddSources({nat("/rec/live_01.rm")});
    ui(*f).Option1[1]->setChecked(true);
    ui(*f).Text5->setText(QStringLiteral("stale"));
    QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(reason));
    QApplication::sendEvent(ui(*f).Text1, &out);
    QCOMPARE(ui(*f).Text5->text() != QStringLiteral("stale"), refreshes);
}

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
