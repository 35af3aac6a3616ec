#include "SniffedRowDelegate.h"

#include <QApplication>
#include <QPainter>

QFont SniffedRowDelegate::nameFont(const QFont &rowFont)
{
    QFont font = rowFont;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else
        font.setPixelSize(std::max(8, font.pixelSize() * 85 / 100));
    return font;
}

void SniffedRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString name = index.data(NameRole).toString();
    if (name.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem row(option);
    initStyleOption(&row, index);
    const QWidget *widget = row.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &row, painter, widget);

    // The first line as the list draws any row, with its state icon.
    QStyleOptionViewItem first(row);
    first.rect.setHeight(row.fontMetrics.height() + 4);
    style->drawControl(QStyle::CE_ItemViewItem, &first, painter, widget);

    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &first, widget);
    const QRect line(text.left(), first.rect.bottom() + 1, row.rect.right() - text.left() - 2,
                     row.rect.bottom() - first.rect.bottom());
    const QFont font = nameFont(row.font);
    const bool selected = row.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(font);
    painter->setPen(row.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    painter->drawText(line, Qt::AlignLeft | Qt::AlignTop,
                      QFontMetrics(font).elidedText(name, Qt::ElideRight, line.width()));
    painter->restore();
}

QSize SniffedRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!index.data(NameRole).toString().isEmpty())
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + 4) + QFontMetrics(nameFont(option.font)).height() + 2);
    return size;
}
