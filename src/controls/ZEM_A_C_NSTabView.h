#pragma once

#include "ZEM_A_C_ToolTipOnly.h"
#include "zem_appkit_export.h"

#include <QTabWidget>

/**
 * A tab view whose tool tip follows the active language while it shows its tabs.
 *
 * The tab view type: 0 tabs on top, 1 on the left, 2 at the bottom, 3 on the right; 4, 5
 * and 6 show no tabs (with bezel, line or no border). A tab view without tabs keeps its tool
 * tip as it is.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSTabView : public ZEM_A_C_ToolTipOnly<QTabWidget>
{
    Q_OBJECT
    ZEM_A_C_TOOLTIP_ONLY_PROPERTIES
    Q_PROPERTY(int tabViewType READ tabViewType WRITE setTabViewType)
public:
    enum TabViewType { TopTabs = 0, LeftTabs, BottomTabs, RightTabs, NoTabsBezel, NoTabsLine, NoTabsNoBorder };

    explicit ZEM_A_C_NSTabView(QWidget *parent = nullptr);
    ~ZEM_A_C_NSTabView() override;

    int tabViewType() const { return m_type; }
    /** Values outside 0 to 6 are refused with a warning; the type stays. */
    void setTabViewType(int type);

    /** Hands the tool tip (only with tabs shown) to the language engine and registers. */
    Q_INVOKABLE void awakeFromNib() { awakeToolTipOnly(QString(), m_type < NoTabsBezel); }
    /** Shows the tool tip in the language \a notification announces; the number 0 restores it. */
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &notification) { languageCallToolTipOnly(notification); }

private:
    int m_type = TopTabs;
};
