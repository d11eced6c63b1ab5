#include "ZEM_A_C_TableColumn.h"

#include "tables/ZEM_A_C_ArrayController.h"

#include <QHeaderView>

ZEM_A_C_TableColumn::ZEM_A_C_TableColumn(QTableView *view, int section, QObject *parent)
    : ZEM_A_C_NSTableColumn(view, section, parent)
{
}

QString ZEM_A_C_TableColumn::identifier() const
{
    if (!m_identifier.isEmpty() || !tableView())
        return m_identifier;
    const auto *controller = qobject_cast<const ZEM_A_C_ArrayController *>(tableView()->model());
    return controller ? controller->columnIdentifiers().value(section()) : QString();
}

QString ZEM_A_C_TableColumn::key() const
{
    const QString id = identifier();
    return id.mid(id.lastIndexOf(QLatin1Char(':')) + 1);
}

int ZEM_A_C_TableColumn::width() const
{
    return tableView() ? tableView()->horizontalHeader()->sectionSize(section()) : 0;
}

void ZEM_A_C_TableColumn::setWidth(int value)
{
    if (tableView())
        tableView()->horizontalHeader()->resizeSection(section(), value);
}

void ZEM_A_C_TableColumn::awakeFromNib()
{
    ZEM_A_C_NSTableColumn::awakeFromNib();
    m_originalWidth = width();
}

platform::SortDescriptor ZEM_A_C_TableColumn::sortDescriptorPrototype() const
{
    if (m_prototype)
        return *m_prototype;
    return platform::SortDescriptor{key() + QStringLiteral("Sort"), true, false};
}

platform::SortDescriptor ZEM_A_C_TableColumnSort::sortDescriptorPrototype() const
{
    platform::SortDescriptor prototype = ZEM_A_C_TableColumn::sortDescriptorPrototype();
    static const QString suffix = QStringLiteral("String");
    if (!prototype.keyPath.endsWith(suffix))
        return prototype;
    // "nameString" sorts by "name": the column key cut to the prototype key less the suffix.
    prototype.keyPath = key().left(prototype.keyPath.size() - suffix.size());
    return prototype;
}
