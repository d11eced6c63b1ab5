#include "ZEM_A_C_NSMenuItem.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_NSMenu.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/Invoke.h"

#include <QIcon>
#include <QPixmap>
#include <QTimer>

namespace {
constexpr int dictionaryDelayMs = 1000;
}

ZEM_A_C_NSMenuItem::ZEM_A_C_NSMenuItem(QObject *parent) : ZEM_A_C_NSMenuItem(QString(), QString(), parent) {}

ZEM_A_C_NSMenuItem::ZEM_A_C_NSMenuItem(const QString &title, const QString &selector, QObject *parent)
    : QAction(title, parent), m_selector(selector)
{
    connect(this, &QAction::triggered, this, [this] { performAction(); });
}

ZEM_A_C_NSMenuItem::~ZEM_A_C_NSMenuItem()
{
    ZEM_F_E_Language::shared()->removeObjectNotifications(this);
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

void ZEM_A_C_NSMenuItem::setState(int state)
{
    m_state = (state == MixedState || state == OffState) ? state : int(OnState);
    if (m_state != OffState)
        setCheckable(true);
    // setChecked() on a checkable item re-emits nothing that reaches performAction().
    setChecked(m_state == OnState);
    updateIcon();
}

void ZEM_A_C_NSMenuItem::setImage(const QImage &image)
{
    m_image = image;
    m_imagesSet = true;
    updateIcon();
}

void ZEM_A_C_NSMenuItem::setOnStateImage(const QImage &image)
{
    m_onStateImage = image;
    m_imagesSet = true;
    updateIcon();
}

void ZEM_A_C_NSMenuItem::setMixedStateImage(const QImage &image)
{
    m_mixedStateImage = image;
    m_imagesSet = true;
    updateIcon();
}

void ZEM_A_C_NSMenuItem::updateIcon()
{
    if (!m_imagesSet)
        return;
    // A menu has one icon column: the item's own image wins, and the state still shows as
    // the check the style draws for a checked item.
    const QImage &shown = !m_image.isNull()         ? m_image
                          : m_state == OnState    ? m_onStateImage
                          : m_state == MixedState ? m_mixedStateImage
                                                  : m_image;
    setIcon(shown.isNull() ? QIcon() : QIcon(QPixmap::fromImage(shown)));
}

void ZEM_A_C_NSMenuItem::setNewTitle(const QString &title)
{
    setTitle(title);
    checkTitle();
}

void ZEM_A_C_NSMenuItem::checkTitle()
{
    ZEM_F_E_Language *engine = ZEM_F_E_Language::shared();
    // A title still showing its key's text keeps that key: checked again while another
    // language is active, the text would otherwise pass for a key of its own.
    if (m_hasTitle && !text().isEmpty() && text() == engine->l(m_titleKey, QStringLiteral("NL"), {}))
        return;
    m_hasTitle = engine->checkTitle(this);
}

QKeySequence ZEM_A_C_NSMenuItem::keySequenceFor(const QString &key)
{
    if (key.size() == 1) {
        const char16_t c = key.at(0).unicode();
        if (c >= u'A' && c <= u'Z')
            return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_A + (c - u'A')));
        if (c >= u'a' && c <= u'z')
            return QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_A + (c - u'a')));
        return QKeySequence(QKeyCombination(Qt::CTRL, Qt::Key(c)));
    }
    return QKeySequence::fromString(key, QKeySequence::PortableText);
}

void ZEM_A_C_NSMenuItem::setKeyEquivalent(const QString &key)
{
    m_keyEquivalent = key;
    setShortcut(key.isEmpty() ? QKeySequence() : keySequenceFor(key));
}

void ZEM_A_C_NSMenuItem::awakeFromNib()
{
    checkTitle();
    ZEM_F_E_Language::shared()->setObjectNotifications(this);
    // Timed with the control as context, not the engine: a control gone within the second
    // must not reach the engine as a dangling pointer.
    QTimer::singleShot(dictionaryDelayMs, this, [this] { ZEM_F_E_Language::shared()->addToLangDictionary(this); });
}

void ZEM_A_C_NSMenuItem::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_F_E_Language *engine = ZEM_F_E_Language::shared();
    if (ZEM_A_C_NSMenu::isResetNotification(notification)) {
        engine->resetTitleAndToolTip(this, {});
        return;
    }
    if (m_hasTitle)
        setTitle(engine->l(m_titleKey, QStringLiteral("NL"), notification));
}

bool ZEM_A_C_NSMenuItem::performAction()
{
    if (m_selector.isEmpty() || !m_target)
        return false;
    const QByteArray selector = m_selector.toUtf8();
    if (!platform::respondsTo(m_target, selector))
        return false;
    bool ok = false;
    platform::perform(m_target, selector, {QVariant::fromValue<QObject *>(this)}, &ok);
    return ok;
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSMenuItem)
