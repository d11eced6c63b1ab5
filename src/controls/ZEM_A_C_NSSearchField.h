#pragma once

#include "ZEM_A_C_ToolTipOnly.h"
#include "zem_appkit_export.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPointer>

/**
 * A search field whose tool tip, "Search Field", and placeholder text (a label key, or a
 * text standing for one: "Search" is "NL:Search") follow the active language, and which
 * steps through the rows of its table with the arrow keys while the user types.
 *
 * With a table whose model has at least two rows, up selects the previous row, wrapping
 * from the first to the last, and down the next, wrapping from the last to the first; with
 * fewer rows the arrows do nothing. Without a table or model every key is the field's.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSSearchField : public ZEM_A_C_ToolTipOnly<QLineEdit>
{
    Q_OBJECT
    ZEM_A_C_TOOLTIP_ONLY_PROPERTIES
    Q_PROPERTY(QAbstractItemView *table READ table WRITE setTable)
    Q_PROPERTY(QString placeholderKey READ placeholderKey)
public:
    explicit ZEM_A_C_NSSearchField(QWidget *parent = nullptr);
    ~ZEM_A_C_NSSearchField() override;

    QAbstractItemView *table() const { return m_table; }
    /** Not owned. The table also comes next in the tab order when both share a window. */
    void setTable(QAbstractItemView *table);
    /** The widget the tab key moves to: the table when one is set. */
    QWidget *nextKeyView() const;

    /** With a table, takes the up and down arrows (Qt::Key_Up, Qt::Key_Down): true. */
    bool handleArrowKeyEventNoModifier(int key);

    /** The key of the placeholder text, found on load; empty for none. */
    QString placeholderKey() const { return m_placeholderKey; }

    /** Hands the tool tip and placeholder to the language engine and registers for language changes. */
    Q_INVOKABLE void awakeFromNib();
    /** Shows the texts in the language \a notification announces; the number 0 restores them. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    /** Moves the table's selection one row up or down; false when the key is not the table's. */
    bool stepTable(int key);

    QPointer<QAbstractItemView> m_table;
    QString m_placeholderKey;
};
