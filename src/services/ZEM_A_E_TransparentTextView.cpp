#include "ZEM_A_E_TransparentTextView.h"

#include "ZEM_A_E_DockSupport.h"
#include "ZEM_A_I_TransparentView.h"
#include "ZEM_A_I_TransparentWindow.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/PlatformLog.h"

#include <QApplication>
#include <QScreen>

namespace {
[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_TransparentTextView"),
    [] { return static_cast<QObject *>(ZEM_A_E_TransparentTextView::shared()); });
} // namespace

ZEM_A_E_TransparentTextView::ZEM_A_E_TransparentTextView(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_TransparentTextView::~ZEM_A_E_TransparentTextView() = default;

ZEM_A_E_TransparentTextView *ZEM_A_E_TransparentTextView::shared()
{
    static auto *instance = new ZEM_A_E_TransparentTextView;
    return instance;
}

ZEM_Result<void> ZEM_A_E_TransparentTextView::loadNibFile()
{
    if (m_isLoaded && m_window)
        return {};
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return ZEM_Error::make(ZEM_Error::Unavailable,
                               QStringLiteral("The large-type window needs a widget application"));
    m_window = new ZEM_A_I_TransparentWindow;
    m_placed = m_window->setFrameAutosaveName(QStringLiteral("%1TransparentWindow").arg(ZEM_F_Host::appName()));
    m_isLoaded = true;
    return {};
}

bool ZEM_A_E_TransparentTextView::showTransparentWindow(const QString &string)
{
    if (auto loaded = loadNibFile(); !loaded) {
        qCWarning(zemPlatform).noquote() << loaded.error().message;
        return false;
    }
    m_window->textView()->setString(string);
    m_window->setWindowText();
    if (!m_placed) {
        if (const QScreen *screen = ZEM_A_E_DockSupport::screenForWindow(m_window)) {
            QRect frame = m_window->frameGeometry();
            frame.moveCenter(screen->geometry().center());
            m_window->move(frame.topLeft());
        }
        m_placed = true;
    }
    m_window->moveWindowSupport(false);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return true;
}

ZEM_A_I_TransparentWindow *ZEM_A_E_TransparentTextView::window() const
{
    return m_window;
}

ZEM_A_I_TransparentView *ZEM_A_E_TransparentTextView::textView() const
{
    return m_window ? m_window->textView() : nullptr;
}
