#include "ZEM_A_C_NSTextField.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

ZEM_A_C_NSTextField::ZEM_A_C_NSTextField(QWidget *parent) : QLineEdit(parent) {}

ZEM_A_C_NSTextField::ZEM_A_C_NSTextField(const QString &value, QWidget *parent)
    : QLineEdit(value, parent)
{
}

ZEM_A_C_NSTextField::~ZEM_A_C_NSTextField() = default;

void ZEM_A_C_NSTextField::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "stringValue",
                                       &ZEM_F_E_Language::checkTitleTextField);
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, stringValue(), QString());
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSTextField::languageCall(const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        ZEM_A_C_Localized::engine()->resetTextFieldAndToolTip(this);
        return;
    }
    ZEM_A_C_LocalizedSteps::applyLanguage(this, m_lang, "stringValue", true, QString(),
                                          notification);
}

void ZEM_A_C_NSTextField::setNewStringValue(const QString &value)
{
    setStringValue(value);
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "stringValue",
                                       &ZEM_F_E_Language::checkTitleTextField);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSTextField)
