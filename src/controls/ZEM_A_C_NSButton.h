#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QPushButton>
#include <QString>

/**
 * A push button whose title and tool tip follow the active language.
 *
 * A button without a tool tip of its own gets a made-up one: its title followed by the
 * noun "Button" in the active language. A button that shows its image only
 * (platform::ImagePosition::ImageOnly) keeps no title key, so a language change never
 * gives it a title.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
    Q_PROPERTY(int imagePosition READ imagePosition WRITE setImagePosition)
    Q_PROPERTY(int tag READ tag WRITE setTag)
public:
    explicit ZEM_A_C_NSButton(QWidget *parent = nullptr);
    explicit ZEM_A_C_NSButton(const QString &title, QWidget *parent = nullptr);
    ~ZEM_A_C_NSButton() override;

    QString title() const { return text(); }
    void setTitle(const QString &title) { setText(title); }
    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }

    /** A number of platform::ImagePosition; NoImage (0) until one is set. */
    int imagePosition() const { return m_imagePosition; }
    /**
     * Keeps \a position (numbers outside platform::ImagePosition are ignored); the
     * image-only position also drops the title key and hasTitle.
     */
    void setImagePosition(int position);
    /** Tells buttons with one action apart; 0 by default. */
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    /** Hands the title and tool tip to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded texts, any other language fetches
     * them. */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

    /** Sets the title and hands it to the language engine again. */
    void setNewTitle(const QString &title);
    /**
     * Sets the tool tip unless it is empty or the title itself, then checks the tool tip
     * again in either case.
     */
    void setNewToolTip(const QString &toolTip);

    /** The noun key of the made-up tool tip. */
    static QString nounKey() { return QStringLiteral("NL:Button"); }

    /** An image-only button is sized without its title. */
    QSize sizeHint() const override;

protected:
    /** An image-only button keeps its title but draws only its image. */
    void paintEvent(QPaintEvent *event) override;
    void checkTitleSupport();
    void checkToolTipSupport();
    bool isImageOnly() const;

    ZEM_A_C_Localized m_lang{this};

private:
    int m_imagePosition = 0;
    int m_tag = 0;
};
