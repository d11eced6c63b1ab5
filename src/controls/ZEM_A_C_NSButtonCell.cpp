#include "ZEM_A_C_NSButtonCell.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSButtonCell::ZEM_A_C_NSButtonCell(QObject *parent) : platform::ButtonCell(parent) {}

ZEM_A_C_NSButtonCell::ZEM_A_C_NSButtonCell(const QString &title, QObject *parent)
    : platform::ButtonCell(title, parent)
{
}

ZEM_A_C_NSButtonCell::~ZEM_A_C_NSButtonCell() = default;

void ZEM_A_C_NSButtonCell::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitleButton);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSButtonCell::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", true, QString(), QString(),
                                                notification);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSButtonCell)
