#include "ZEM_A_C_NSSegmentedControl.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

namespace {
const QString kNoun = QStringLiteral("NL:Button");
}

ZEM_A_C_NSSegmentedControl::ZEM_A_C_NSSegmentedControl(int segmentCount, QWidget *parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)), m_group(new QButtonGroup(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_group->setExclusive(true);
    setSegmentCount(segmentCount);
}

ZEM_A_C_NSSegmentedControl::~ZEM_A_C_NSSegmentedControl() = default;

void ZEM_A_C_NSSegmentedControl::setSegmentCount(int count)
{
    count = qMax(0, count);
    while (m_buttons.size() > count) {
        delete m_buttons.takeLast();
        m_images.removeLast();
    }
    while (m_buttons.size() < count) {
        auto *button = new QToolButton(this);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setPopupMode(QToolButton::DelayedPopup);
        button->setFocusPolicy(focusPolicy());
        m_group->addButton(button, int(m_buttons.size()));
        m_layout->addWidget(button);
        m_buttons.append(button);
        m_images.append(QImage());
    }
}

QToolButton *ZEM_A_C_NSSegmentedControl::segmentButton(int segment) const
{
    return segment >= 0 && segment < m_buttons.size() ? m_buttons.at(segment) : nullptr;
}

QString ZEM_A_C_NSSegmentedControl::label(int segment) const
{
    const QToolButton *button = segmentButton(segment);
    return button ? button->text() : QString();
}

void ZEM_A_C_NSSegmentedControl::setLabel(int segment, const QString &label)
{
    if (QToolButton *button = segmentButton(segment))
        button->setText(label);
}

QImage ZEM_A_C_NSSegmentedControl::image(int segment) const
{
    return segmentButton(segment) ? m_images.at(segment) : QImage();
}

void ZEM_A_C_NSSegmentedControl::setImage(int segment, const QImage &image)
{
    QToolButton *button = segmentButton(segment);
    if (!button)
        return;
    m_images[segment] = image;
    button->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    if (!image.isNull())
        button->setIconSize(image.size());
}

QMenu *ZEM_A_C_NSSegmentedControl::menu(int segment) const
{
    const QToolButton *button = segmentButton(segment);
    return button ? button->menu() : nullptr;
}

void ZEM_A_C_NSSegmentedControl::setMenu(int segment, QMenu *menu)
{
    if (QToolButton *button = segmentButton(segment))
        button->setMenu(menu);
}

QString ZEM_A_C_NSSegmentedControl::segmentToolTip(int segment) const
{
    const QToolButton *button = segmentButton(segment);
    return button ? button->toolTip() : QString();
}

void ZEM_A_C_NSSegmentedControl::setSegmentToolTip(int segment, const QString &toolTip)
{
    if (QToolButton *button = segmentButton(segment))
        button->setToolTip(toolTip);
}

int ZEM_A_C_NSSegmentedControl::selectedSegment() const
{
    return m_group->checkedId();
}

void ZEM_A_C_NSSegmentedControl::setSelectedSegment(int segment)
{
    if (QToolButton *button = segmentButton(segment)) {
        button->setChecked(true);
    } else if (QAbstractButton *checked = m_group->checkedButton()) {
        // An exclusive group keeps one button checked unless told to let go.
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
}

QStringList ZEM_A_C_NSSegmentedControl::titles() const
{
    QStringList result;
    for (int i = 0; i < segmentCount(); ++i)
        result.append(label(i));
    return result;
}

void ZEM_A_C_NSSegmentedControl::setTitles(const QStringList &titles)
{
    // An interface file gives a control its segments this way, so titles past the end add some.
    if (titles.size() > segmentCount())
        setSegmentCount(int(titles.size()));
    for (int i = 0; i < int(titles.size()); ++i)
        setLabel(i, titles.at(i));
}

QStringList ZEM_A_C_NSSegmentedControl::toolTips() const
{
    QStringList result;
    for (int i = 0; i < segmentCount(); ++i)
        result.append(segmentToolTip(i));
    return result;
}

void ZEM_A_C_NSSegmentedControl::setToolTips(const QStringList &toolTips)
{
    for (int i = 0; i < qMin(int(toolTips.size()), segmentCount()); ++i)
        setSegmentToolTip(i, toolTips.at(i));
}

namespace {
bool holds(const QLayout *layout, const QWidget *widget)
{
    for (int i = 0; layout && i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == widget || holds(item->layout(), widget))
            return true;
    }
    return false;
}
} // namespace

void ZEM_A_C_NSSegmentedControl::setSegmentPosition()
{
    // A layout sizes and places the control itself: resizing it here would only be undone
    // by the layout's next pass, and would differ from it until then.
    if (parentWidget() && holds(parentWidget()->layout(), this)) {
        updateGeometry();
        return;
    }
    adjustSize();
    if (m_resizeView)
        move(m_resizeView->width() / 2 - width() / 2, y());
}

void ZEM_A_C_NSSegmentedControl::awakeFromNib()
{
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    m_lang.hasTitles = engine->checkTitlesSegment(this);
    m_lang.hasToolTip = engine->checkToolTip(this, QString());
    m_lang.hasToolTips = engine->checkToolTipsSegment(this);
    m_lang.hasMadeUpToolTips = engine->checkMadeUpToolTipsSegment(this, ZEM_A_C_Localized::noun(kNoun));
    m_lang.registerForLanguage(true);
}

void ZEM_A_C_NSSegmentedControl::languageCall(const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        const QString noun = ZEM_A_C_Localized::noun(kNoun);
        ZEM_A_C_Localized::engine()->resetTitleAndToolTip(this, noun);
        ZEM_A_C_Localized::engine()->resetTitlesAndToolTipsSegment(this, noun);
        setSegmentPosition();
        return;
    }
    const QString label = QStringLiteral("NL");
    if (m_lang.hasToolTip)
        setToolTip(ZEM_A_C_Localized::text(m_lang.toolTipKey, QStringLiteral("NT"), notification));
    const QString noun = ZEM_A_C_Localized::text(kNoun, label, notification);
    // Segments keep one key each, empty where a segment had no text.
    const auto keyAt = [](const QStringList &keys, int i) { return i < keys.size() ? keys.at(i) : QString(); };
    for (int i = 0; i < segmentCount(); ++i) {
        const QString titleKey = keyAt(m_lang.titleKeys, i);
        if (!this->label(i).isEmpty() && !titleKey.isEmpty())
            setLabel(i, ZEM_A_C_Localized::text(titleKey, label, notification));
        if (segmentToolTip(i).isEmpty())
            continue;
        const QString tipKey = keyAt(m_lang.toolTipKeys, i);
        if (m_lang.hasToolTips && !tipKey.isEmpty())
            setSegmentToolTip(i, ZEM_A_C_Localized::text(tipKey, label, notification));
        else if (m_lang.hasMadeUpToolTips && !titleKey.isEmpty())
            setSegmentToolTip(i, QStringLiteral("%1 %2").arg(this->label(i), noun));
    }
    setSegmentPosition();
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSSegmentedControl)
