#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QString>
#include <QWidget>

class QTabWidget;

/**
 * A page of a QTabWidget whose label (the text of its tab) follows the active language.
 *
 * While the page sits in a tab widget its label is its tab's text, read and written
 * there; outside one the page keeps the label itself, and a tab widget that takes the
 * page in later with an empty tab text gets that label.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSTabViewItem : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString label READ label WRITE setLabel)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
public:
    explicit ZEM_A_C_NSTabViewItem(QWidget *parent = nullptr);
    explicit ZEM_A_C_NSTabViewItem(const QString &label, QWidget *parent = nullptr);
    ~ZEM_A_C_NSTabViewItem() override;

    QString label() const;
    void setLabel(const QString &label);
    /** The tab widget showing this page, or null. */
    QTabWidget *tabWidget() const;

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }

    /** Hands the label to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded label, any other language fetches it.
     */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

protected:
    bool event(QEvent *event) override;

    ZEM_A_C_Localized m_lang{this};

private:
    QString m_label;
};
