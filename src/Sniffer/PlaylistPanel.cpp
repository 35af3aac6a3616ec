#include "PlaylistPanel.h"

#include "PlaylistJobs.h"
#include "PlaylistModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const char *const whiteText = "color: white";

} // namespace

PlaylistPanel::PlaylistPanel(QWidget *parent)
    : QWidget(parent)
    , m_model(new PlaylistModel(this))
    , m_table(new QTableView(this))
    , m_all(new QPushButton(tr("All"), this))
    , m_none(new QPushButton(tr("None"), this))
    , m_range(new QLineEdit(this))
    , m_quality(new QComboBox(this))
    , m_download(new QPushButton(tr("Download selected"), this))
    , m_chosen(new QLabel(this))
    , m_note(new QLabel(this))
{
    m_table->setObjectName(QStringLiteral("tablePlaylist"));
    m_range->setObjectName(QStringLiteral("inputRange"));
    m_quality->setObjectName(QStringLiteral("selectQuality"));
    m_download->setObjectName(QStringLiteral("btnDownloadSelected"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setStyleSheet(QStringLiteral("border: 2px solid gray; background-color: white"));
    m_table->verticalHeader()->hide();
    // Fixed row heights and widths: thousands of rows lay out without measuring each.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(22);
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionResizeMode(PlaylistModel::Title, QHeaderView::Stretch);
    header->resizeSection(PlaylistModel::Number, 62);
    header->resizeSection(PlaylistModel::Length, 56);
    header->resizeSection(PlaylistModel::Saved, 44);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);

    // The window's dark panels: controls light on dark, as the page's others.
    setStyleSheet(QStringLiteral("QPushButton, QLineEdit, QComboBox { color: white; background-color: #3a3a3c;"
                                 " border: 1px solid gray; padding: 3px 6px; }"
                                 "QPushButton:disabled { color: gray; }"));
    m_range->setPlaceholderText(tr("1-10,15"));
    m_range->setToolTip(tr("Entries to tick: numbers and ranges, such as 1-10,15"));
    m_chosen->setStyleSheet(QLatin1String(whiteText));
    m_note->setStyleSheet(QLatin1String(whiteText));
    m_note->setWordWrap(true);
    m_note->hide();
    setHeights({});

    auto *choices = new QHBoxLayout;
    choices->addWidget(m_all);
    choices->addWidget(m_none);
    choices->addWidget(m_range, 1);
    auto *batch = new QHBoxLayout;
    batch->addWidget(m_chosen, 1);
    batch->addWidget(m_quality);
    batch->addWidget(m_download);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_table, 1);
    column->addWidget(m_note);
    column->addLayout(choices);
    column->addLayout(batch);

    connect(m_all, &QPushButton::clicked, m_model, [this] { m_model->checkAll(true); });
    connect(m_none, &QPushButton::clicked, m_model, [this] { m_model->checkAll(false); });
    connect(m_range, &QLineEdit::returnPressed, this, &PlaylistPanel::applyRange);
    connect(m_model, &PlaylistModel::checkedChanged, this, &PlaylistPanel::showChosen);
    connect(m_download, &QPushButton::clicked, this, &PlaylistPanel::downloadRequested);
    showChosen(0);
}

void PlaylistPanel::setHeights(const QList<int> &heights)
{
    m_quality->clear();
    m_quality->addItem(tr("Best"), QStringLiteral("best"));
    for (const int height : heights)
        m_quality->addItem(tr("%1p").arg(height), QStringLiteral("m%1").arg(height));
    m_quality->addItem(tr("Audio (MP3)"), QString());
}

PlaylistPanel::Quality PlaylistPanel::quality() const
{
    const QString code = m_quality->currentData().toString();
    if (code.isEmpty())
        return {JobKind::Audio, QStringLiteral("ba/b")};
    return {JobKind::Video, code};
}

void PlaylistPanel::setNote(const QString &note)
{
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

bool PlaylistPanel::applyRange()
{
    const std::optional<QList<int>> numbers = PlaylistJobs::parseRange(m_range->text());
    m_range->setStyleSheet(numbers ? QString() : QStringLiteral("border: 2px solid red"));
    if (numbers)
        m_model->checkNumbers(*numbers);
    return numbers.has_value();
}

void PlaylistPanel::showChosen(int count)
{
    m_chosen->setText(tr("%1 of %2 chosen").arg(count).arg(m_model->rowCount()));
    m_download->setEnabled(count > 0);
}
