#include "ZEM_A_C_NSTabViewItem.h"

#include "platform/InterfaceLoader.h"
#include "ZEM_A_C_LocalizedSteps.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QEvent>
#include <QTabWidget>
#include <QTimer>

ZEM_A_C_NSTabViewItem::ZEM_A_C_NSTabViewItem(QWidget *parent) : QWidget(parent) {}

ZEM_A_C_NSTabViewItem::ZEM_A_C_NSTabViewItem(const QString &label, QWidget *parent)
    : QWidget(parent), m_label(label)
{
}

ZEM_A_C_NSTabViewItem::~ZEM_A_C_NSTabViewItem() = default;

QTabWidget *ZEM_A_C_NSTabViewItem::tabWidget() const
{
    // A page's parent is the tab widget's inner stack; the tab widget is the stack's parent.
    QWidget *stack = parentWidget();
    auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(const_cast<ZEM_A_C_NSTabViewItem *>(this)) >= 0 ? tabs : nullptr;
}

QString ZEM_A_C_NSTabViewItem::label() const
{
    QTabWidget *tabs = tabWidget();
    return tabs ? tabs->tabText(tabs->indexOf(const_cast<ZEM_A_C_NSTabViewItem *>(this))) : m_label;
}

void ZEM_A_C_NSTabViewItem::setLabel(const QString &label)
{
    m_label = label;
    if (QTabWidget *tabs = tabWidget())
        tabs->setTabText(tabs->indexOf(this), label);
}

bool ZEM_A_C_NSTabViewItem::event(QEvent *event)
{
    // The tab is added after the page has moved into the tab widget's stack, so the label
    // is handed over once the adding is done.
    if (event->type() == QEvent::ParentChange && !m_label.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            QTabWidget *tabs = tabWidget();
            if (tabs && tabs->tabText(tabs->indexOf(this)).isEmpty())
                tabs->setTabText(tabs->indexOf(this), m_label);
        });
    }
    return QWidget::event(event);
}

void ZEM_A_C_NSTabViewItem::awakeFromNib()
{
    ZEM_A_C_LocalizedSteps::checkTitle(this, m_lang, "label", &ZEM_F_E_Language::checkLabel);
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSTabViewItem::languageCall(const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        ZEM_A_C_Localized::engine()->resetLabel(this);
        return;
    }
    ZEM_A_C_LocalizedSteps::applyLanguage(this, m_lang, "label", true, QString(), notification);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSTabViewItem)
