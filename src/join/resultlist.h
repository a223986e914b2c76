#pragma once
#include <QAbstractListModel>
#include <QList>
#include <QString>

#include <optional>

// One line of the result list per join: its text, a tooltip, and either what
// the tool said (a line that did not join) or the joined file's folder.
struct ResultLine {
    QString text;
    QString tip;
    std::optional<QString> detail; // what the tool said, for a line that did not join
    QString folder;                // a success line: the joined file's folder
    bool warning = false;          // something the user should know went wrong: a warning sign
};

class ResultList : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    static constexpr int WarningRole = Qt::UserRole + 1; // bool: the line carries a warning sign

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;

    int count() const { return int(m_lines.size()); }
    const ResultLine &line(int row) const { return m_lines.at(row); }
    int add(const ResultLine &line); // the new line's row

private:
    QList<ResultLine> m_lines;
};
