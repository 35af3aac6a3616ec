#pragma once

#include <QWidget>

class JobListModel;
class JobQueue;
class QSortFilterProxyModel;
class QTableView;

namespace Ui {
class Downloads;
}

// The list of downloads, a window of its own beside the main one: a table
// over the queue, a search over name and site, and the actions the chosen
// job allows. It shows and asks; the queue acts.
class DownloadsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadsWindow(JobQueue *queue, QWidget *parent = nullptr);
    ~DownloadsWindow() override;

    Ui::Downloads *form() const { return m_form; }
    QTableView *table() const;
    // Picks the job's row (and shows the window's actions for it).
    void select(qint64 id);
    // The id of the chosen job, 0 when none.
    qint64 selectedId() const;

private:
    void refreshActions();
    void act(void (JobQueue::*action)(qint64));
    void openSelected(bool folder);
    void showSummary();

    Ui::Downloads *m_form;
    JobQueue *m_queue;
    JobListModel *m_model;
    QSortFilterProxyModel *m_filter;
};
