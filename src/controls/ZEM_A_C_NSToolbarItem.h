#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QAction>
#include <QString>

/**
 * A toolbar item whose label, palette label and tool tip follow the active language. An
 * item without a tool tip of its own gets "<label> Tool Bar Item"; without a palette label
 * key the palette label follows the label.
 *
 * The host sets it up with setUpLanguageSupport() once its texts are in place.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSToolbarItem : public QAction
{
    Q_OBJECT
    Q_PROPERTY(QString label READ label WRITE setLabel)
    // The made-up tool tip is built from the "title": the label.
    Q_PROPERTY(QString title READ label WRITE setLabel)
    Q_PROPERTY(QString paletteLabel READ paletteLabel WRITE setPaletteLabel)
    // Shadows QAction's, which falls back to the label when unset.
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(QString paletteKey READ paletteKey WRITE setPaletteKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
    Q_PROPERTY(bool hasPalette READ hasPalette)
public:
    explicit ZEM_A_C_NSToolbarItem(const QString &label = {}, QObject *parent = nullptr);
    ~ZEM_A_C_NSToolbarItem() override;

    QString label() const { return text(); }
    void setLabel(const QString &label) { setText(label); }
    /** The label shown in the toolbar's customization palette. */
    QString paletteLabel() const { return m_paletteLabel; }
    void setPaletteLabel(const QString &label) { m_paletteLabel = label; }
    /** The item's own tool tip; empty when it has none. */
    QString toolTip() const { return m_toolTip; }
    void setToolTip(const QString &toolTip);

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    QString paletteKey() const { return m_lang.paletteKey; }
    void setPaletteKey(const QString &key) { m_lang.paletteKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }
    bool hasPalette() const { return m_lang.hasPalette; }

    /** Hands the label, palette label and tool tip to the language engine and registers. */
    Q_INVOKABLE void setUpLanguageSupport();
    /** The set-up an interface file runs on load: setUpLanguageSupport(). */
    Q_INVOKABLE void awakeFromNib() { setUpLanguageSupport(); }
    /** Shows the texts in the language \a notification announces; the number 0 restores them. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification);

    /** Sets the label and checks it again. */
    void setNewLabel(const QString &label);
    /** Sets a non-empty palette label and checks it again; an empty one is ignored. */
    void setNewPaletteLabel(const QString &label);
    /**
     * Sets the tool tip unless it is empty or the label itself, then checks the tool tip
     * again either way.
     */
    void setNewToolTip(const QString &toolTip);

private:
    void checkToolTipSupport();

    QString m_paletteLabel;
    QString m_toolTip;
    ZEM_A_C_Localized m_lang{this};
};
