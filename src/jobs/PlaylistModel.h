#pragma once

#include "PlaylistListing.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

// A playlist's entries as a table with a check box per row, never a widget
// per row: entries join in the batches they arrive in. Entries saved before
// are marked and unticked until the user ticks them again.
class PlaylistModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Number, Title, Length, Saved, ColumnCount };

    explicit PlaylistModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void clear();
    void append(const QList<PlaylistEntry> &entries);
    const PlaylistEntry &entry(int row) const { return m_rows.at(row).entry; }
    // Ticks every entry, or none.
    void checkAll(bool checked);
    // Ticks exactly the entries of these numbers.
    void checkNumbers(const QList<int> &numbers);
    // Marks and unticks the entries of these addresses (as JobHistory keeps them).
    void markSaved(const QStringList &addresses);
    bool isSaved(int row) const { return m_rows.at(row).saved; }
    bool isChecked(int row) const { return m_rows.at(row).checked; }
    QList<PlaylistEntry> checkedEntries() const;
    int checkedCount() const { return m_checked; }

signals:
    void checkedChanged(int count);

private:
    struct Row
    {
        PlaylistEntry entry;
        bool checked = true;
        bool saved = false;
    };
    void setChecked(int row, bool checked);
    void announce(int first, int last);

    QList<Row> m_rows;
    int m_checked = 0;
};
