#pragma once

#include "ZEM_A_C_ToolTipOnly.h"
#include "zem_appkit_export.h"

#include <QColor>
#include <QPushButton>

/** A button showing a colour, whose tool tip follows the active language. */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSColorWell : public ZEM_A_C_ToolTipOnly<QPushButton>
{
    Q_OBJECT
    ZEM_A_C_TOOLTIP_ONLY_PROPERTIES
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
public:
    explicit ZEM_A_C_NSColorWell(QWidget *parent = nullptr);
    ~ZEM_A_C_NSColorWell() override;

    QColor color() const { return m_color; }
    /** Shows \a color as the button's swatch; an invalid colour shows none. */
    void setColor(const QColor &color);

    /** Hands the tool tip to the language engine and registers for language changes. */
    Q_INVOKABLE void awakeFromNib() { awakeToolTipOnly(); }
    /** Shows the tool tip in the language \a notification announces; the number 0 restores it. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification) { languageCallToolTipOnly(notification); }

signals:
    void colorChanged(const QColor &color);

private:
    QColor m_color;
};
