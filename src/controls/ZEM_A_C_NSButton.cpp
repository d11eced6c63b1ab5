#include "ZEM_A_C_NSButton.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"
#include "platform/ImagePosition.h"

#include <QStyleOptionButton>
#include <QStylePainter>

ZEM_A_C_NSButton::ZEM_A_C_NSButton(QWidget *parent) : QPushButton(parent) {}

ZEM_A_C_NSButton::ZEM_A_C_NSButton(const QString &title, QWidget *parent)
    : QPushButton(title, parent)
{
}

ZEM_A_C_NSButton::~ZEM_A_C_NSButton() = default;

bool ZEM_A_C_NSButton::isImageOnly() const
{
    return m_imagePosition == static_cast<int>(platform::ImagePosition::ImageOnly);
}

void ZEM_A_C_NSButton::setImagePosition(int position)
{
    // Stored as a declared property, so platform::setImagePosition() and the icon engine
    // land here too.
    if (!platform::isImagePosition(position))
        return;
    m_imagePosition = position;
    if (isImageOnly()) {
        m_lang.titleKey.clear();
        m_lang.hasTitle = false;
    }
    updateGeometry();
    update();
}

namespace {
QStyleOptionButton imageOnlyOption(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.features = button->isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
    if (button->isFlat())
        option.features |= QStyleOptionButton::Flat;
    if (button->isDown())
        option.state |= QStyle::State_Sunken;
    if (button->isChecked())
        option.state |= QStyle::State_On;
    else if (!button->isDown())
        option.state |= QStyle::State_Raised;
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    return option;
}
} // namespace

QSize ZEM_A_C_NSButton::sizeHint() const
{
    if (!isImageOnly())
        return QPushButton::sizeHint();
    const QStyleOptionButton option = imageOnlyOption(this);
    const QSize content = option.icon.isNull() ? QSize(0, fontMetrics().height()) : option.iconSize;
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, content, this);
}

void ZEM_A_C_NSButton::paintEvent(QPaintEvent *event)
{
    if (!isImageOnly()) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_PushButton, imageOnlyOption(this));
}

void ZEM_A_C_NSButton::checkTitleSupport()
{
    // An image-only button shows no title, so it is not given a key for one.
    if (isImageOnly()) {
        m_lang.titleKey.clear();
        m_lang.hasTitle = false;
        return;
    }
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "title", &ZEM_F_E_Language::checkTitleButton);
}

void ZEM_A_C_NSButton::checkToolTipSupport()
{
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, title(), nounKey());
}

void ZEM_A_C_NSButton::awakeFromNib()
{
    checkTitleSupport();
    checkToolTipSupport();
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSButton::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(this, m_lang, "title", !isImageOnly(), nounKey(),
                                                nounKey(), notification);
}

void ZEM_A_C_NSButton::setNewTitle(const QString &title)
{
    setTitle(title);
    checkTitleSupport();
}

void ZEM_A_C_NSButton::setNewToolTip(const QString &toolTip)
{
    ZEM_A_C_LocalizedSteps::setToolTipUnlessTitle(this, toolTip, title());
    checkToolTipSupport();
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSButton)
