#include "ZEM_A_C_NSPopUpButton.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSPopUpButton::ZEM_A_C_NSPopUpButton(QWidget *parent) : QComboBox(parent) {}

ZEM_A_C_NSPopUpButton::~ZEM_A_C_NSPopUpButton() = default;

void ZEM_A_C_NSPopUpButton::setTitle(const QString &title)
{
    if (currentIndex() >= 0) {
        setItemText(currentIndex(), title);
    } else if (!title.isEmpty()) {
        addItem(title);
        setCurrentIndex(count() - 1);
    }
}

void ZEM_A_C_NSPopUpButton::checkToolTipSupport()
{
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, title(), nounKey());
}

void ZEM_A_C_NSPopUpButton::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitlePopUp);
    checkToolTipSupport();
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSPopUpButton::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", true, nounKey(), QString(),
                                                notification);
}

void ZEM_A_C_NSPopUpButton::setNewTitle(const QString &title)
{
    setTitle(title);
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitlePopUp);
}

void ZEM_A_C_NSPopUpButton::setNewToolTip(const QString &toolTip)
{
    ZEM_A_C_LocalizedSteps::setToolTipUnlessTitle(this, toolTip, title());
    checkToolTipSupport();
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSPopUpButton)
