#include "ZEM_A_C_NSTabView.h"

#include "platform/InterfaceLoader.h"
#include <QLoggingCategory>
#include <QTabBar>

ZEM_A_C_NSTabView::ZEM_A_C_NSTabView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QTabWidget>(parent) {}

ZEM_A_C_NSTabView::~ZEM_A_C_NSTabView() = default;

void ZEM_A_C_NSTabView::setTabViewType(int type)
{
    if (type < TopTabs || type > NoTabsNoBorder) {
        qWarning("ZEM_A_C_NSTabView: tab view type %d is not one of 0 to 6", type);
        return;
    }
    m_type = type;
    static const QTabWidget::TabPosition positions[] = {QTabWidget::North, QTabWidget::West, QTabWidget::South,
                                                        QTabWidget::East};
    if (type < NoTabsBezel)
        setTabPosition(positions[type]);
    tabBar()->setVisible(type < NoTabsBezel);
    setDocumentMode(type == NoTabsNoBorder);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSTabView)
