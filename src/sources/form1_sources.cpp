// Filling the source list: the open dialog and file drops.
#include "app/form1.h"

#include "app/filedrop.h"
#include "sources/selection.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

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

void Form1::AddDroppedFiles(const QMimeData *data)
{
    AddSources(localFilesOf(data));
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
