#include "ZEM_A_C_ArrayControllerColoredColumn.h"

#include "tables/detail/RecordValues.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

void ZEM_A_C_ArrayControllerColoredColumn::setColorColumnKeys(const QSet<QString> &keys)
{
    m_colorKeys = keys;
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                           {Qt::BackgroundRole, Qt::ForegroundRole});
}

QVariant ZEM_A_C_ArrayControllerColoredColumn::data(const QModelIndex &index, int role) const
{
    if ((role != Qt::BackgroundRole && role != Qt::ForegroundRole) || !index.isValid()
        || !m_colorKeys.contains(columnKey(index.column())))
        return ZEM_A_C_ArrayController::data(index, role);
    if (role == Qt::ForegroundRole)
        return QColor(Qt::black);
    QObject *record = objectAtRow(index.row());
    const QVariant value = record ? tables::detail::recordValue(record, columnKey(index.column())) : QVariant();
    const QColor color = value.typeId() == QMetaType::QColor ? value.value<QColor>() : QColor(value.toString());
    if (!color.isValid())
        return {};
    if (color.rgba() == QColor(Qt::white).rgba()) {
        const QPalette palette = QGuiApplication::palette();
        return palette.color(index.row() % 2 == 0 ? QPalette::Base : QPalette::AlternateBase);
    }
    return color;
}
