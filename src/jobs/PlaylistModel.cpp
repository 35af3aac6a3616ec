#include "PlaylistModel.h"

#include <QSet>

PlaylistModel::PlaylistModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int PlaylistModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PlaylistModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlaylistModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == Qt::CheckStateRole && index.column() == Number)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && index.column() == Title)
        return row.entry.title;
    if (role == Qt::TextAlignmentRole && index.column() != Title)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Number: return row.entry.number;
    case Title: return row.entry.title.isEmpty() ? tr("(no title)") : row.entry.title;
    case Length: return row.entry.length == QLatin1String("0:00") ? QString() : row.entry.length;
    case Saved: return row.saved ? tr("saved") : QString();
    }
    return {};
}

bool PlaylistModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != Number || role != Qt::CheckStateRole || index.row() >= m_rows.size())
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    announce(index.row(), index.row());
    emit checkedChanged(m_checked);
    return true;
}

Qt::ItemFlags PlaylistModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == Number ? base | Qt::ItemIsUserCheckable : base;
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Number: return tr("#");
    case Title: return tr("Title");
    case Length: return tr("Length");
    case Saved: return QString();
    }
    return {};
}

void PlaylistModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_checked = 0;
    endResetModel();
    emit checkedChanged(0);
}

void PlaylistModel::append(const QList<PlaylistEntry> &entries)
{
    if (entries.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(entries.size()) - 1);
    m_rows.reserve(m_rows.size() + entries.size());
    for (const PlaylistEntry &entry : entries)
        m_rows.append({entry, true, false});
    m_checked += int(entries.size());
    endInsertRows();
    emit checkedChanged(m_checked);
}

void PlaylistModel::setChecked(int row, bool checked)
{
    Row &entry = m_rows[row];
    if (entry.checked == checked)
        return;
    entry.checked = checked;
    m_checked += checked ? 1 : -1;
}

void PlaylistModel::announce(int first, int last)
{
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void PlaylistModel::checkAll(bool checked)
{
    for (int row = 0; row < m_rows.size(); ++row)
        setChecked(row, checked);
    announce(0, int(m_rows.size()) - 1);
    emit checkedChanged(m_checked);
}

void PlaylistModel::checkNumbers(const QList<int> &numbers)
{
    const QSet<int> wanted(numbers.cbegin(), numbers.cend());
    for (int row = 0; row < m_rows.size(); ++row)
        setChecked(row, wanted.contains(m_rows.at(row).entry.number));
    announce(0, int(m_rows.size()) - 1);
    emit checkedChanged(m_checked);
}

void PlaylistModel::markSaved(const QStringList &addresses)
{
    const QSet<QString> saved(addresses.cbegin(), addresses.cend());
    for (int row = 0; row < m_rows.size(); ++row) {
        const QString address = QString::fromLatin1(m_rows.at(row).entry.address.adjusted(QUrl::RemoveUserInfo).toEncoded());
        if (saved.contains(address)) {
            m_rows[row].saved = true;
            setChecked(row, false);
        }
    }
    announce(0, int(m_rows.size()) - 1);
    emit checkedChanged(m_checked);
}

QList<PlaylistEntry> PlaylistModel::checkedEntries() const
{
    QList<PlaylistEntry> entries;
    for (const Row &row : m_rows)
        if (row.checked)
            entries.append(row.entry);
    return entries;
}
