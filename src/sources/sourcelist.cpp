#include "sources/sourcelist.h"

#include "sources/listedit.h"

#include <QHash>

#include <algorithm>

int SourceList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant SourceList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.path;
    case Qt::ToolTipRole: {
        if (!row.facts)
            return {};
        const QString why = obstacle(index.row());
        return why.isEmpty() ? row.facts->description : why + QLatin1Char('\n') + row.facts->description;
    }
    case RefusedRole:
        return !obstacle(index.row()).isEmpty();
    default:
        return {};
    }
}

Qt::ItemFlags SourceList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

bool SourceList::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > this->count())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    m_rows.remove(row, count);
    endRemoveRows();
    emit factsChanged(); // the total changes; another head decides every mark
    return true;
}

bool SourceList::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                          const QModelIndex &destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || sourceRow < 0 || count <= 0
        || sourceRow + count > this->count() || destinationChild < 0 || destinationChild > this->count()
        || (destinationChild >= sourceRow && destinationChild <= sourceRow + count))
        return false;
    beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild);
    QList<Row> moved = m_rows.mid(sourceRow, count);
    m_rows.remove(sourceRow, count);
    const int at = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int k = 0; k < count; ++k)
        m_rows.insert(at + k, moved[k]);
    endMoveRows();
    emit factsChanged();
    return true;
}

QStringList SourceList::entries() const
{
    QStringList paths;
    paths.reserve(m_rows.size());
    for (const Row &row : m_rows)
        paths.append(row.path);
    return paths;
}

qsizetype SourceList::append(const QStringList &paths)
{
    const qsizetype taken = qMin<qsizetype>(kMaxEntries - count(), paths.size());
    if (taken <= 0)
        return 0;
    beginInsertRows({}, count(), count() + int(taken) - 1);
    m_rows.reserve(m_rows.size() + taken);
    for (qsizetype i = 0; i < taken; ++i)
        m_rows.append(Row{paths[i], std::nullopt});
    endInsertRows();
    return taken;
}

void SourceList::clear()
{
    replaceWith({});
}

void SourceList::remove(const QList<int> &rows)
{
    replaceWith(withoutRows(entries(), rows));
}

void SourceList::move(const QList<int> &rows, int before)
{
    replaceWith(withRowsMoved(entries(), rows, before));
}

// Before the row under the pointer, or after it from its lower half.
void SourceList::dropOn(const QList<int> &rows, int under, bool lowerHalf)
{
    move(rows, under < 0 ? count() : under + (lowerHalf ? 1 : 0));
}

void SourceList::sortByName()
{
    replaceWith(naturallySorted(entries()));
}

void SourceList::reverse()
{
    QStringList paths = entries();
    std::reverse(paths.begin(), paths.end());
    replaceWith(paths);
}

// A new order of the same clips: what is known of each goes with it.
void SourceList::replaceWith(const QStringList &paths)
{
    QHash<QString, ClipFacts> known;
    for (const Row &row : std::as_const(m_rows))
        if (row.facts)
            known.insert(row.path, *row.facts);
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(paths.size());
    for (const QString &path : paths) {
        const auto it = known.constFind(path);
        m_rows.append(Row{path, it == known.constEnd() ? std::nullopt : std::optional<ClipFacts>(*it)});
    }
    endResetModel();
    emit factsChanged();
}

void SourceList::setFacts(int firstRow, const QList<ClipFacts> &facts)
{
    for (qsizetype k = 0; k < facts.size(); ++k) {
        const qsizetype row = firstRow + k;
        if (row < m_rows.size() && m_rows[row].path == facts[k].path)
            m_rows[row].facts = facts[k];
    }
    if (facts.isEmpty() || m_rows.isEmpty())
        return;
    // The first clip decides for every other row.
    const int to = firstRow == 0 ? count() - 1 : qMin(count() - 1, firstRow + int(facts.size()) - 1);
    emit dataChanged(index(firstRow), index(to), {Qt::ToolTipRole, RefusedRole});
    emit factsChanged();
}

QString SourceList::obstacle(int row) const
{
    if (row < 0 || row >= count() || !m_rows[row].facts)
        return {};
    if (!m_rows[row].facts->refusal.isEmpty()) // refused even alone, the first clip too
        return m_rows[row].facts->refusal;
    if (row == 0 || !m_rows[0].facts)
        return {};
    return joinObstacle(*m_rows[0].facts, *m_rows[row].facts);
}

QString SourceList::totalLength() const
{
    if (m_rows.isEmpty())
        return {};
    qint64 total = 0;
    int known = 0, unknownLength = 0;
    for (const Row &row : m_rows) {
        if (!row.facts)
            continue;
        ++known;
        row.facts->durationMs >= 0 ? total += row.facts->durationMs : ++unknownLength;
    }
    QString tip = QStringLiteral("合計の長さ ") + lengthText(total);
    if (known < count())
        tip += QStringLiteral("（%1 個中 %2 個を読み取り済み）").arg(count()).arg(known);
    else
        tip += QStringLiteral("（%1 個のクリップ）").arg(known);
    if (unknownLength > 0)
        tip += QStringLiteral("\n長さの分からないクリップ %1 個を除く").arg(unknownLength);
    return tip;
}
