#include "ZEM_A_C_VideoHelpButton.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_HelpButton.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/ImagePosition.h"
#include "services/ZEM_A_E_Icons.h"

ZEM_A_C_VideoHelpButton::ZEM_A_C_VideoHelpButton(QWidget *parent) : ZEM_A_C_NSButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

ZEM_A_C_VideoHelpButton::~ZEM_A_C_VideoHelpButton() = default;

void ZEM_A_C_VideoHelpButton::awakeFromNib()
{
    if (tag() == 0) {
        connect(this, &QAbstractButton::clicked, this, &ZEM_A_C_VideoHelpButton::videoHelpAction,
                Qt::UniqueConnection);
    }
    ZEM_A_C_HelpButton::prepareHelpButton(this, ZEM_F_Host::delegate()->useAppHelpVideo(),
                                          QStringLiteral("NT:Open Video Help Viewer"));
    ZEM_A_E_Icons::shared()->buttonImageNoResize(
        this, QStringLiteral("VideoHelpSmall"), QString(),
        static_cast<qint64>(platform::ImagePosition::ImageOnly));
    ZEM_A_C_NSButton::awakeFromNib();
}

void ZEM_A_C_VideoHelpButton::videoHelpAction()
{
    ZEM_A_C_HelpButton::reportHelpResult(
        ZEM_F_Host::delegate()->appShowHelpVideoViewer(m_helpVideoFile), m_helpVideoFile);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_VideoHelpButton)
