#pragma once

#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QMenu>
#include <QString>

/**
 * A menu whose title follows the active language.
 *
 * On awakeFromNib() the language engine looks for a message key behind the title; when it
 * finds one (hasTitle) the title is fetched again on every language change. A context menu
 * usually has an empty title and is left alone, while its items localize themselves.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSMenu : public QMenu
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
public:
    explicit ZEM_A_C_NSMenu(QWidget *parent = nullptr);
    explicit ZEM_A_C_NSMenu(const QString &title, QWidget *parent = nullptr);
    ~ZEM_A_C_NSMenu() override;

    QString titleKey() const { return m_titleKey; }
    void setTitleKey(const QString &key) { m_titleKey = key; }
    bool hasTitle() const { return m_hasTitle; }

    /**
     * Hands the title to the language engine, registers for language changes and has the
     * title entered in the language dictionary a second later.
     */
    Q_INVOKABLE void awakeFromNib();
    /**
     * Called by the language engine on a language change: the number 0 puts back the title
     * the menu was loaded with, any other language shows the title key's text in it.
     */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

    /** Whether \a notification announces the return to the loaded texts: its object is the number 0. */
    static bool isResetNotification(const ZEM_F_Notification &notification);

private:
    QString m_titleKey;
    bool m_hasTitle = false;
};
