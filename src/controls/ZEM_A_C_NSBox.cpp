#include "ZEM_A_C_NSBox.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSBox::ZEM_A_C_NSBox(QWidget *parent) : QGroupBox(parent) {}

ZEM_A_C_NSBox::ZEM_A_C_NSBox(const QString &title, QWidget *parent) : QGroupBox(title, parent) {}

ZEM_A_C_NSBox::~ZEM_A_C_NSBox() = default;

void ZEM_A_C_NSBox::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkBoxTitle);
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, title(), nounKey());
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSBox::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", true, nounKey(), nounKey(),
                                                notification);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSBox)
