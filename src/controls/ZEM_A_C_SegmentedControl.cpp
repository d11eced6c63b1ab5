#include "ZEM_A_C_SegmentedControl.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QToolButton>

namespace {

template <typename List, typename Set>
void fillInOrder(ZEM_A_C_NSSegmentedControl *control, const List &values, Set set)
{
    for (int i = 0; i < qMin(int(values.size()), control->segmentCount()); ++i)
        set(i, values.at(i));
}

} // namespace

ZEM_A_C_SegmentedControl::ZEM_A_C_SegmentedControl(int segmentCount, QWidget *parent)
    : ZEM_A_C_NSSegmentedControl(0, parent)
{
    // Set before the segments exist: each new segment takes the control's policy.
    setFocusPolicy(Qt::NoFocus);
    setSegmentCount(segmentCount);
}

ZEM_A_C_SegmentedControl::~ZEM_A_C_SegmentedControl() = default;

void ZEM_A_C_SegmentedControl::setCellImages(const QList<QImage> &images)
{
    fillInOrder(this, images, [this](int i, const QImage &image) { setImage(i, image); });
}

void ZEM_A_C_SegmentedControl::setCellLabels(const QStringList &labels)
{
    fillInOrder(this, labels, [this](int i, const QString &label) { setLabel(i, label); });
}

void ZEM_A_C_SegmentedControl::setCellMenus(const QList<QMenu *> &menus)
{
    fillInOrder(this, menus, [this](int i, QMenu *menu) { setMenu(i, menu); });
}

void ZEM_A_C_SegmentedControl::setCellToolTips(const QStringList &toolTips)
{
    fillInOrder(this, toolTips, [this](int i, const QString &tip) { setSegmentToolTip(i, tip); });
}

QImage ZEM_A_C_SegmentedControl::cellImageNamed(const QString &name)
{
    const QImage image = ZEM_F_C_StoreGroup::shared()->imageForKey(name);
    // The store's image is shared; scaling makes the copy the segment owns.
    return image.isNull() ? QImage() : image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void ZEM_A_C_SegmentedControl::setCellImageNames(const QStringList &names)
{
    fillInOrder(this, names, [this](int i, const QString &name) { setImage(i, cellImageNamed(name)); });
}

void ZEM_A_C_SegmentedControl::setCellToolTipsFromLabels()
{
    const QString format = ZEM_A_C_Localized::engine()->stringForKey(QStringLiteral("M:TabViewSegment"));
    for (int i = 0; i < segmentCount(); ++i)
        setSegmentToolTip(i, QString(format).replace(QStringLiteral("%@"), label(i)));
}

void ZEM_A_C_SegmentedControl::clearCellLabels()
{
    for (int i = 0; i < segmentCount(); i += 2)
        setLabel(i, QString());
}

ZEM_INTERFACE_CLASS(ZEM_A_C_SegmentedControl)
