#include "ZEM_A_C_HelpButton.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/PlatformLog.h"

ZEM_A_C_HelpButton::ZEM_A_C_HelpButton(QWidget *parent) : ZEM_A_C_NSButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

ZEM_A_C_HelpButton::~ZEM_A_C_HelpButton() = default;

void ZEM_A_C_HelpButton::prepareHelpButton(ZEM_A_C_NSButton *button, bool shown,
                                           const QString &toolTipKey)
{
    button->setFocusPolicy(Qt::NoFocus);
    if (!shown)
        button->hide();
    else if (!button->isWindow())
        button->setHidden(false);
    // The key rather than its text: the engine then finds the right key whatever language
    // is active at load, and shows the key's text.
    button->setNewToolTip(toolTipKey);
}

bool ZEM_A_C_HelpButton::reportHelpResult(const ZEM_Result<void> &result, const QString &what)
{
    if (result)
        return true;
    qCWarning(zemPlatform) << "Cannot show help" << what << ":" << result.error().message;
    return false;
}

void ZEM_A_C_HelpButton::awakeFromNib()
{
    if (tag() == 0)
        connect(this, &QAbstractButton::clicked, this, &ZEM_A_C_HelpButton::helpAction,
                Qt::UniqueConnection);
    prepareHelpButton(this, ZEM_F_Host::delegate()->useAppHelp(),
                      QStringLiteral("NT:Open Help Viewer"));
    ZEM_A_C_NSButton::awakeFromNib();
}

void ZEM_A_C_HelpButton::helpAction()
{
    reportHelpResult(ZEM_F_Host::delegate()->appShowHelpViewer(m_helpFile), m_helpFile);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_HelpButton)
