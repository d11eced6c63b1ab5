#include "ZEM_A_C_NSToolbarItem.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

namespace {
const QString kNoun = QStringLiteral("B:ToolBarItem");
}

ZEM_A_C_NSToolbarItem::ZEM_A_C_NSToolbarItem(const QString &label, QObject *parent) : QAction(label, parent) {}

ZEM_A_C_NSToolbarItem::~ZEM_A_C_NSToolbarItem() = default;

void ZEM_A_C_NSToolbarItem::setToolTip(const QString &toolTip)
{
    m_toolTip = toolTip;
    QAction::setToolTip(toolTip);
}

void ZEM_A_C_NSToolbarItem::checkToolTipSupport()
{
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, label(), kNoun);
}

void ZEM_A_C_NSToolbarItem::setUpLanguageSupport()
{
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    m_lang.hasTitle = engine->checkLabel(this);
    m_lang.hasPalette = engine->checkPalette(this);
    checkToolTipSupport();
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSToolbarItem::languageCall(const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        ZEM_A_C_Localized::engine()->resetPaletteAndToolTip(this);
        // The reset puts back the empty tool tip the item was loaded with: make it up again.
        if (m_lang.hasMadeUpToolTip && m_toolTip.isEmpty())
            setToolTip(QStringLiteral("%1 %2").arg(label(), ZEM_A_C_Localized::noun(kNoun)));
        return;
    }
    ZEM_A_C_LocalizedSteps::applyLanguage(this, m_lang, "label", true, kNoun, notification);
    if (m_lang.hasPalette && !m_lang.paletteKey.isEmpty())
        setPaletteLabel(ZEM_A_C_Localized::text(m_lang.paletteKey, QStringLiteral("NP"), notification));
    else if (m_lang.hasTitle)
        setPaletteLabel(ZEM_A_C_Localized::text(m_lang.titleKey, QStringLiteral("NL"), notification));
}

void ZEM_A_C_NSToolbarItem::setNewLabel(const QString &label)
{
    setLabel(label);
    m_lang.hasTitle = ZEM_A_C_Localized::engine()->checkLabel(this);
}

void ZEM_A_C_NSToolbarItem::setNewPaletteLabel(const QString &label)
{
    if (label.isEmpty())
        return;
    setPaletteLabel(label);
    m_lang.hasPalette = ZEM_A_C_Localized::engine()->checkPalette(this);
}

void ZEM_A_C_NSToolbarItem::setNewToolTip(const QString &toolTip)
{
    ZEM_A_C_LocalizedSteps::setToolTipUnlessTitle(this, toolTip, label());
    checkToolTipSupport();
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSToolbarItem)
