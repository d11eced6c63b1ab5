#pragma once

#include "tables/ZEM_A_C_ArrayController.h"
#include "zem_appkit_export.h"

#include <QSet>

/**
 * An array controller whose colour columns paint each cell in the colour the record holds
 * at the column's key, with black text. White gives way to the palette's alternating row
 * colours, so a record without a colour of its own looks like any other row.
 *
 * **Example**
 * \code
 * auto *labels = new ZEM_A_C_ArrayControllerColoredColumn;
 * labels->setColumnIdentifiers({u"1:name"_s, u"2:colour"_s});
 * labels->setColorColumnKeys({u"colour"_s});
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ArrayControllerColoredColumn : public ZEM_A_C_ArrayController
{
    Q_OBJECT
public:
    using ZEM_A_C_ArrayController::ZEM_A_C_ArrayController;

    /** The keys whose columns are colour columns. */
    QSet<QString> colorColumnKeys() const { return m_colorKeys; }
    void setColorColumnKeys(const QSet<QString> &keys);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QSet<QString> m_colorKeys;
};
