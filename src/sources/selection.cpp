#include "sources/selection.h"

#include <QDir>

#include <algorithm>

void sortLikeListBox(QStringList &names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

DialogSelection parseDialogSelection(const QString &result)
{
    DialogSelection selection;
    const QChar sep = QDir::separator();
    const qsizetype nul = result.indexOf(QChar(0));
    if (nul < 0) {
        if (result.isEmpty())
            return selection;
        selection.paths.append(result);
        selection.folder = result.left(result.lastIndexOf(sep) + 1);
        return selection;
    }

    QString folder = result.left(nul);
    if (!folder.endsWith(sep))
        folder += sep;

    // Names, or whole paths for files of other folders.
    QStringList names = result.mid(nul + 1).split(QChar(0), Qt::SkipEmptyParts);
    selection.paths.reserve(names.size());
    for (const QString &name : std::as_const(names))
        selection.paths.append(QDir::isAbsolutePath(name) ? name : folder + name);
    sortLikeListBox(selection.paths);
    if (selection.paths.isEmpty())
        return selection;
    // The folder of the selection: the one of its first file.
    const QString &head = selection.paths.front();
    selection.folder = head.left(head.lastIndexOf(sep) + 1);
    return selection;
}
