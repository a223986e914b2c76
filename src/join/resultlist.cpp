#include "join/resultlist.h"

int ResultList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ResultList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const ResultLine &line = m_lines[index.row()];
    if (role == Qt::DisplayRole)
        return line.text;
    if (role == Qt::ToolTipRole && !line.tip.isEmpty())
        return line.tip;
    if (role == WarningRole)
        return line.warning;
    return {};
}

bool ResultList::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > this->count())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    m_lines.remove(row, count);
    endRemoveRows();
    return true;
}

int ResultList::add(const ResultLine &line)
{
    beginInsertRows({}, count(), count());
    m_lines.append(line);
    endInsertRows();
    return count() - 1;
}
