#pragma once

#include "JobTypes.h"

#include <QAbstractTableModel>

class JobQueue;

// The queue as a table: one row per job, never a widget per row. The
// progress column gives its figure under ProgressRole, every column the
// state under StateRole, for a delegate that draws them.
class JobListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Name, Site, Kind, State, Progress, Size, Rate, TimeLeft, ColumnCount };
    enum Role { ProgressRole = Qt::UserRole + 1, IdRole, StateRole };

    explicit JobListModel(JobQueue *queue, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // "1.2 MB", "1.20 MB/s", "1:05" as the columns show them.
    static QString sizeText(const JobRecord &record);
    static QString rateText(const JobProgress &progress);
    static QString timeLeftText(const JobProgress &progress);

private:
    JobQueue *m_queue;
};
