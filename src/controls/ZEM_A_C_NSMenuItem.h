#pragma once

#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QAction>
#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QString>

/**
 * A menu item whose title follows the active language, and which calls its action on its
 * target by name.
 *
 * Triggering the item performs its selector on its target with the item as the only
 * argument (platform::perform(target, selector, {item})); a target that does not answer
 * the selector, or no target, makes the item do nothing. The item's tag tells items with
 * one action apart (the language items carry their language number).
 *
 * The state is on (1), off (0) or mixed (-1); a non-zero state makes the item checkable,
 * and only "on" shows it checked. The icon is the item's own image when it has one (a
 * colour swatch, a picture), whatever the state; without one it is the on-state image
 * while the item is on, the mixed-state image while it is mixed, and none otherwise. An
 * item given none of these images keeps whatever icon it was given. The key equivalent is kept as written ("W", "m", "Ctrl+K"): a single
 * upper-case letter means Ctrl+Shift and the letter, a single lower-case one Ctrl and the
 * letter, anything longer is read as a QKeySequence.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSMenuItem : public QAction
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(int tag READ tag WRITE setTag)
    Q_PROPERTY(QObject *target READ target WRITE setTarget)
    Q_PROPERTY(QString selector READ selector WRITE setSelector)
    Q_PROPERTY(int state READ state WRITE setState)
    Q_PROPERTY(QImage image READ image WRITE setImage)
    Q_PROPERTY(QImage onStateImage READ onStateImage WRITE setOnStateImage)
    Q_PROPERTY(QImage mixedStateImage READ mixedStateImage WRITE setMixedStateImage)
    Q_PROPERTY(QString keyEquivalent READ keyEquivalent WRITE setKeyEquivalent)
public:
    enum State { MixedState = -1, OffState = 0, OnState = 1 };

    explicit ZEM_A_C_NSMenuItem(QObject *parent = nullptr);
    /** An item titled \a title calling \a selector (empty: none) on its target. */
    ZEM_A_C_NSMenuItem(const QString &title, const QString &selector, QObject *parent = nullptr);
    ~ZEM_A_C_NSMenuItem() override;

    QString title() const { return text(); }
    void setTitle(const QString &title) { setText(title); }
    /** Sets the title and hands it to the language engine again. */
    void setNewTitle(const QString &title);
    QString titleKey() const { return m_titleKey; }
    void setTitleKey(const QString &key) { m_titleKey = key; }
    bool hasTitle() const { return m_hasTitle; }

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    QObject *target() const { return m_target; }
    /** Not owned; the item forgets a target that is destroyed. */
    void setTarget(QObject *target) { m_target = target; }
    /** The action's selector ("switchLanguages:") or member name; empty for none. */
    QString selector() const { return m_selector; }
    void setSelector(const QString &selector) { m_selector = selector; }

    int state() const { return m_state; }
    /** Values other than -1, 0 and 1 count as on. */
    void setState(int state);
    /** The item's own image, shown in every state; null for none. */
    QImage image() const { return m_image; }
    void setImage(const QImage &image);
    QImage onStateImage() const { return m_onStateImage; }
    /** The icon shown while the item is on and has no image of its own; null for none. */
    void setOnStateImage(const QImage &image);
    QImage mixedStateImage() const { return m_mixedStateImage; }
    void setMixedStateImage(const QImage &image);

    QString keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(const QString &key);
    /** The shortcut a key equivalent stands for, as described above. */
    static QKeySequence keySequenceFor(const QString &key);

    /**
     * Hands the title to the language engine, registers for language changes and has the
     * title entered in the language dictionary a second later.
     */
    Q_INVOKABLE void awakeFromNib();
    /**
     * Called by the language engine on a language change: the number 0 puts back the title
     * the item was loaded with, any other language shows the title key's text in it.
     */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

    /** What triggering does: performs the selector on the target. False when nothing was called. */
    bool performAction();

private:
    void checkTitle();
    void updateIcon();

    QString m_titleKey;
    bool m_hasTitle = false;
    int m_tag = 0;
    QPointer<QObject> m_target;
    QString m_selector;
    int m_state = OffState;
    QImage m_image;
    QImage m_onStateImage;
    QImage m_mixedStateImage;
    bool m_imagesSet = false; ///< the icon follows the images once one was set
    QString m_keyEquivalent;
};
