#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QGridLayout;

namespace platform {
class ButtonCell;
}

/**
 * A grid of button cells whose titles and tool tips follow the active language.
 *
 * Each cell is a platform::ButtonCell shown as a push button or, in radio mode, as a
 * radio button of one exclusive group. Cells fill the grid row by row, \a columns to a row.
 * "titles" and "toolTips" give and take the cells' texts in order ("" for none). A matrix
 * with a negative tag is never localized: its set-up does nothing.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSMatrix : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QStringList titles READ titles WRITE setTitles)
    Q_PROPERTY(QStringList toolTips READ toolTips WRITE setToolTips)
    Q_PROPERTY(int tag READ tag WRITE setTag)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(QStringList titleKeys READ titleKeys WRITE setTitleKeys)
    Q_PROPERTY(QStringList toolTipKeys READ toolTipKeys WRITE setToolTipKeys)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasTitles READ hasTitles)
    Q_PROPERTY(bool hasToolTips READ hasToolTips)
    Q_PROPERTY(bool hasMadeUpToolTips READ hasMadeUpToolTips)
public:
    enum Mode { PushButtons, RadioButtons };

    /** A column of push buttons. */
    explicit ZEM_A_C_NSMatrix(QWidget *parent = nullptr);
    explicit ZEM_A_C_NSMatrix(Mode mode, int columns = 1, QWidget *parent = nullptr);
    ~ZEM_A_C_NSMatrix() override;

    /** Appends a cell titled \a title (empty: untitled); the matrix owns it. */
    platform::ButtonCell *addCell(const QString &title = {});
    int cellCount() const { return int(m_cells.size()); }
    /** The cell at \a index, or null outside the matrix. */
    platform::ButtonCell *cellAt(int index) const;
    /** The button showing the cell at \a index, or null outside the matrix. */
    QAbstractButton *buttonAt(int index) const;
    Mode mode() const { return m_mode; }
    /** The index of the checked cell in radio mode; -1 when none is. */
    int selectedIndex() const;

    QStringList titles() const;
    /** Sets the cells' titles in order; extra texts add cells, missing ones leave cells alone. */
    void setTitles(const QStringList &titles);
    QStringList toolTips() const;
    void setToolTips(const QStringList &toolTips);

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    QStringList titleKeys() const { return m_lang.titleKeys; }
    void setTitleKeys(const QStringList &keys) { m_lang.titleKeys = keys; }
    QStringList toolTipKeys() const { return m_lang.toolTipKeys; }
    void setToolTipKeys(const QStringList &keys) { m_lang.toolTipKeys = keys; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasTitles() const { return m_lang.hasTitles; }
    bool hasToolTips() const { return m_lang.hasToolTips; }
    bool hasMadeUpToolTips() const { return m_lang.hasMadeUpToolTips; }

    /**
     * Hands the cells' titles and tool tips and the matrix's own tool tip to the language
     * engine and registers for language changes; nothing for a negative tag.
     */
    Q_INVOKABLE void awakeFromNib();
    /** Shows the texts in the language \a notification announces; the number 0 restores them. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

private:
    void showCell(int index);

    Mode m_mode;
    int m_columns;
    int m_tag = 0;
    QGridLayout *m_layout;
    QButtonGroup *m_group;
    QList<platform::ButtonCell *> m_cells;
    QList<QAbstractButton *> m_buttons;
    QList<int> m_keyIndex; ///< per cell, its entry in the title and tool tip keys; -1: none
    ZEM_A_C_Localized m_lang{this};
};
