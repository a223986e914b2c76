#pragma once
#include "sources/clipfacts.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

#include <optional>

// The clips to join: full paths in join order, each with what is known of
// it once its header has been read. Every edit goes through the list rules
// (listedit.h); the list never holds more than kMaxEntries.
class SourceList : public QAbstractListModel
{
    Q_OBJECT
public:
    // Counts and positions are 16-bit.
    static constexpr int kMaxEntries = 32767;
    // A row the bundled joiner would refuse after the first one (bool).
    static constexpr int RefusedRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count, const QModelIndex &destinationParent,
                  int destinationChild) override;

    int count() const { return int(m_rows.size()); }
    QString entry(int row) const { return row >= 0 && row < count() ? m_rows[row].path : QString(); }
    QStringList entries() const;
    // Appends as many as there is room for; returns how many were taken.
    qsizetype append(const QStringList &paths);
    void clear();
    void remove(const QList<int> &rows);
    void move(const QList<int> &rows, int before); // before count(): to the end
    // Rows dragged within the list, dropped on the row `under` (-1: below the last).
    void dropOn(const QList<int> &rows, int under, bool lowerHalf);
    void sortByName();
    void reverse();

    // Facts from the clip reader for the rows from `firstRow` on; a row that
    // no longer holds that path is left alone.
    void setFacts(int firstRow, const QList<ClipFacts> &facts);
    // Why the bundled joiner would refuse this row after the first; empty if not.
    QString obstacle(int row) const;
    // The listed clips' total length, for the run button's tooltip; empty without clips.
    QString totalLength() const;

    // The folder of the last clips chosen in the open dialog, where it opens next.
    QString lastFolder() const { return m_lastFolder; }
    void setLastFolder(const QString &folder) { m_lastFolder = folder; }

signals:
    void factsChanged(); // a mark or the total length may have changed

private:
    struct Row {
        QString path;
        std::optional<ClipFacts> facts;
    };
    void replaceWith(const QStringList &entries);

    QList<Row> m_rows;
    QString m_lastFolder;
};
