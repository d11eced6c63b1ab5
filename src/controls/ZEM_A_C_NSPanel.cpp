#include "ZEM_A_C_NSPanel.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"

ZEM_A_C_NSPanel::ZEM_A_C_NSPanel(QWidget *parent) : QDialog(parent) {}

ZEM_A_C_NSPanel::~ZEM_A_C_NSPanel() = default;

void ZEM_A_C_NSPanel::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkWindowTitle(this, m_lang);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSPanel::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::windowTitleCall(this, m_lang, notification);
}

void ZEM_A_C_NSPanel::setNewTitle(const QString &title)
{
    setWindowTitle(title);
    ZEM_A_C_LocalizedSteps::checkWindowTitle(this, m_lang);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSPanel)
