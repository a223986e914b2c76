#pragma once
#include <QString>
#include <QStringList>

// What the open dialog hands back, parsed: either one full path, or a folder,
// a NUL and the chosen names separated by NUL.
struct DialogSelection {
    QStringList paths;   // full paths in the order they join the list
    QString folder;      // the selection's folder, with its trailing separator
};

// One full path is taken unchanged; several names are joined to the folder in
// the case-insensitive order of a sorted list box (clip10.rm before clip2.rm).
// Empty names (a trailing NUL, two NULs in a row) add nothing; an empty
// result text gives no paths.
DialogSelection parseDialogSelection(const QString &result);

// Sorts bare file names the way a sorted list box orders them: character by
// character without regard to case, names that compare equal in their
// original order.
void sortLikeListBox(QStringList &names);
