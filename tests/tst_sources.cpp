#include "app/tabcontrol.h"
#include "support/harness.h"

#include "app/overlaplist.h"
#include "join/resultlist.h"
#include "platform/qtplatform.h"
#include "sources/clipfacts.h"
#include "sources/sourcelist.h"
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QProgressBar>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QApplication>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QStringList entries(Form1 &f)
{
    return ui(f).sources->entries();
}

const QChar NUL(0);

// Small clips from the joiner's fuzzing seeds: an audio file, a video file
// (video and audio streams) and an old RealAudio file.
QString seed(const QString &name)
{
    return hostPath(QStringLiteral(RM_SEEDS "/") + name);
}

// The rows marked as not joinable after the first clip, once every clip is known.
QList<int> markedRows(Form1 &f)
{
    const auto allKnown = [&] {
        for (int row = 0; row < ui(f).sources->count(); ++row)
            if (ui(f).sourceTip(row).isEmpty())
                return false;
        return true;
    };
    if (!QTest::qWaitFor(allKnown, 10000))
        return {-1};
    QList<int> rows;
    for (int row = 0; row < ui(f).sources->count(); ++row)
        if (!!ui(f).sources->data(ui(f).sources->index(row), SourceList::RefusedRole).toBool())
            rows.append(row);
    return rows;
}

// Whether the source list draws a row's text in dark red, as it does a refused clip's.
bool drawnInDarkRed(Form1 &f, int row)
{
    const QImage shot = ui(f).List1->viewport()->grab(ui(f).List1->visualRect(ui(f).sources->index(row))).toImage();
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (const QColor c = shot.pixelColor(x, y); c.red() > 96 && c.green() < 64 && c.blue() < 64)
                return true;
    return false;
}

// The source list's context menu as the user sees it: each entry, marked
// when it cannot be chosen; the entry named `choose` is chosen.
QStringList sourceMenu(Form1 &f, const QString &choose = {})
{
    QStringList seen;
    QObject scope; // a menu that never opens leaves no call behind
    QTimer::singleShot(0, &scope, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            seen.append(action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)")));
            if (action->text() == choose)
                action->trigger();
        }
        menu->close();
    });
    QWidget *rows = ui(f).List1->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), rows->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(rows, &click); // a right click, as the list gets it
    return seen;
}

} // namespace

class SourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void dialogSetupAndSort();
    void oneFileKeepsPath();
    void cancelChangesNothing();
    void menuSelectsLikeButton();
    void dropTargets_data();
    void dropTargets();
    void dropOrderAndLastSourceDir();
    void dropWithoutFiles();
    void listEditing();
    void dragBelowTheLastRow();
    void dragWithinTheList();
    void nonLocalUrlsIgnored();
    void fileDialogs();
    void limitMessage();
    void clipMarks_data();
    void clipMarks();
    void clipReplacedMeanwhileReadOnReturn();
    void manyClipsKeepTheWindowResponsive();

private:
    QString madeFrom(const QString &source, const QString &name, const QByteArray &from, const QByteArray &to);
    QTemporaryDir m_made; // inputs made from the producers' files
};

// A copy of `source` named `name`, with the bytes `from` made `to`; empty
// where the source is not at hand.
QString SourcesTest::madeFrom(const QString &source, const QString &name, const QByteArray &from, const QByteArray &to)
{
    QFile in(source), out(m_made.filePath(name));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || out.write(in.readAll().replace(from, to)) <= 0)
        return {};
    return hostPath(out.fileName());
}

void SourcesTest::dialogSetupAndSort()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    ui(f).sources->setLastFolder(nat("/rec/"));
    h.platform.choose(nat("/rec/new") + NUL + "b.rm" + NUL + "a.rm" + NUL + "C.rm" + NUL);
    ui(f).Command2[2]->click();

    QVERIFY(!h.platform.dialogCalls.last().save); // the open dialog: clips that exist, several at once
    const CommonDialogState &seen = h.platform.dialogCalls.last().state;
    QVERIFY(seen.cancelError);
    QCOMPARE(seen.flags, 0x80200);
    QCOMPARE(seen.filter, QStringLiteral("RealMedia(*.rm,*.ra,*.ram)|*.rm*;*.ra*"));
    QCOMPARE(seen.initDir, nat("/rec/"));

    QCOMPARE(entries(f), (QStringList{nat("/rec/new/a.rm"), nat("/rec/new/b.rm"), nat("/rec/new/C.rm")}));
    QCOMPARE(ui(f).sources->lastFolder(), nat("/rec/new/"));
    QVERIFY(ui(f).Command2[0]->isEnabled());
    QVERIFY(ui(f).m_12->isEnabled());
    QCOMPARE(ui(f).Text5->text(), nat("/rec/new/.rm")); // a, b and C share nothing
    QCOMPARE(f.focusWidget(), ui(f).Text5);
    QCOMPARE(ui(f).Text5->cursorPosition(), ui(f).Text5->text().size());
    QVERIFY(!ui(f).Text5->hasSelectedText());

    // The next dialog opens where this one was confirmed.
    h.platform.cancel();
    ui(f).Command2[2]->click();
    QCOMPARE(h.platform.dialogCalls.last().state.initDir, nat("/rec/new/"));
    QCOMPARE(h.platform.dialogCalls.last().state.fileName, QString()); // no name left from the last choice
}

void SourcesTest::oneFileKeepsPath()
{
    Harness h;
    Form1 &f = h.startWithTool();
    h.platform.choose(nat("/rec/live 01.rm"));
    ui(f).Command2[2]->click();
    h.platform.choose(nat("/rec/live 01.rm"));
    ui(f).Command2[2]->click();
    QCOMPARE(entries(f), (QStringList{nat("/rec/live 01.rm"), nat("/rec/live 01.rm")}));
    QCOMPARE(ui(f).sources->lastFolder(), nat("/rec/"));
    QCOMPARE(ui(f).Text5->text(), nat("/rec/live 01.rm"));
}

void SourcesTest::cancelChangesNothing()
{
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).sources->setLastFolder(nat("/keep/"));
    ui(f).Text5->setText(QStringLiteral("untouched"));
    h.platform.cancel();
    ui(f).Command2[2]->click();
    QCOMPARE(ui(f).sources->count(), 0);
    QCOMPARE(ui(f).sources->lastFolder(), nat("/keep/"));
    QVERIFY(!ui(f).Command2[0]->isEnabled());
    QCOMPARE(ui(f).Text5->text(), QStringLiteral("untouched"));
    QVERIFY(h.platform.messages.isEmpty());
    // A dialog that fails says so, and adds nothing of what it left in its buffer.
    h.platform.leaveBehind = [](CommonDialogState &left) { left.fileName = nat("/rec/left.rm"); };
    h.platform.dialogAnswers.append({DialogOutcome::Failed, {}});
    ui(f).Command2[2]->click();
    QCOMPARE(ui(f).sources->count(), 0);
    QCOMPARE(h.platform.messages, QStringList{QStringLiteral("ファイルを選択できませんでした")});
}

void SourcesTest::menuSelectsLikeButton()
{
    Harness h;
    Form1 &f = h.startWithTool();
    h.platform.choose(nat("/rec/x.rm"));
    ui(f).m_11->trigger();
    QCOMPARE(entries(f), QStringList{nat("/rec/x.rm")});
}

void SourcesTest::dropTargets_data()
{
    QTest::addColumn<QString>("target");
    for (const char *name : {"Form1", "List1", "List2", "Text5", "Command2_0", "Command2_1", "Command2_2",
                             "SSTab1", "SSTab1_tabs", "SSTab1_page0", "SSTab1_page1", "Text1", "Text2",
                             "Text3_0", "Text3_1", "Text4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void SourcesTest::dropTargets()
{
    QFETCH(QString, target);
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QWidget *widget = target == QLatin1String("Form1") ? &f : f.findChild<QWidget *>(target);
    QVERIFY(widget);
    const QString a = h.makeFile(QStringLiteral("clip01.rm"));
    const QString b = h.makeFile(QStringLiteral("clip02.rm"));
    auto *box = qobject_cast<QLineEdit *>(widget);
    const QString boxText = box ? box->text() : QString();
    auto data = fileDrop({a, b});
    data->setText(a + QLatin1Char('\n') + b); // as file managers offer them to text boxes too
    QVERIFY(dropOn(widget, data.get()));
    QCOMPARE(entries(f), (QStringList{a, b}));
    if (box && box != ui(f).Text5)
        QCOMPARE(box->text(), boxText); // a setting, never the dropped names
    QVERIFY(ui(f).Command2[0]->isEnabled());
    QCOMPARE(ui(f).Text5->text(), QDir::toNativeSeparators(h.dir()) + QDir::separator() + QStringLiteral("clip0.rm"));
    QCOMPARE(f.focusWidget(), ui(f).Text5);
    QCOMPARE(ui(f).Text5->cursorPosition(), ui(f).Text5->text().size());
}

void SourcesTest::dropOrderAndLastSourceDir()
{
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).sources->setLastFolder(nat("/from/dialog/"));
    auto data = fileDrop({nat("/z/c.rm"), nat("/a/b.rm"), nat("/m/a.rm")});
    QVERIFY(dropOn(ui(f).List1, data.get()));
    QCOMPARE(entries(f), (QStringList{nat("/z/c.rm"), nat("/a/b.rm"), nat("/m/a.rm")}));
    QCOMPARE(ui(f).sources->lastFolder(), nat("/from/dialog/"));
}

void SourcesTest::dropWithoutFiles()
{
    Harness h;
    Form1 &f = h.startWithTool();
    ui(f).Text5->setText(QStringLiteral("old"));
    QMimeData text;
    text.setUrls({QUrl(QStringLiteral("https://example.invalid/clip.rm"))});
    QVERIFY(dropOn(ui(f).List1, &text));
    QCOMPARE(ui(f).sources->count(), 0);
    QCOMPARE(ui(f).Text5->text(), QStringLiteral("old")); // empty list: nothing at all
    QVERIFY(!ui(f).Command2[0]->isEnabled());

    // With entries already there, the preview is refreshed.
    f.AddSources({nat("/rec/a.rm")});
    ui(f).Text5->setText(QStringLiteral("old"));
    QVERIFY(dropOn(ui(f).List2, &text));
    QCOMPARE(ui(f).sources->count(), 1);
    QCOMPARE(ui(f).Text5->text(), nat("/rec/a.rm"));

    // Plain text dragged onto the preview is refused.
    QMimeData plain;
    plain.setText(QStringLiteral("typed"));
    QVERIFY(!dropOn(ui(f).Text5, &plain));
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &plain, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ui(f).Text5, &enter);
    QVERIFY(!enter.isAccepted()); // the pointer says so before the drop
    QCOMPARE(ui(f).Text5->text(), nat("/rec/a.rm"));
    // A naming box takes it as any text box does.
    ui(f).SSTab1->setCurrentIndex(1);
    ui(f).Text4->clear();
    QVERIFY(dropOn(ui(f).Text4, &plain));
    QCOMPARE(ui(f).Text4->text(), QStringLiteral("typed"));
}

void SourcesTest::nonLocalUrlsIgnored()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QMimeData mixed;
    mixed.setUrls({QUrl(QStringLiteral("ftp://host/x.rm")), QUrl::fromLocalFile(nat("/rec/y.rm"))});
    QVERIFY(dropOn(ui(f).Text5, &mixed));
    QCOMPARE(entries(f), QStringList{nat("/rec/y.rm")});
}

// Rows dragged over the empty area below the last row may be dropped there
// (to go to the end): the cursor says so, or the drop never comes.
void SourcesTest::dragBelowTheLastRow()
{
    Harness h;
    Form1 &f = h.startWithTool();
    f.AddSources({nat("/rec/a.rm"), nat("/rec/b.rm"), nat("/rec/c.rm")});
    QWidget *area = ui(f).List1->viewport();
    const QPoint below = ui(f).List1->visualRect(ui(f).sources->index(2)).center() + QPoint(0, 40);
    QVERIFY(area->rect().contains(below) && !ui(f).List1->indexAt(below).isValid());
    const std::unique_ptr<QMimeData> rows(ui(f).sources->mimeData({ui(f).sources->index(0)}));
    QDragEnterEvent enter(below, Qt::CopyAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    QVERIFY(enter.isAccepted());
    QDragMoveEvent move(below, Qt::CopyAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    QVERIFY(move.isAccepted());
}

// Rows dragged within the list move where they are dropped and stay in it.
// Only a display server's drag ends in a drop (tst_sources_xcb runs it).
void SourcesTest::dragWithinTheList()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("a drag needs a display server");
    Harness h;
    Form1 &f = h.startWithTool();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.AddSources({nat("/rec/a.rm"), nat("/rec/b.rm"), nat("/rec/c.rm")});
    QWidget *area = ui(f).List1->viewport();
    const QRect last = ui(f).List1->visualRect(ui(f).sources->index(2));
    const QPoint from = ui(f).List1->visualRect(ui(f).sources->index(0)).center();
    const QPoint to = last.center() + QPoint(0, last.height() / 4); // the lower half of c: after it
    QTimer::singleShot(200, area, [area, to] { // within the drag's own loop
        QTest::mouseMove(area, to);
        QTest::mouseMove(area, to + QPoint(1, 0));
        QTest::mouseRelease(area, Qt::LeftButton, {}, to + QPoint(1, 0));
    });
    QTest::mousePress(area, Qt::LeftButton, {}, from);
    for (const QPoint &at : {from + QPoint(0, 1), from + QPoint(0, QApplication::startDragDistance() + 5)}) {
        QMouseEvent move(QEvent::MouseMove, at, area->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &move); // the second starts the drag
    }
    QCOMPARE(entries(f), (QStringList{nat("/rec/b.rm"), nat("/rec/c.rm"), nat("/rec/a.rm")}));
}

// The program's own file dialogs: the folder they open in, the name they
// offer, the files they list, and names typed from two folders.
void SourcesTest::fileDialogs()
{
#ifdef Q_OS_WIN
    QSKIP("Windows shows its own dialogs, which a test cannot drive");
#endif
    QTemporaryDir here, there;
    for (const QString &path : {here.filePath("a.rm"), here.filePath("b.ram"), here.filePath("D.RM"), here.filePath("notes.txt"), there.filePath("c.rm")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QString opened, offered;
    QStringList listed;
    bool saving = false; // its button says Save
    bool several = false; // its list lets several files be picked
    QWidget *owner = nullptr; // the window it belongs to and stays above
    // What the dialog shows once open; then `typed` is chosen, or with none it is cancelled.
    const auto look = [&](const QString &typed) {
        QTimer::singleShot(0, [&, typed] {
            auto *box = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            const auto end = qScopeGuard([box, typed] {
                // A name the dialog will not take brings a message box: that ends as a cancel.
                QTimer::singleShot(0, [] {
                    if (auto *message = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                        message->reject();
                });
                if (!typed.isEmpty())
                    static_cast<QDialog *>(box)->accept();
                if (box->isVisible())
                    box->reject();
            });
            auto *view = box->findChild<QListView *>(QStringLiteral("listView"));
            auto *name = box->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            opened = box->directory().path();
            offered = name->text();
            saving = box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save);
            several = view->selectionMode() == QAbstractItemView::ExtendedSelection;
            owner = box->parentWidget();
            QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) > 0);
            listed.clear();
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
            if (!typed.isEmpty())
                name->setText(typed);
        });
    };
    QtPlatform platform;
    CommonDialogState save{false, 0, QStringLiteral("Rm|*.rm"), here.path(), there.filePath(QStringLiteral("joined.rm"))};
    look(QString());
    QCOMPARE(int(platform.showSave(nullptr, save)), int(DialogOutcome::Cancelled));
    QCOMPARE(opened, there.path());
    QCOMPARE(offered, QStringLiteral("joined.rm"));
    QCOMPARE(listed, QStringList{"c.rm"});
    QVERIFY(saving);
    // A name without its folder: the dialog opens where the program says.
    CommonDialogState bare{false, 0, QStringLiteral("Rm|*.rm"), here.path(), QStringLiteral("joined.rm")};
    look(QString());
    QCOMPARE(int(platform.showSave(nullptr, bare)), int(DialogOutcome::Cancelled));
    QCOMPARE(opened, here.path());
    // A new name typed there is the one chosen.
    look(QStringLiteral("new.rm"));
    QCOMPARE(int(platform.showSave(nullptr, save)), int(DialogOutcome::Chosen));
    QCOMPARE(save.fileName, there.filePath(QStringLiteral("new.rm")));
    // So is a name in use, without the dialog's own question: the program asks itself.
    look(QStringLiteral("c.rm"));
    QCOMPARE(int(platform.showSave(nullptr, save)), int(DialogOutcome::Chosen));
    QCOMPARE(save.fileName, there.filePath(QStringLiteral("c.rm")));

    CommonDialogState open{false, dialogflags::kAllowMultiSelect, QStringLiteral("RealMedia(*.rm,*.ra,*.ram)|*.rm*;*.ra*"), here.path(), QString()};
    look(QStringLiteral("\"a.rm\" \"%1\"").arg(there.filePath(QStringLiteral("c.rm"))));
    QWidget window;
    QCOMPARE(int(platform.showOpen(&window, open)), int(DialogOutcome::Chosen));
    QCOMPARE(owner, &window);
    QCOMPARE(opened, here.path());
    QCOMPARE(listed, (QStringList{"a.rm", "b.ram", "D.RM"})); // in either case, as Windows lists them
    QVERIFY(!saving && several);
    QCOMPARE(open.fileName, here.path() + QChar(0) + QStringLiteral("a.rm") + QChar(0) + there.filePath(QStringLiteral("c.rm")));
    // One file alone comes back with its folder.
    look(QStringLiteral("a.rm"));
    QCOMPARE(int(platform.showOpen(nullptr, open)), int(DialogOutcome::Chosen));
    QCOMPARE(open.fileName, here.filePath(QStringLiteral("a.rm")));
    // Without multi-select (where the tool is chosen) one name comes back, never a list.
    CommonDialogState single{false, 0, open.filter, here.path(), QString()};
    look(QStringLiteral("\"a.rm\" \"%1\"").arg(there.filePath(QStringLiteral("c.rm"))));
    QCOMPARE(int(platform.showOpen(nullptr, single)), int(DialogOutcome::Chosen));
    QCOMPARE(single.fileName, here.filePath(QStringLiteral("a.rm")));
    QVERIFY(!saving && !several);
    // A folder among the names is no clip: the dialog does not close on it.
    QVERIFY(QDir(here.path()).mkdir(QStringLiteral("sub")));
    look(QStringLiteral("\"a.rm\" \"sub\""));
    QCOMPARE(int(platform.showOpen(nullptr, open)), int(DialogOutcome::Cancelled));

    // Its messages carry the program's name, and no sign beside the text.
    QCoreApplication::processEvents(); // the last dialog's watch for a message box ends first
    QString title;
    QMessageBox::Icon sign = QMessageBox::Critical;
    QTimer::singleShot(0, [&title, &sign] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            sign = box->icon();
            box->accept();
        }
    });
    platform.messageBox(nullptr, QStringLiteral("結合できません"));
    QCOMPARE(title, QStringLiteral("tapeknot"));
    QCOMPARE(sign, QMessageBox::NoIcon);
}

void SourcesTest::limitMessage()
{
    Harness h;
    Form1 &f = h.startWithTool();
    QStringList many;
    for (int i = 0; i < Form1::kMaxSources - 2; ++i)
        many << nat("/rec/clip%1.rm").arg(i);
    f.AddSources(many);
    QVERIFY(h.platform.messages.isEmpty());
    f.AddSources({nat("/rec/a.rm"), nat("/rec/b.rm"), nat("/rec/c.rm"),
                  nat("/rec/d.rm"), nat("/rec/e.rm")});
    QCOMPARE(ui(f).sources->count(), Form1::kMaxSources);
    QCOMPARE(ui(f).sources->entry(Form1::kMaxSources - 1), nat("/rec/b.rm"));
    QCOMPARE(h.platform.messages, QStringList{QStringLiteral("リストに登録できるのは32767件までです。残りの3件は追加しませんでした")});
    f.AddSources({nat("/rec/e.rm")});
    QCOMPARE(ui(f).sources->count(), Form1::kMaxSources);
    QCOMPARE(h.platform.messages.size(), 2);
}

void SourcesTest::listEditing()
{
    Harness h;
    Form1 &f = h.startWithTool();
    // Every edit tells the view what it changed, as the list then is.
    QAbstractItemModelTester consistent(ui(f).sources, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.AddSources({nat("/rec/clip10.rm"), nat("/rec/clip2.rm"), nat("/rec/clip1.rm")});
    QVERIFY(ui(f).List1->updatesEnabled()); // held while they are added, then shown

    // Natural order, then reversed; the preview follows the head entry.
    ui(f).Option1[2]->setChecked(false);
    ui(f).sources->sortByName();
    QCOMPARE(entries(f), (QStringList{nat("/rec/clip1.rm"), nat("/rec/clip2.rm"), nat("/rec/clip10.rm")}));
    ui(f).sources->reverse();
    QCOMPARE(entries(f), (QStringList{nat("/rec/clip10.rm"), nat("/rec/clip2.rm"), nat("/rec/clip1.rm")}));
    ui(f).sources->move({0}, 3);
    QCOMPARE(entries(f), (QStringList{nat("/rec/clip2.rm"), nat("/rec/clip1.rm"), nat("/rec/clip10.rm")}));
    QCOMPARE(ui(f).Text5->text(), nat("/rec/clip.rm"));

    // The context menu: nothing selected, nothing to delete.
    QCOMPARE(sourceMenu(f, QStringLiteral("逆順")),
             (QStringList{"削除 (off)", "名前順に並べる", "逆順"}));
    QCOMPARE(entries(f), (QStringList{nat("/rec/clip10.rm"), nat("/rec/clip1.rm"), nat("/rec/clip2.rm")}));
    QCOMPARE(sourceMenu(f, QStringLiteral("名前順に並べる")).size(), 3);
    QCOMPARE(entries(f), (QStringList{nat("/rec/clip1.rm"), nat("/rec/clip2.rm"), nat("/rec/clip10.rm")}));
    ui(f).sources->move({0}, 2);

    // Delete removes the selection (a click, a Ctrl+click); an empty list cannot be run.
    const auto click = [&](int row, Qt::KeyboardModifiers keys) {
        QTest::mouseClick(ui(f).List1->viewport(), Qt::LeftButton, keys, ui(f).List1->visualRect(ui(f).sources->index(row)).center());
    };
    click(0, Qt::NoModifier);
    click(2, Qt::ControlModifier);
    QTest::keyClick(ui(f).List1, Qt::Key_Delete);
    QCOMPARE(entries(f), QStringList{nat("/rec/clip1.rm")});
    QCOMPARE(ui(f).Text5->text(), nat("/rec/clip1.rm"));
    QCOMPARE(sourceMenu(f).mid(1), (QStringList{"名前順に並べる (off)", "逆順 (off)"})); // one clip: no order to change
    QVERIFY(ui(f).Command2[0]->isEnabled() && ui(f).m_12->isEnabled());
    f.AddSources({nat("/rec/clip0.rm")});
    QCOMPARE(sourceMenu(f).mid(1), (QStringList{"名前順に並べる", "逆順"})); // two: either can change it
    ui(f).List1->selectAll();
    QTest::keyClick(ui(f).List1, Qt::Key_Delete);
    QCOMPARE(ui(f).sources->count(), 0);
    QVERIFY(!ui(f).Command2[0]->isEnabled() && !ui(f).m_12->isEnabled());
    QCOMPARE(ui(f).Command2[0]->toolTip(), QString()); // no total of nothing
    // The row where the deletion began stays current, whichever was picked first.
    f.AddSources({nat("/rec/a.rm"), nat("/rec/b.rm"), nat("/rec/c.rm"), nat("/rec/d.rm")});
    click(2, Qt::NoModifier);
    click(0, Qt::ControlModifier);
    sourceMenu(f, QStringLiteral("削除")); // the menu's entry removes as the key does
    QCOMPARE(ui(f).List1->currentIndex().data().toString(), nat("/rec/b.rm"));
    ui(f).sources->clear();

    // Paths from the command line ("Open with") are appended as a drop would
    // add them; an empty argument is no path, not the current folder.
    QDir::setCurrent(h.dir());
    f.AddCommandLineFiles({QStringLiteral("b.rm"), QString(), nat("/rec/a.rm")});
    QCOMPARE(entries(f), (QStringList{QDir::toNativeSeparators(h.dir() + QStringLiteral("/b.rm")), nat(QFileInfo(QStringLiteral("/rec/a.rm")).absoluteFilePath()) /* on Windows with the current drive */}));
    QVERIFY(ui(f).Command2[0]->isEnabled());
    // After a removal the entry that took the first removed one's place is current.
    f.AddSources({nat("/rec/c.rm")});
    ui(f).List1->selectionModel()->clearSelection();
    ui(f).List1->selectionModel()->select(ui(f).sources->index(0), QItemSelectionModel::Select);
    QTest::keyClick(ui(f).List1, Qt::Key_Delete);
    QCOMPARE(ui(f).List1->currentIndex().row(), 0);
    ui(f).List1->selectionModel()->clearSelection(); // nothing picked: nothing goes, and the current entry stays
    QTest::keyClick(ui(f).List1, Qt::Key_Delete);
    QCOMPARE(ui(f).sources->count(), 2);
    QCOMPARE(ui(f).List1->currentIndex().row(), 0);
}

void SourcesTest::clipMarks_data()
{
    QTest::addColumn<QStringList>("clips");
    QTest::addColumn<QList<int>>("marked");
    QTest::addColumn<QString>("says"); // in the first marked row's tooltip
    QTest::addColumn<QList<int>>("markedReversed"); // once the list is reversed
    QTest::addColumn<QString>("describes");         // in the first row's tooltip
    const QString audio = seed("tiny-audio.rm"), video = seed("tiny-video.rm");
    const QString dnet = QStringLiteral("音声 dnet 32000 Hz モノラル");
    QTest::newRow("alike") << QStringList{audio, audio} << QList<int>{} << QString() << QList<int>{} << dnet;
    QTest::newRow("other streams later") << QStringList{audio, audio, video} << QList<int>{2}
                                         << "結合できません: ストリームが 1 個ではなく 2 個です" << QList<int>{1, 2} << dnet;
    QTest::newRow("other streams first") << QStringList{video, audio, audio} << QList<int>{1, 2}
                                         << "ストリームが 2 個ではなく 1 個です" << QList<int>{2} << "映像 RV10 32×32";
    QTest::newRow("old RealAudio alone") << QStringList{seed("tiny-old-realaudio.ra")} << QList<int>{} << QString() << QList<int>{}
                                         << "旧形式の RealAudio ファイル ・ 72 bytes";
    // A first clip that is no RealMedia file tells nothing of the others.
    QTest::newRow("old RealAudio after RealMedia") << QStringList{audio, seed("tiny-old-realaudio.ra")} << QList<int>{1}
                                                   << "RealMedia ファイルとして読めません" << QList<int>{} << dnet;
    // A clip the joiner refuses even alone is marked wherever it stands.
    QTest::newRow("RealAudio 5") << QStringList{audio, seed("tiny-ra5.ra")} << QList<int>{1}
                                 << "結合できません: tiny-ra5.ra: RealAudio バージョン 5 のファイルは結合できません" << QList<int>{0} << dnet;
    const QString junk = madeFrom(audio, QStringLiteral("not-realmedia.rm"), ".RMF", "JUNK");
    QTest::newRow("not RealMedia, first once reversed") << QStringList{audio, junk} << QList<int>{1} << "結合できません"
                                                      << QList<int>{0} << dnet;
    QTest::newRow("missing file") << QStringList{audio, seed("none.rm")} << QList<int>{1} << "ファイルが見つかりません"
                                  << QList<int>{} << dnet;
    QTest::newRow("a folder") << QStringList{audio, hostPath(m_made.path())} << QList<int>{1} << "ファイルではありません"
                              << QList<int>{} << dnet;
    // The same clip stating six channels.
    const QString six = madeFrom(audio, QStringLiteral("six-channels.rm"), QByteArray::fromHex("7d00000000100001"),
                                 QByteArray::fromHex("7d00000000100006"));
    QVERIFY(!six.isEmpty());
    QTest::newRow("six channels") << QStringList{six} << QList<int>{} << QString() << QList<int>{}
                                  << QStringLiteral("音声 dnet 32000 Hz 6 チャンネル");
    const QString stereo = madeFrom(audio, QStringLiteral("stereo.rm"), QByteArray::fromHex("7d00000000100001"),
                                    QByteArray::fromHex("7d00000000100002"));
    QTest::newRow("stereo") << QStringList{stereo} << QList<int>{} << QString() << QList<int>{}
                            << QStringLiteral("音声 dnet 32000 Hz ステレオ");
    // The same clip stating no length, neither for the file nor for its stream.
    const QString noLength = madeFrom(audio, QStringLiteral("no-length.rm"), QByteArray::fromHex("00000150"), QByteArray(4, '\0'));
    // The same clip stating no rate: none is told.
    const QString noRate = madeFrom(audio, QStringLiteral("no-rate.rm"), QByteArray::fromHex("00007d0000007d00"), QByteArray(8, '\0'));
    QTest::newRow("no rate stated") << QStringList{noRate} << QList<int>{} << QString() << QList<int>{} << QStringLiteral("長さ 0:00.3 ・ 1.7 kB\n");
    QTest::newRow("no length stated") << QStringList{noLength} << QList<int>{} << QString() << QList<int>{}
                                      << QStringLiteral("長さ 不明 ・ ");
    // The same clip stating its length for the file alone, not for its stream.
    const QString fileLength = madeFrom(audio, QStringLiteral("file-length.rm"), QByteArray::fromHex("0000015010"),
                                        QByteArray::fromHex("0000000010"));
    QTest::newRow("length stated for the file alone") << QStringList{fileLength} << QList<int>{} << QString()
                                                      << QList<int>{} << QStringLiteral("長さ 0:00.3 ・ ");
    // Its audio described in another codec's form: no rate or codec read from it.
    const QString otherForm = madeFrom(audio, QStringLiteral("other-form.rm"), ".ra\xfd", "LSD:");
    QTest::newRow("audio settings of another form") << QStringList{otherForm} << QList<int>{} << QString() << QList<int>{}
                                                    << QStringLiteral("\n音声 audio/x-pn-realaudio");
    // A stream that only groups others, ahead of what plays: what follows it is still told.
    const QString groupsFirst = madeFrom(video, QStringLiteral("groups-first.rm"), "video/x-pn-realvideo", "logical-x-pn-realvid");
    QTest::newRow("a stream of groups first") << QStringList{groupsFirst} << QList<int>{} << QString() << QList<int>{} << "\n音声 dnet";
    const QString helix = hostPath(QStringLiteral(SAMPLES_DIR "/helix11-rv30-cook.rm"));
    if (QFile::exists(helix)) // real producers' files, where they are at hand
        QTest::newRow("helix and producer61") << QStringList{helix, hostPath(QStringLiteral(SAMPLES_DIR "/producer61-cook-event.rm"))}
                                              << QList<int>{1} << "ストリームの種類が違います（映像のストリームがありません、イベントのストリームが余分にあります）"
                                              << QList<int>{1} << "長さ 0:06.2 ・ 60 kbit/s ・ 37.4 kB\n映像 RV30 176×144\n音声 cook 22050 Hz モノラル";
    if (QFile::exists(helix))
        QTest::newRow("producer61, with its events") << QStringList{hostPath(QStringLiteral(SAMPLES_DIR "/producer61-cook-event.rm"))}
                                                     << QList<int>{} << QString() << QList<int>{} << "\nイベント";
    // The helix sample with its video labelled RealVideo 4, as .rmvb files are.
    if (QFile::exists(helix)) {
        const QString rv40 = madeFrom(helix, QStringLiteral("helix-rv40.rmvb"), "VIDORV30", "VIDORV40");
        QVERIFY(!rv40.isEmpty());
        const QString unknown = madeFrom(helix, QStringLiteral("helix-unknown-kind.rm"), "video/x-pn-realvideo", "video/x-pn-unknown-v");
        QTest::newRow("a stream of a kind not known") << QStringList{unknown} << QList<int>{} << QString() << QList<int>{}
                                                      << "\nその他 video/x-pn-unknown-v\n";
        QTest::newRow("RealVideo 4, and 3 after it") << QStringList{rv40, helix} << QList<int>{1} << "RV40 ではなく RV30"
                                                      << QList<int>{1} << "映像 RV40 176×144\n音声 cook 22050 Hz モノラル";
        // Its cook frames sent whole, one sub-packet each: nothing to refuse.
        const QString whole = madeFrom(helix, QStringLiteral("helix-whole-frames.rm"), QByteArray::fromHex("00090258003c"),
                                       QByteArray::fromHex("000902580258"));
        QVERIFY(!whole.isEmpty());
        // Stating 59,500 bit/s on average, at peaks twice that: the average's nearest kbit/s.
        const QString under60 = madeFrom(helix, QStringLiteral("helix-59500.rm"), QByteArray::fromHex("0000ea600000ea60"),
                                         QByteArray::fromHex("0001d4c00000e86c"));
        QTest::newRow("59.5 kbit/s") << QStringList{under60} << QList<int>{} << QString() << QList<int>{}
                                     << "長さ 0:06.2 ・ 60 kbit/s ・";
        QTest::newRow("cook sub-packets as large as frames") << QStringList{whole, whole} << QList<int>{} << QString()
                                                             << QList<int>{} << "音声 cook 22050 Hz モノラル";
    }
}

void SourcesTest::clipMarks()
{
    QFETCH(QStringList, clips);
    QFETCH(QList<int>, marked);
    QFETCH(QString, says);
    QFETCH(QList<int>, markedReversed);
    QFETCH(QString, describes);
    Harness h;
    Form1 &f = h.startWithTool();
    f.AddSources(clips);
    QCOMPARE(markedRows(f), marked);
    QVERIFY(!drawnInDarkRed(f, 0));
    if (!marked.isEmpty())
        QVERIFY(drawnInDarkRed(f, marked[0])); // seen, not only known
    if (!marked.isEmpty())
        QVERIFY2(ui(f).sourceTip(marked[0]).contains(says), qPrintable(ui(f).sourceTip(marked[0])));
    const QString tip = ui(f).sourceTip(0); // its length first, or that it is of the old form
    QVERIFY(tip.startsWith(QStringLiteral("長さ ")) || tip.startsWith(QStringLiteral("旧形式の RealAudio ファイル ・ ")));
    QVERIFY2(tip.contains(describes), qPrintable(tip));
    QVERIFY(!tip.contains(QStringLiteral("logical-"))); // groups and file properties: nothing to play
    QVERIFY(!tip.contains(QStringLiteral(" 0 Hz"))); // a rate not stated is not told
    QVERIFY(ui(f).Command2[0]->toolTip().startsWith(QStringLiteral("合計の長さ ")));
    if (describes.startsWith(QStringLiteral("長さ 不明"))) // left out of the total, not counted as 0:00
        QVERIFY2(ui(f).Command2[0]->toolTip().endsWith(QStringLiteral("長さの分からないクリップ 1 個を除く")), qPrintable(ui(f).Command2[0]->toolTip()));
    // Reordered, the marks follow the new first clip at once.
    ui(f).sources->reverse();
    QCOMPARE(markedRows(f), markedReversed);
}

// A clip re-encoded in another program while the window was in the
// background: its facts and mark are new once the window is back.
void SourcesTest::clipReplacedMeanwhileReadOnReturn()
{
    const QString later = m_made.filePath(QStringLiteral("replaced.rm"));
    QFile::remove(later);
    QVERIFY(QFile::copy(seed("tiny-audio.rm"), later));
    Harness h;
    Form1 &f = h.startWithTool();
    f.AddSources({seed("tiny-audio.rm"), hostPath(later)});
    QCOMPARE(markedRows(f), QList<int>{});
    QVERIFY(QFile::remove(later) && QFile::copy(seed("tiny-video.rm"), later));
    QFile file(later);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();
    QTest::qWait(200);
    QCOMPARE(markedRows(f), QList<int>{}); // nothing is watched while away
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    QTRY_COMPARE(markedRows(f), QList<int>{1});
    QVERIFY(ui(f).sourceTip(1).contains(QStringLiteral("映像 RV10 32×32")));
    // Replaced again by a copy that kept its time (as "cp -p" does): its size tells.
    const QDateTime kept = QFileInfo(later).lastModified();
    QVERIFY(QFile::remove(later) && QFile::copy(seed("tiny-audio.rm"), later));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(kept, QFileDevice::FileModificationTime));
    file.close();
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    QTRY_COMPARE(markedRows(f), QList<int>{});
}

void SourcesTest::manyClipsKeepTheWindowResponsive()
{
    // 10,000 different files: the window takes events every few milliseconds
    // while their headers are read.
    QTemporaryDir dir;
    QStringList clips;
    for (int i = 0; i < 10000; ++i) {
        const QString path = dir.filePath(QStringLiteral("clip%1.rm").arg(i, 5, 10, QLatin1Char('0')));
        QVERIFY(QFile::copy(seed("tiny-audio.rm"), path));
        clips.append(path);
    }
    Harness h;
    Form1 &f = h.startWithTool();
    f.AddSources(clips);
    // Put in another order while they are read: every clip still gets its facts.
    QVERIFY(QTest::qWaitFor([&] { return ui(f).sourceTip(0).startsWith(QStringLiteral("長さ ")); }, 60000));
    ui(f).sources->reverse();
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    qint64 longestStall = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestStall = qMax(longestStall, sinceTick.elapsed());
        sinceTick.restart();
    });
    tick.start(5);
    // What counts is the longest stall, not how long a busy machine (or a
    // sanitized build) takes to read them all.
    QVERIFY(QTest::qWaitFor([&] { return ui(f).Command2[0]->toolTip().contains(QStringLiteral("（10000 個のクリップ）")); }, 240000));
    QVERIFY2(longestStall < 250, qPrintable(QString::number(longestStall)));
    QVERIFY(ui(f).sourceTip(9999).startsWith(QStringLiteral("長さ ")));

    // Closed while it reads them, the reader ends at once, not after the last one.
    const qint64 readingAll = clock.elapsed();
    auto reader = std::make_unique<ClipReader>();
    QSignalSpy known(reader.get(), &ClipReader::known);
    reader->request(clips);
    QVERIFY(known.wait(60000));
    clock.restart();
    reader.reset();
    QVERIFY2(clock.elapsed() < readingAll / 4, qPrintable(QStringLiteral("%1 ms to close, %2 ms to read them all").arg(clock.elapsed()).arg(readingAll)));
}

QTEST_MAIN(SourcesTest)
#include "tst_sources.moc"
