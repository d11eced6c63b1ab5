#include "TableViewDelegates.h"

#include "tables/ZEM_A_C_TableView.h"

#include <QMouseEvent>
#include <QPainter>

namespace tables::detail {

GridDelegate::GridDelegate(ZEM_A_C_TableView *table)
    : QStyledItemDelegate(table), m_table(table)
{
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    paintGrid(painter, option);
}

void GridDelegate::paintGrid(QPainter *painter, const QStyleOptionViewItem &option) const
{
    const int mask = m_table->gridStyleMask();
    if (mask == ZEM_A_C_TableView::GridNone)
        return;
    painter->save();
    painter->setPen(QColor(m_table->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_table)));
    const QRect r = option.rect;
    if (mask & ZEM_A_C_TableView::GridVertical)
        painter->drawLine(r.topRight(), r.bottomRight());
    if (mask & ZEM_A_C_TableView::GridHorizontal)
        painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}

CheckBoxDelegate::CheckBoxDelegate(ZEM_A_C_TableView *table, const QImage &image)
    : GridDelegate(table), m_image(image)
{
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // Highlighting nothing: the cell keeps the row's background, selected or not.
    opt.state &= ~QStyle::State_Selected;
    opt.text.clear();
    m_table->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, m_table);
    if (index.data(Qt::EditRole).toBool() && !m_image.isNull()) {
        QImage shown = m_image;
        if (!(option.state & QStyle::State_Enabled)) {
            painter->save();
            painter->setOpacity(0.5);
        }
        const QSize size = shown.size().scaled(option.rect.size(), Qt::KeepAspectRatio).boundedTo(shown.size());
        QRect target(QPoint(), size);
        target.moveCenter(option.rect.center());
        painter->drawImage(target, shown);
        if (!(option.state & QStyle::State_Enabled))
            painter->restore();
    }
    paintGrid(painter, option);
}

bool CheckBoxDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    if (event->type() != QEvent::MouseButtonRelease || !(option.state & QStyle::State_Enabled)
        || !(index.flags() & Qt::ItemIsEditable))
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
        return false;
    return model->setData(index, !index.data(Qt::EditRole).toBool(), Qt::EditRole);
}

} // namespace tables::detail
