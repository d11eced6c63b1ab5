#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <QTableView>

/**
 * One column of a table view, whose header title and header tool tip follow the active
 * language. A header without a tool tip of its own gets "<title> Column".
 *
 * The title and tool tip are the header data of the column's section in the view's model;
 * while the view has no model or no such section they are kept by the column alone and
 * handed to the model when set again.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSTableColumn : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip)
    Q_PROPERTY(int section READ section WRITE setSection)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(QString currentToolTipKey READ currentToolTipKey WRITE setCurrentToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
public:
    /** The column \a section of \a view (not owned). */
    explicit ZEM_A_C_NSTableColumn(QTableView *view = nullptr, int section = 0, QObject *parent = nullptr);
    ~ZEM_A_C_NSTableColumn() override;

    QTableView *tableView() const { return m_view; }
    void setTableView(QTableView *view) { m_view = view; }
    int section() const { return m_section; }
    void setSection(int section) { m_section = section; }

    /** The header text. Setting it redraws the view's header. */
    QString title() const;
    void setTitle(const QString &title);
    /** The header tool tip; each one set is also the currentToolTipKey. */
    QString toolTip() const;
    void setToolTip(const QString &toolTip);

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    /** The header tool tip now shown. */
    QString currentToolTipKey() const { return m_lang.currentToolTipKey; }
    void setCurrentToolTipKey(const QString &key) { m_lang.currentToolTipKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }

    /** Hands the header title and tool tip to the language engine and registers for changes. */
    Q_INVOKABLE void awakeFromNib();
    /** Shows the header texts in the language \a notification announces; the number 0 restores them. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

private:
    QVariant headerData(int role) const;
    void setHeaderData(const QVariant &value, int role);

    QPointer<QTableView> m_view;
    int m_section;
    QString m_title;
    QString m_toolTip;
    ZEM_A_C_Localized m_lang{this};
};
