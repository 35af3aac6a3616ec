#include "JobListModel.h"

#include "JobQueue.h"

#include <QLocale>

JobListModel::JobListModel(JobQueue *queue, QObject *parent)
    : QAbstractTableModel(parent)
    , m_queue(queue)
{
    connect(queue, &JobQueue::rowsAboutToBeAdded, this, [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(queue, &JobQueue::rowsAdded, this, [this] { endInsertRows(); });
    connect(queue, &JobQueue::rowChanged, this, [this](int row) {
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    });
    connect(queue, &JobQueue::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(queue, &JobQueue::rowRemoved, this, [this] { endRemoveRows(); });
    connect(queue, &JobQueue::rowsAboutToBeSwapped, this,
            [this](int upper) { beginMoveRows({}, upper + 1, upper + 1, {}, upper); });
    connect(queue, &JobQueue::rowsSwapped, this, [this] { endMoveRows(); });
}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_queue->count();
}

int JobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString JobListModel::sizeText(const JobRecord &record)
{
    const QLocale c = QLocale::c();
    const qint64 total = record.progress.total > 0 ? record.progress.total : record.result.size;
    if (record.state == JobState::Finished || (record.progress.done <= 0 && total > 0))
        return total > 0 ? c.formattedDataSize(total, 1, QLocale::DataSizeTraditionalFormat) : QString();
    if (record.progress.done <= 0)
        return {};
    const QString done = c.formattedDataSize(record.progress.done, 1, QLocale::DataSizeTraditionalFormat);
    return total > 0 ? done + QStringLiteral(" of ") + c.formattedDataSize(total, 1, QLocale::DataSizeTraditionalFormat)
                     : done;
}

QString JobListModel::rateText(const JobProgress &progress)
{
    if (!progress.rateText.isEmpty())
        return progress.rateText;
    if (progress.rate < 0)
        return {};
    return QLocale::c().formattedDataSize(qint64(progress.rate), 2, QLocale::DataSizeTraditionalFormat)
           + QStringLiteral("/s");
}

QString JobListModel::timeLeftText(const JobProgress &progress)
{
    if (progress.recordedSeconds >= 0)
        return QStringLiteral("%1:%2 so far").arg(progress.recordedSeconds / 60).arg(progress.recordedSeconds % 60, 2, 10, QLatin1Char('0'));
    if (!progress.leftText.isEmpty())
        return progress.leftText;
    if (progress.secondsLeft < 0)
        return {};
    const int s = progress.secondsLeft;
    return s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_queue->count())
        return {};
    const JobRecord &record = m_queue->at(index.row());
    const JobState shown = m_queue->shownState(index.row());
    switch (role) {
    case IdRole: return record.id;
    case StateRole: return int(shown);
    case ProgressRole: return shown == JobState::Finished ? 100 : record.progress.percent;
    case Qt::ToolTipRole:
        if (shown == JobState::Failed)
            return QString(record.result.errorText + (record.result.toolLine.isEmpty() ? QString() : QLatin1Char('\n') + record.result.toolLine));
        return record.result.file.isEmpty() ? record.request.target : record.result.file;
    case Qt::DisplayRole:
        break;
    default:
        return {};
    }
    const bool running = shown == JobState::Running;
    switch (index.column()) {
    case Name: return record.request.name;
    case Site: return record.request.site();
    case Kind: return JobText::kind(record.request.kind);
    case State: return JobText::state(shown);
    case Progress: return record.progress.percent >= 0 || shown == JobState::Finished
                              ? QStringLiteral("%1%").arg(shown == JobState::Finished ? 100 : record.progress.percent)
                              : QString();
    case Size: return sizeText(record);
    case Rate: return running ? rateText(record.progress) : QString();
    case TimeLeft: return running ? timeLeftText(record.progress) : QString();
    }
    return {};
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const names[] = {"Name", "Site", "Kind", "State", "Progress", "Size", "Rate", "Time left"};
    return section >= 0 && section < ColumnCount ? tr(names[section]) : QVariant();
}
