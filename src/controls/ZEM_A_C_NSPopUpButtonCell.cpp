#include "ZEM_A_C_NSPopUpButtonCell.h"

#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSPopUpButtonCell::ZEM_A_C_NSPopUpButtonCell(QObject *parent) : platform::ButtonCell(parent)
{
}

ZEM_A_C_NSPopUpButtonCell::ZEM_A_C_NSPopUpButtonCell(const QString &title, QObject *parent)
    : platform::ButtonCell(title, parent)
{
}

ZEM_A_C_NSPopUpButtonCell::~ZEM_A_C_NSPopUpButtonCell() = default;

void ZEM_A_C_NSPopUpButtonCell::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitle);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSPopUpButtonCell::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", true, QString(), QString(),
                                                notification);
}
