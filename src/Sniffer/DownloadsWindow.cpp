#include "DownloadsWindow.h"

#include "JobActions.h"
#include "JobListModel.h"
#include "JobQueue.h"
#include "UserDialogs.h"
#include "ui_Downloads.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QUrl>

namespace {

QColor stateColour(JobState state)
{
    switch (state) {
    case JobState::Waiting: return QColor(0x60, 0x60, 0x60);
    case JobState::Running: return QColor(0x1f, 0x5f, 0xbf);
    case JobState::Paused: return QColor(0xa0, 0x70, 0x00);
    case JobState::Finished: return QColor(0x1e, 0x80, 0x2e);
    case JobState::Failed: return QColor(0xc0, 0x20, 0x20);
    case JobState::Canceled: return QColor(0x80, 0x80, 0x80);
    }
    return {};
}

// The state in its colour, the progress as a bar: drawn, not a widget per row.
class JobDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto state = JobState(index.data(JobListModel::StateRole).toInt());
        if (index.column() == JobListModel::Progress && index.data(JobListModel::ProgressRole).toInt() >= 0) {
            QStyleOptionProgressBar bar;
            bar.rect = option.rect.adjusted(2, 3, -2, -3);
            bar.minimum = 0;
            bar.maximum = 100;
            const int percent = index.data(JobListModel::ProgressRole).toInt();
            bar.progress = qMax(0, percent);
            bar.text = index.data().toString();
            bar.textVisible = true;
            bar.state = option.state | QStyle::State_Horizontal;
            bar.palette = option.palette;
            bar.palette.setColor(QPalette::Highlight, stateColour(state));
            option.widget->style()->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
            return;
        }
        QStyleOptionViewItem shown = option;
        if (index.column() == JobListModel::State)
            shown.palette.setColor(QPalette::Text, stateColour(state));
        QStyledItemDelegate::paint(painter, shown, index);
    }
};

// Name and site, whatever the case; nothing typed: every row.
class NameOrSite : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        const QRegularExpression &pattern = filterRegularExpression();
        if (pattern.pattern().isEmpty())
            return true;
        for (int column : {JobListModel::Name, JobListModel::Site})
            if (sourceModel()->index(row, column, parent).data().toString().contains(pattern))
                return true;
        return false;
    }
};

} // namespace

DownloadsWindow::DownloadsWindow(JobQueue *queue, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_form(new Ui::Downloads)
    , m_queue(queue)
    , m_model(new JobListModel(queue, this))
    , m_filter(new NameOrSite(this))
{
    m_form->setupUi(this);
    m_filter->setSourceModel(m_model);
    QTableView *view = m_form->jobTable;
    view->setModel(m_filter);
    view->setItemDelegate(new JobDelegate(view));
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    // Fixed widths: measuring the contents of thousands of rows would stall the window.
    QHeaderView *header = view->horizontalHeader();
    header->setStretchLastSection(false);
    const int em = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    const int widths[] = {0, 10 * em, 5 * em, 6 * em, 9 * em, 14 * em, 7 * em, 6 * em};
    for (int column = JobListModel::Site; column < JobListModel::ColumnCount; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, widths[column]);
    }
    header->setSectionResizeMode(JobListModel::Name, QHeaderView::Stretch);

    connect(m_form->searchField, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setFilterRegularExpression(
            QRegularExpression(QRegularExpression::escape(text.trimmed()), QRegularExpression::CaseInsensitiveOption));
        showSummary();
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DownloadsWindow::refreshActions);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &DownloadsWindow::refreshActions);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &DownloadsWindow::showSummary);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &DownloadsWindow::showSummary);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &DownloadsWindow::showSummary);
    connect(m_form->btnPause, &QPushButton::clicked, this, [this] { act(&JobQueue::pause); });
    connect(m_form->btnResume, &QPushButton::clicked, this, [this] { act(&JobQueue::resume); });
    connect(m_form->btnCancelJob, &QPushButton::clicked, this, [this] { act(&JobQueue::stop); });
    connect(m_form->btnRetry, &QPushButton::clicked, this, [this] { act(&JobQueue::retry); });
    connect(m_form->btnRemove, &QPushButton::clicked, this, [this] { act(&JobQueue::remove); });
    connect(m_form->btnUp, &QToolButton::clicked, this, [this] { act(&JobQueue::moveUp); });
    connect(m_form->btnDown, &QToolButton::clicked, this, [this] { act(&JobQueue::moveDown); });
    connect(m_form->btnOpen, &QPushButton::clicked, this, [this] { openSelected(false); });
    connect(m_form->btnOpenFolder, &QPushButton::clicked, this, [this] { openSelected(true); });
    connect(m_form->btnClearFinished, &QPushButton::clicked, m_queue, &JobQueue::clearFinished);
    connect(view, &QTableView::doubleClicked, this, [this] { openSelected(false); });
    refreshActions();
    showSummary();
}

DownloadsWindow::~DownloadsWindow()
{
    delete m_form;
}

QTableView *DownloadsWindow::table() const
{
    return m_form->jobTable;
}

qint64 DownloadsWindow::selectedId() const
{
    const QModelIndex current = m_form->jobTable->currentIndex();
    return current.isValid() ? current.data(JobListModel::IdRole).toLongLong() : 0;
}

void DownloadsWindow::select(qint64 id)
{
    const int row = m_queue->rowOf(id);
    if (row < 0)
        return;
    const QModelIndex shown = m_filter->mapFromSource(m_model->index(row, 0));
    if (shown.isValid())
        m_form->jobTable->setCurrentIndex(shown);
    refreshActions();
}

void DownloadsWindow::refreshActions()
{
    const int row = m_queue->rowOf(selectedId());
    const JobActions can = row < 0 ? JobActions{} : JobActions::of(m_queue->shownState(row), m_queue->at(row).request.kind);
    m_form->btnPause->setEnabled(can.pause);
    m_form->btnResume->setEnabled(can.resume);
    m_form->btnCancelJob->setEnabled(can.cancel);
    m_form->btnCancelJob->setText(row >= 0 && m_queue->at(row).request.kind == JobKind::Recording ? tr("Stop") : tr("Cancel"));
    m_form->btnRetry->setEnabled(can.retry);
    m_form->btnRemove->setEnabled(can.remove);
    m_form->btnUp->setEnabled(can.move && row > 0);
    m_form->btnDown->setEnabled(can.move && row >= 0 && row + 1 < m_queue->count());
    m_form->btnOpen->setEnabled(can.open);
    m_form->btnOpenFolder->setEnabled(can.open);
    // A failure says why in the catalogue's words, with the tool's own line below.
    QString detail;
    if (row >= 0 && m_queue->shownState(row) == JobState::Failed) {
        const JobResult &result = m_queue->at(row).result;
        detail = result.errorText + (result.toolLine.isEmpty() ? QString() : QStringLiteral("\n") + result.toolLine);
    } else if (row >= 0 && m_queue->shownState(row) == JobState::Finished) {
        detail = m_queue->at(row).result.file;
    }
    m_form->lblDetail->setText(detail);
}

void DownloadsWindow::act(void (JobQueue::*action)(qint64))
{
    if (const qint64 id = selectedId())
        (m_queue->*action)(id);
    refreshActions();
}

void DownloadsWindow::openSelected(bool folder)
{
    const int row = m_queue->rowOf(selectedId());
    if (row < 0 || m_queue->shownState(row) != JobState::Finished)
        return;
    const QString file = m_queue->at(row).result.file;
    UserDialogs::open(QUrl::fromLocalFile(folder ? QFileInfo(file).absolutePath() : file));
}

void DownloadsWindow::showSummary()
{
    const int running = m_queue->runningCount();
    m_form->lblSummary->setText(tr("%1 of %2 shown, %3 running").arg(m_filter->rowCount()).arg(m_queue->count()).arg(running));
}
