#include "ZEM_A_C_NSWindow.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"

ZEM_A_C_NSWindow::ZEM_A_C_NSWindow(QWidget *parent) : QMainWindow(parent) {}

ZEM_A_C_NSWindow::~ZEM_A_C_NSWindow() = default;

void ZEM_A_C_NSWindow::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkWindowTitle(this, m_lang);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSWindow::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::windowTitleCall(this, m_lang, notification);
}

void ZEM_A_C_NSWindow::setNewTitle(const QString &title)
{
    setWindowTitle(title);
    ZEM_A_C_LocalizedSteps::checkWindowTitle(this, m_lang);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSWindow)
