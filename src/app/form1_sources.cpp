// Filling the source list: the open dialog and file drops.
#include "app/form1.h"

#include "app/filedrop.h"
#include "sources/listedit.h"
#include "sources/selection.h"
#include "sources/sourcelist.h"

#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QItemSelectionModel>
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
    CD1.properties.initDir = m_sources->lastFolder();
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
    m_sources->setLastFolder(selection.folder);
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
    List1->setUpdatesEnabled(false);
    const qsizetype taken = m_sources->append(paths);
    List1->setUpdatesEnabled(true);
    if (m_sources->count() > 0)
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

// After an edit of the list (a removal, a new order): the run command's
// rule and the preview.
void Form1::sourcesChanged()
{
    updateRunCommand();
    RefreshPreview();
}

QList<int> Form1::selectedSourceRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : List1->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void Form1::RemoveSelectedSources()
{
    const QList<int> rows = selectedSourceRows();
    if (rows.isEmpty())
        return;
    m_sources->remove(rows);
    if (m_sources->count() > 0)
        List1->setCurrentIndex(m_sources->index(qMin(rows.front(), m_sources->count() - 1)));
}

void Form1::showSourceMenu(const QPoint &at)
{
    if (joinBusy())
        return;
    QMenu menu(this);
    QAction *remove = menu.addAction(QStringLiteral("削除"), this, &Form1::RemoveSelectedSources);
    remove->setEnabled(List1->selectionModel()->hasSelection());
    menu.addSeparator();
    menu.addAction(QStringLiteral("名前順に並べる"), m_sources, &SourceList::sortByName)->setEnabled(m_sources->count() > 1);
    menu.addAction(QStringLiteral("逆順"), m_sources, &SourceList::reverse)->setEnabled(m_sources->count() > 1);
    menu.exec(List1->viewport()->mapToGlobal(at));
}

// Entries dragged within the list move there; drops from outside append.
bool Form1::dropWithinSourceList(QDropEvent *drop)
{
    if (drop->source() != List1)
        return false;
    const QList<int> rows = selectedSourceRows();
    const QPoint at = drop->position().toPoint();
    const QModelIndex target = List1->indexAt(at);
    m_sources->dropOn(rows, target.isValid() ? target.row() : -1,
                      target.isValid() && at.y() > List1->visualRect(target).center().y());
    // Copy, as far as the view knows: it must not take the moved rows away.
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    return true;
}
