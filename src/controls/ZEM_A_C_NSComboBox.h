#pragma once

#include "ZEM_A_C_ToolTipOnly.h"
#include "zem_appkit_export.h"

#include <QComboBox>

/**
 * An editable combo box whose tool tip follows the active language.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSComboBox : public ZEM_A_C_ToolTipOnly<QComboBox>
{
    Q_OBJECT
    ZEM_A_C_TOOLTIP_ONLY_PROPERTIES
public:
    explicit ZEM_A_C_NSComboBox(QWidget *parent = nullptr);
    ~ZEM_A_C_NSComboBox() override;

    /** Hands the tool tip to the language engine and registers for language changes. */
    Q_INVOKABLE void awakeFromNib() { awakeToolTipOnly(); }
    /** Shows the tool tip in the language \a notification announces; the number 0 restores it. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification) { languageCallToolTipOnly(notification); }
};
