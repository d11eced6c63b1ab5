#pragma once

#include "zem_appkit_export.h"

#include <QHash>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>

class QTimer;
class ZEM_A_C_TableHeaderMetalCell;

/**
 * The header of a table: a column menu of the table's ordering and sizing commands, and
 * clicks with modifiers.
 *
 * The table is the header's parent widget (QTableView::setHorizontalHeader() makes it so)
 * and is asked by name: `tableChangeHeaderSort`, `tableCanSort`, `managedObject`,
 * `resetSortOrderForTable`, `scrollColumnAfterDelay` and `validateMenuItem:`. A table that
 * does not answer one counts as answering no.
 *
 * Clicks, left button:
 * - Ctrl: the table's resetSortOrderForTable, nothing else.
 * - Alt+Shift: the column under the point leaves the column selection when in it, else
 *   joins it (the other columns stay selected, rows do not).
 * - others: Qt's header handling (which sorts) only when the table's tableCanSort, then
 *   the table's scrollColumnAfterDelay on the next pass of the event loop.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableHeaderView : public QHeaderView
{
    Q_OBJECT
public:
    explicit ZEM_A_C_TableHeaderView(Qt::Orientation orientation = Qt::Horizontal, QWidget *parent = nullptr);
    ~ZEM_A_C_TableHeaderView() override;

    /** The table asked by name: the parent widget. */
    QObject *table() const { return parentWidget(); }
    /** The column menu; null while the table does not change header sort. */
    QMenu *menu() const { return m_menu; }

    /** Paints section \a logicalIndex with \a cell (null: Qt's painting); the header owns it. */
    void setSectionCell(int logicalIndex, ZEM_A_C_TableHeaderMetalCell *cell);
    ZEM_A_C_TableHeaderMetalCell *sectionCell(int logicalIndex) const;

    /**
     * The column menu, when the table's tableChangeHeaderSort: "NL:Set Row Order to
     * Current Sort" (tag 7, only with a store controller), the column order commands
     * (tags 0, 3, 1, 2) and the column size commands (tags 4, 5, 6), aimed at the table.
     */
    Q_INVOKABLE void resetMenu();

protected:
    void paintEvent(QPaintEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool tableAnswers(const char *name) const;
    void toggleColumnSelection(int column);

    QPointer<QMenu> m_menu;
    QHash<int, QPointer<ZEM_A_C_TableHeaderMetalCell>> m_cells;
    QTimer *m_menuTimer = nullptr;
    bool m_observing = false;
};
