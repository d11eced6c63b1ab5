// The table view's exports: the selected rows or columns as tab-delimited text, written
// to the clipboard or dragged out as plain text beside RTF and HTML tables that other
// programs paste as tables.

#include "ZEM_A_C_TableView.h"

#include "foundation/ZEM_F_C_StoreGroup.h"
#include "platform/Pasteboard.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_TableColumn.h"
#include "tables/detail/RecordValues.h"

#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>

namespace {

bool isImage(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QImage:
    case QMetaType::QPixmap:
    case QMetaType::QIcon:
    case QMetaType::QBitmap:
        return true;
    default:
        return false;
    }
}

/** A value's text; a null QString for no value. */
QString describe(const QVariant &value)
{
    return value.isValid() ? value.toString() : QString();
}

/** The export's lines split into cells; a row's closing tab makes no extra cell. */
QList<QStringList> cellsOf(const QString &text)
{
    QList<QStringList> table;
    QString normalized = text;
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normalized.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString &line : std::as_const(lines)) {
        QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() > 1 && cells.last().isEmpty())
            cells.removeLast();
        table.append(cells);
    }
    return table;
}

QByteArray rtfEscaped(const QString &text)
{
    QByteArray out;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\\' || u == '{' || u == '}')
        {
            out += '\\';
            out += char(u);
        }
        else if (u < 0x80)
            out += char(u);
        else
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
    }
    return out;
}

QByteArray rtfTable(const QList<QStringList> &table)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}\\f0\\fs24\n";
    for (const QStringList &row : table) {
        rtf += "\\trowd\\trgaph108";
        for (int i = 0; i < row.size(); ++i)
            rtf += "\\cellx" + QByteArray::number((i + 1) * 1800);
        rtf += '\n';
        for (const QString &cell : row)
            rtf += "\\pard\\intbl " + rtfEscaped(cell) + "\\cell\n";
        rtf += "\\row\n";
    }
    rtf += '}';
    return rtf;
}

QString htmlTable(const QList<QStringList> &table)
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>");
    for (const QStringList &row : table) {
        html += QLatin1String("<tr>");
        for (const QString &cell : row)
            html += QLatin1String("<td>") + cell.toHtmlEscaped() + QLatin1String("</td>");
        html += QLatin1String("</tr>");
    }
    return html + QLatin1String("</table></body></html>");
}

} // namespace

QMimeData *ZEM_A_C_TableView::exportMimeData(const QString &text)
{
    auto *mime = new QMimeData;
    const QList<QStringList> table = cellsOf(text);
    platform::setPropertyList(mime, platform::kStringType, text);
    platform::setPropertyList(mime, platform::kRtfType, QString::fromLatin1(rtfTable(table)));
    platform::setPropertyList(mime, platform::kHtmlType, htmlTable(table));
    return mime;
}

QString ZEM_A_C_TableView::tabularStringWithSelectedRows() const
{
    return managedObject() ? tabularStringWithSelectedRowsWithManagedObject() : tabularStringWithSelectedRowsData();
}

QString ZEM_A_C_TableView::tabularStringWithSelectedColumns() const
{
    return managedObject() ? tabularStringWithSelectedColumnsWithManagedObject()
                           : tabularStringWithSelectedColumnsData();
}

QString ZEM_A_C_TableView::tabularStringWithSelectedRowsData() const
{
    QString text;
    if (!model())
        return text;
    const QList<ZEM_A_C_TableColumn *> columns = displayedColumns();
    for (int row : selectedRowIndexes()) {
        for (ZEM_A_C_TableColumn *column : columns) {
            const QVariant value = model()->data(model()->index(row, column->section()));
            if (isImage(value))
                continue; // an image adds nothing, not even a tab
            const QString description = describe(value);
            if (!description.isNull())
                text += replaceCharacterInString(description);
            text += QLatin1Char('\t');
        }
        text += QLatin1Char('\r');
    }
    return text;
}

QString ZEM_A_C_TableView::tabularStringWithSelectedRowsWithManagedObject() const
{
    QString text;
    if (!m_arrayController)
        return text;
    const QList<ZEM_A_C_TableColumn *> columns = displayedColumns();
    for (QObject *record : m_arrayController->selectedObjects()) {
        for (ZEM_A_C_TableColumn *column : columns) {
            const QString key = column->key();
            if (!tables::detail::recordAnswers(record, key))
                continue;
            const QVariant value = tables::detail::recordValue(record, key);
            if (isImage(value))
                continue;
            const QString description = describe(value);
            if (!description.isNull())
                text += replaceCharacterInString(description);
            text += QLatin1Char('\t');
        }
        text += QLatin1Char('\r');
    }
    return text;
}

namespace {

/** One line of fields, tab-separated and ended by "\n". */
QString exportLine(const QStringList &fields)
{
    return fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

/** The selected columns in display order. */
QList<ZEM_A_C_TableColumn *> selectedColumns(const ZEM_A_C_TableView &table)
{
    const QList<ZEM_A_C_TableColumn *> shown = table.displayedColumns();
    QList<ZEM_A_C_TableColumn *> columns;
    for (int visual : table.selectedColumnIndexes())
        columns.append(shown.value(visual));
    columns.removeAll(nullptr);
    return columns;
}

/** The header line of the column export: the columns' titles. */
QString titleLine(const ZEM_A_C_TableView &table, const QList<ZEM_A_C_TableColumn *> &columns)
{
    QStringList titles;
    for (ZEM_A_C_TableColumn *column : columns)
        titles.append(table.replaceCharacterInString(column->title()));
    return exportLine(titles);
}

/** A field of the column export: empty for an image, nothing or "(null)". */
QString columnField(const ZEM_A_C_TableView &table, const QVariant &value)
{
    if (isImage(value))
        return {};
    const QString description = describe(value);
    const QString field = description.isNull() ? QString() : table.replaceCharacterInString(description);
    return field == QLatin1String("(null)") ? QString() : field;
}

} // namespace

QString ZEM_A_C_TableView::tabularStringWithSelectedColumnsData() const
{
    const QList<ZEM_A_C_TableColumn *> columns = selectedColumns(*this);
    if (columns.isEmpty() || !model())
        return {};
    QString text = titleLine(*this, columns);
    for (int row = 0; row < model()->rowCount(); ++row) {
        QStringList fields;
        for (ZEM_A_C_TableColumn *column : std::as_const(columns))
            fields.append(columnField(*this, model()->data(model()->index(row, column->section()))));
        text += exportLine(fields);
    }
    return text;
}

QString ZEM_A_C_TableView::tabularStringWithSelectedColumnsWithManagedObject() const
{
    const QList<ZEM_A_C_TableColumn *> columns = selectedColumns(*this);
    if (columns.isEmpty() || !m_arrayController)
        return {};
    QString text = titleLine(*this, columns);
    for (QObject *record : m_arrayController->arrangedObjects()) {
        QStringList fields;
        for (ZEM_A_C_TableColumn *column : std::as_const(columns)) {
            const QString key = column->key();
            if (tables::detail::recordAnswers(record, key))
                fields.append(columnField(*this, tables::detail::recordValue(record, key)));
        }
        text += exportLine(fields);
    }
    return text;
}

void ZEM_A_C_TableView::copy(QObject *)
{
    QString text;
    if (!selectedColumnIndexes().isEmpty())
        text = tabularStringWithSelectedColumns();
    else if (!selectedRowIndexes().isEmpty())
        text = tabularStringWithSelectedRows();
    else
        return;
    QGuiApplication::clipboard()->setMimeData(exportMimeData(text));
}

void ZEM_A_C_TableView::copyAsTabDelimited(bool rows)
{
    QGuiApplication::clipboard()->setMimeData(
        exportMimeData(rows ? tabularStringWithSelectedRows() : tabularStringWithSelectedColumns()));
}

bool ZEM_A_C_TableView::startExportDrag(QMouseEvent *event)
{
    QString text;
    if (!selectedColumnIndexes().isEmpty())
        text = tabularStringWithSelectedColumns();
    else if (!selectedRowIndexes().isEmpty())
        text = tabularStringWithSelectedRows();
    if (text.isEmpty())
        return false;
    auto *drag = new QDrag(this);
    drag->setMimeData(exportMimeData(text));
    const QImage image = ZEM_F_C_StoreGroup::shared()->imageForKey(QStringLiteral("NumbersDragImage"));
    if (!image.isNull())
        drag->setPixmap(QPixmap::fromImage(image.scaled(24, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    // The image's top left sits 10 left of and 11 above the click.
    drag->setHotSpot(QPoint(10, 11));
    Q_UNUSED(event);
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    return true;
}
