#include "ZEM_A_C_NSToolbarButton.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSToolbarButton::ZEM_A_C_NSToolbarButton(QWidget *parent) : QToolButton(parent) {}

ZEM_A_C_NSToolbarButton::~ZEM_A_C_NSToolbarButton() = default;

void ZEM_A_C_NSToolbarButton::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitle);
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, title(), nounKey());
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSToolbarButton::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", true, nounKey(), nounKey(),
                                                notification);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSToolbarButton)
