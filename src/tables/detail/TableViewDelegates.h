#pragma once
// How the table view draws its cells: grid lines by the table's grid style mask (a
// QTableView has one grid switch, the host settings choose horizontal and vertical lines
// apart), and check-box columns that show an image when on.

#include <QImage>
#include <QStyledItemDelegate>

class ZEM_A_C_TableView;

namespace tables::detail {

class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit GridDelegate(ZEM_A_C_TableView *table);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void paintGrid(QPainter *painter, const QStyleOptionViewItem &option) const;
    ZEM_A_C_TableView *m_table;
};

/** A borderless toggle: nothing when off, the image when on; a click flips the value. */
class CheckBoxDelegate : public GridDelegate
{
    Q_OBJECT
public:
    CheckBoxDelegate(ZEM_A_C_TableView *table, const QImage &image);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *, const QStyleOptionViewItem &, const QModelIndex &) const override { return nullptr; }
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    const QImage &image() const { return m_image; }

private:
    QImage m_image;
};

} // namespace tables::detail
