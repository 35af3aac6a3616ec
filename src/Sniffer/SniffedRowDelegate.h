#pragma once

#include <QStyledItemDelegate>

// A sniffed row: number, time, type and size as the list has them, and
// under them, smaller, what the stream is (its name and site) so that
// rows can be told apart without hovering each.
class SniffedRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int NameRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    static QFont nameFont(const QFont &rowFont);
};
