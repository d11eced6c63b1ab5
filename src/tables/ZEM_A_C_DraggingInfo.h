#pragma once

#include <QMetaType>
#include <QMimeData>
#include <QObject>

/**
 * What a table view tells its array controller about a drag in progress. Hooks asked by
 * name ("acceptsDragingInfo:", "dropEmail:row:", "dropMove:row:") receive it as
 * `const ZEM_A_C_DraggingInfo &`.
 */
struct ZEM_A_C_DraggingInfo
{
    QObject *source = nullptr; // the table view the drag began in; null from another program
    const QMimeData *pasteboard = nullptr;
    Qt::DropActions sourceOperationMask = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    int dropRow = -1;      // set by validateDrop when it retargets
    int dropOperation = 0; // 0 = on the row, 1 = above the row (retarget result)
};

Q_DECLARE_METATYPE(ZEM_A_C_DraggingInfo)

namespace tables {
/** The private pasteboard types of table rows. */
inline const QString kCopiedRowsType = QStringLiteral("TABLE_COPIED_ROWS_TYPE");
inline const QString kMovedRowsType = QStringLiteral("TABLE_MOVED_ROWS_TYPE");
/** A mail message dragged from the mail program. */
inline const QString kAutomatorType = QStringLiteral("Super-secret Automator pasteboard type");
/** Drop operations of a retargeted drop. */
constexpr int kDropOn = 0;
constexpr int kDropAbove = 1;
} // namespace tables
