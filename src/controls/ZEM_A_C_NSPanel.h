#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QDialog>

/**
 * A dialog whose title follows the active language, unless ignoreTitle is set: then the title
 * is left alone through every language change and reset.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSPanel : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(QString title READ windowTitle WRITE setWindowTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool ignoreTitle READ ignoreTitle WRITE setIgnoreTitle)
public:
    explicit ZEM_A_C_NSPanel(QWidget *parent = nullptr);
    ~ZEM_A_C_NSPanel() override;

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool ignoreTitle() const { return m_lang.ignoreTitle; }
    void setIgnoreTitle(bool ignore) { m_lang.ignoreTitle = ignore; }

    /** Hands the title to the language engine (unless ignoreTitle) and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded title, any other language fetches it.
     */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

    /** Sets the title and checks it again. */
    void setNewTitle(const QString &title);

protected:
    ZEM_A_C_Localized m_lang{this};
};
