#pragma once
#include <QList>
#include <QStringList>

// Editing the source list: the entries are full paths in join order; rows
// are indexes into them.

// Without the given rows.
QStringList withoutRows(const QStringList &entries, QList<int> rows);

// The given rows, in their order, moved to stand before row `before` of
// the list as it was (entries.size(): at the end).
QStringList withRowsMoved(const QStringList &entries, QList<int> rows, int before);

// Sorted by file name in natural order: digit runs compare as numbers
// ("clip2" before "clip10"), letters without regard to case; equal names
// keep their order.
QStringList naturallySorted(const QStringList &entries);

// Whether `a` comes before `b` in natural order.
bool naturalLess(const QString &a, const QString &b);
