#include "sources/listedit.h"

#include "naming/commonname.h"

#include <QDir>

#include <algorithm>

namespace {

QList<int> validRows(QList<int> rows, qsizetype size)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [size](int r) { return r < 0 || r >= size; }), rows.end());
    return rows;
}


} // namespace

QStringList withoutRows(const QStringList &entries, QList<int> rows)
{
    rows = validRows(rows, entries.size());
    QStringList kept;
    kept.reserve(entries.size() - rows.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (next < rows.size() && rows[next] == i) {
            ++next;
            continue;
        }
        kept.append(entries[i]);
    }
    return kept;
}

QStringList withRowsMoved(const QStringList &entries, QList<int> rows, int before)
{
    rows = validRows(rows, entries.size());
    before = qBound(0, before, int(entries.size()));
    QStringList moved;
    for (int r : rows)
        moved.append(entries[r]);
    // Where `before` lands once the moved rows are out.
    const int shift = int(std::count_if(rows.begin(), rows.end(), [before](int r) { return r < before; }));
    QStringList result = withoutRows(entries, rows);
    const int at = before - shift;
    for (qsizetype i = 0; i < moved.size(); ++i)
        result.insert(at + i, moved[i]);
    return result;
}

bool naturalLess(const QString &a, const QString &b)
{
    const QStringView x = QStringView(a).mid(fileNameStart(a)), y = QStringView(b).mid(fileNameStart(b));
    qsizetype i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if (x[i].isDigit() && y[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < x.size() && x[ei].isDigit())
                ++ei;
            while (ej < y.size() && y[ej].isDigit())
                ++ej;
            // Compare as numbers: leading zeros aside, the longer run is larger.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && x[si] == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && y[sj] == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = x.mid(si, ei - si).compare(y.mid(sj, ej - sj));
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const QChar cx = x[i].toCaseFolded(), cy = y[j].toCaseFolded();
        if (cx != cy)
            return cx < cy;
        ++i;
        ++j;
    }
    return x.size() - i < y.size() - j;
}

QStringList naturallySorted(const QStringList &entries)
{
    QStringList sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(), naturalLess);
    return sorted;
}
