// The table view's column commands: identifiers, the column order modes and the column
// sizes (kept apart from the view's drawing and key handling).

#include "ZEM_A_C_TableView.h"

#include "tables/ZEM_A_C_TableColumn.h"

#include <QHeaderView>
#include <QMap>
#include <QPixmap>

#include <algorithm>

QList<ZEM_A_C_TableColumn *> ZEM_A_C_TableView::displayedColumns() const
{
    QList<ZEM_A_C_TableColumn *> shown;
    const QHeaderView *header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical >= 0 && logical < m_columns.size())
            shown.append(m_columns.at(logical));
    }
    return shown;
}

QString ZEM_A_C_TableView::convertIdentifier(const QString &identifier)
{
    const QString number = identifier.section(QLatin1Char(':'), 0, 0);
    return number.size() == 1 ? QLatin1Char('0') + number : number;
}

QString ZEM_A_C_TableView::getIdentifierString(const QString &identifier)
{
    return identifier.mid(identifier.lastIndexOf(QLatin1Char(':')) + 1);
}

ZEM_A_C_TableColumn *ZEM_A_C_TableView::findColumn(const QString &key) const
{
    for (ZEM_A_C_TableColumn *column : displayedColumns())
        if (column->key() == key)
            return column;
    return nullptr;
}

void ZEM_A_C_TableView::setHeaderCellImage(const QString &key, const QImage &image)
{
    ZEM_A_C_TableColumn *column = findColumn(key);
    if (!column || image.isNull() || !model())
        return;
    model()->setHeaderData(column->section(), Qt::Horizontal, QPixmap::fromImage(image), Qt::DecorationRole);
}

ZEM_A_C_TableColumn *ZEM_A_C_TableView::getColumnFromShortIdentifier(const QString &shortIdentifier) const
{
    QString number = shortIdentifier;
    if (number.startsWith(QLatin1Char('0')))
        number.remove(0, 1);
    const QString prefix = number + QLatin1Char(':');
    for (ZEM_A_C_TableColumn *column : displayedColumns())
        if (column->identifier().startsWith(prefix))
            return column;
    return nullptr;
}

QStringList ZEM_A_C_TableView::getCurrentColumnOrder() const
{
    QStringList order;
    for (ZEM_A_C_TableColumn *column : displayedColumns())
        order.append(convertIdentifier(column->identifier()));
    return order;
}

QStringList ZEM_A_C_TableView::setTableColumnOrderSupport(int mode) const
{
    // Title (or, untitled, the short identifier) -> short identifier, ordered by title.
    QMap<QString, QString> byTitle;
    for (ZEM_A_C_TableColumn *column : displayedColumns()) {
        const QString shortId = convertIdentifier(column->identifier());
        const QString title = column->title();
        byTitle.insert(title.isEmpty() ? shortId : title, shortId);
    }
    QStringList order;
    switch (mode) {
    case 0:
        order = byTitle.values();
        std::sort(order.begin(), order.end());
        break;
    case 1:
        order = byTitle.values();
        break;
    case 2:
        order = byTitle.values();
        std::reverse(order.begin(), order.end());
        break;
    case 3:
        order = getCurrentColumnOrder();
        std::reverse(order.begin(), order.end());
        break;
    default:
        break;
    }
    return order;
}

bool ZEM_A_C_TableView::compareColumnOrder(int mode) const
{
    return getCurrentColumnOrder() == setTableColumnOrderSupport(mode);
}

void ZEM_A_C_TableView::setTableColumnOrder(QObject *menuItem)
{
    applyTableColumnOrder(tagOf(menuItem));
}

void ZEM_A_C_TableView::applyTableColumnOrder(int mode)
{
    QHeaderView *header = horizontalHeader();
    // Each column in the mode's order goes to the end, so the last moved ends up last.
    for (const QString &shortId : setTableColumnOrderSupport(mode))
        if (ZEM_A_C_TableColumn *column = getColumnFromShortIdentifier(shortId))
            header->moveSection(header->visualIndex(column->section()), header->count() - 1);
}

void ZEM_A_C_TableView::setTableColumnSize(QObject *menuItem)
{
    const int tag = tagOf(menuItem);
    if (tag >= 4 && tag <= 6)
        setTableColumnSizeSupport(tag - 3);
}

void ZEM_A_C_TableView::setTableColumnSizeSupport(int mode, ZEM_A_C_TableColumn *only)
{
    // A header relays out on every resize, so no widen-and-narrow nudge is needed.
    for (ZEM_A_C_TableColumn *column : displayedColumns()) {
        if (only && column != only)
            continue;
        if (mode == 1)
            column->setWidth(int(column->originalWidth()));
        else if (mode == 2)
            column->setWidth(column->maxWidth());
        else if (mode == 3)
            column->setWidth(column->minWidth());
        if (only)
            break;
    }
}
