// The table view's row drag and drop: what is dragged, whether a drop is taken and where
// it lands are the array controller's decisions; the view turns drag events into them.

#include "ZEM_A_C_TableView.h"

#include "platform/Pasteboard.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_DraggingInfo.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>

void ZEM_A_C_TableView::registerForDraggedTypes(const QStringList &types)
{
    m_draggedTypes = types;
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(DragDrop);
}

void ZEM_A_C_TableView::startDrag(Qt::DropActions)
{
    const QList<int> rows = selectedRowIndexes();
    if (rows.isEmpty() || !m_arrayController)
        return;
    auto *mime = new QMimeData;
    if (!m_arrayController->tableViewWriteRows(this, rows, mime)) {
        delete mime;
        return;
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    // The controller moves rows itself on the drop; the base never removes the dragged rows.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction);
}

Qt::DropAction ZEM_A_C_TableView::validateDrop(QDropEvent *event, int *row, int *operation)
{
    if (!m_arrayController)
        return Qt::IgnoreAction;
    const QPoint pos = event->position().toPoint();
    int proposed = rowAt(pos.y());
    int proposedOperation = tables::kDropOn;
    if (proposed < 0) {
        proposed = m_arrayController->arrangedCount(); // below the last row
        proposedOperation = tables::kDropAbove;
    } else {
        // The outer quarters of a row drop between rows, the middle on the row.
        const QRect rect = visualRect(model()->index(proposed, 0));
        if (pos.y() < rect.top() + rect.height() / 4) {
            proposedOperation = tables::kDropAbove;
        } else if (pos.y() > rect.bottom() - rect.height() / 4) {
            ++proposed;
            proposedOperation = tables::kDropAbove;
        }
    }
    ZEM_A_C_DraggingInfo info;
    // Synthetic and cross-window drops carry no drag object: the rows' writer tells the source.
    info.source = event->source() ? event->source() : platform::localSource(event->mimeData(), tables::kMovedRowsType);
    info.pasteboard = event->mimeData();
    info.sourceOperationMask = event->possibleActions();
    info.dropRow = proposed;
    info.dropOperation = proposedOperation;
    const Qt::DropAction action = m_arrayController->tableViewValidateDrop(this, info, proposed, proposedOperation);
    *row = info.dropRow;
    *operation = info.dropOperation;
    return action;
}

void ZEM_A_C_TableView::dragEnterEvent(QDragEnterEvent *event)
{
    const QStringList offered = platform::pasteboardTypes(event->mimeData());
    for (const QString &type : offered) {
        if (m_draggedTypes.contains(type)) {
            event->acceptProposedAction();
            return;
        }
    }
    event->ignore();
}

void ZEM_A_C_TableView::dragMoveEvent(QDragMoveEvent *event)
{
    int row = -1, operation = 0;
    const Qt::DropAction action = validateDrop(event, &row, &operation);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void ZEM_A_C_TableView::dropEvent(QDropEvent *event)
{
    int row = -1, operation = 0;
    const Qt::DropAction action = validateDrop(event, &row, &operation);
    ZEM_A_C_DraggingInfo info;
    info.source = event->source() ? event->source() : platform::localSource(event->mimeData(), tables::kMovedRowsType);
    info.pasteboard = event->mimeData();
    info.sourceOperationMask = event->possibleActions();
    info.dropRow = row;
    info.dropOperation = operation;
    if (action == Qt::IgnoreAction || !m_arrayController->tableViewAcceptDrop(this, info, row, operation)) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

