// Filling the source list: the open dialog and file drops.
#include "app/form1.h"

#include "app/filedrop.h"
#include "sources/listedit.h"
#include "sources/selection.h"

#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

namespace {
const QString kSourceFilter = QStringLiteral("RealMedia(*.rm,*.ra,*.ram)|*.rm*;*.ra*");
}

void Form1::SelectSources()
{
    CD1.properties.cancelError = true;
    CD1.properties.flags = dialogflags::kExplorer | dialogflags::kAllowMultiSelect;
    CD1.properties.filter = kSourceFilter;
    CD1.properties.initDir = LastSourceDir;
    // A path left from another use of the dialog would open it elsewhere.
    CD1.properties.fileName.clear();

    const DialogOutcome outcome = CD1.ShowOpen();
    if (outcome == DialogOutcome::Cancelled)
        return;
    if (outcome == DialogOutcome::Failed) {
        m_platform.messageBox(this, QStringLiteral("ファイルを選択できませんでした"));
        return;
    }

    const DialogSelection selection = parseDialogSelection(CD1.properties.fileName);
    if (selection.paths.isEmpty())
        return;
    LastSourceDir = selection.folder;
    if (selection.paths.size() > 1) {
        List3->clear();
        for (const QString &path : selection.paths)
            List3->addItem(path.mid(selection.folder.size()));
    }
    AddSources(selection.paths);
}

void Form1::AddDroppedFiles(const QMimeData *mime)
{
    AddSources(localFilesOf(mime));
}

void Form1::AddCommandLineFiles(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments)
        if (!argument.isEmpty())
            paths.append(QDir::toNativeSeparators(QFileInfo(argument).absoluteFilePath()));
    if (!paths.isEmpty())
        AddSources(paths);
}

void Form1::AddSources(const QStringList &paths)
{
    const qsizetype room = kMaxSources - List1->count();
    const qsizetype taken = qMin<qsizetype>(room, paths.size());
    if (taken > 0) {
        List1->setUpdatesEnabled(false);
        List1->addItems(taken == paths.size() ? paths : paths.mid(0, taken));
        List1->setUpdatesEnabled(true);
    }
    if (List1->count() > 0)
        finishAddition();
    if (taken < paths.size())
        m_platform.messageBox(this, QStringLiteral("リストに登録できるのは%1件までです。残りの%2件は追加しませんでした")
                                        .arg(kMaxSources)
                                        .arg(paths.size() - taken));
}

void Form1::finishAddition()
{
    updateRunCommand();
    Text5->setText(OutputPath());
    Text5->setFocus();
    Text5->setCursorPosition(int(Text5->text().size()));
}

void Form1::setSourceEntries(const QStringList &entries)
{
    List1->setUpdatesEnabled(false);
    List1->clear();
    List1->addItems(entries);
    List1->setUpdatesEnabled(true);
    updateRunCommand();
    if (List1->count() > 0)
        Text5->setText(OutputPath());
}

namespace {
QList<int> selectedRows(const QListWidget *list)
{
    QList<int> rows;
    for (const QModelIndex &index : list->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
} // namespace

void Form1::RemoveSelectedSources()
{
    const QList<int> rows = selectedRows(List1);
    if (rows.isEmpty())
        return;
    const int first = rows.front();
    setSourceEntries(withoutRows(sourceEntries(), rows));
    if (List1->count() > 0)
        List1->setCurrentRow(qMin(first, List1->count() - 1));
}

void Form1::SortSourcesByName()
{
    setSourceEntries(naturallySorted(sourceEntries()));
}

void Form1::ReverseSources()
{
    QStringList entries = sourceEntries();
    std::reverse(entries.begin(), entries.end());
    setSourceEntries(entries);
}

void Form1::MoveSources(const QList<int> &rows, int before)
{
    setSourceEntries(withRowsMoved(sourceEntries(), rows, before));
}

void Form1::showSourceMenu(const QPoint &at)
{
    if (joinBusy())
        return;
    QMenu menu(this);
    QAction *remove = menu.addAction(QStringLiteral("削除"), this, &Form1::RemoveSelectedSources);
    remove->setEnabled(!List1->selectedItems().isEmpty());
    menu.addSeparator();
    menu.addAction(QStringLiteral("名前順に並べる"), this, &Form1::SortSourcesByName)->setEnabled(List1->count() > 1);
    menu.addAction(QStringLiteral("逆順"), this, &Form1::ReverseSources)->setEnabled(List1->count() > 1);
    menu.exec(List1->viewport()->mapToGlobal(at));
}

// Entries dragged within the list move there; drops from outside append.
bool Form1::dropWithinSourceList(QDropEvent *drop)
{
    if (drop->source() != List1)
        return false;
    const QList<int> rows = selectedRows(List1);
    const QPoint at = drop->position().toPoint();
    const QModelIndex target = List1->indexAt(at);
    int before = List1->count();
    if (target.isValid()) {
        const QRect rect = List1->visualRect(target);
        before = target.row() + (at.y() > rect.center().y() ? 1 : 0);
    }
    MoveSources(rows, before);
    // Copy, as far as the view knows: it must not take the moved rows away.
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    return true;
}
