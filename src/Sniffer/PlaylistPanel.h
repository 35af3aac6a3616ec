#pragma once

#include "JobTypes.h"

#include <QList>
#include <QWidget>

class PlaylistModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The download page's part for a playlist: its entries with check boxes,
// All, None, a range, one quality for the batch and "Download selected".
// It shows and collects; the window makes the jobs.
class PlaylistPanel : public QWidget
{
    Q_OBJECT

public:
    // What the batch is saved as.
    struct Quality
    {
        JobKind kind = JobKind::Video;
        QString selector;
    };
    static constexpr int panelHeight = 300;

    explicit PlaylistPanel(QWidget *parent = nullptr);

    PlaylistModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    QLineEdit *rangeField() const { return m_range; }
    QComboBox *qualityChoice() const { return m_quality; }
    QPushButton *downloadButton() const { return m_download; }
    QPushButton *allButton() const { return m_all; }
    QPushButton *noneButton() const { return m_none; }

    // "Best", a row per height (highest first, each with sound), "Audio (MP3)".
    void setHeights(const QList<int> &heights);
    Quality quality() const;
    // The note under the list: the bound of a long listing, or nothing.
    void setNote(const QString &note);
    // Ticks what the range field names; false (and marked) when it names nothing readable.
    bool applyRange();

signals:
    void downloadRequested();

private:
    void showChosen(int count);

    PlaylistModel *m_model;
    QTableView *m_table;
    QPushButton *m_all;
    QPushButton *m_none;
    QLineEdit *m_range;
    QComboBox *m_quality;
    QPushButton *m_download;
    QLabel *m_chosen;
    QLabel *m_note;
};
