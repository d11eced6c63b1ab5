#include "ZEM_A_C_NSPopUpButton.h"

#include "ZEM_A_C_LocalizedSteps.h"
#include "ZEM_A_C_NSMenu.h"
#include "ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_E_Language.h"
#include "platform/InterfaceLoader.h"

#include <QAbstractListModel>
#include <QActionEvent>
#include <QLayout>
#include <QSignalBlocker>

#include <functional>

namespace {

const char *const awokenProperty = "_zem_popUpAwoken";

// The pop-up's rows: the actions of its menu, kept in step through the menu's action events
// (sent at once, whoever adds, removes or changes an action), so the menu stays the one
// place the items live.
class MenuItemsModel : public QAbstractListModel
{
public:
    MenuItemsModel(QMenu *menu, std::function<void(QAction *)> titled, QObject *parent)
        : QAbstractListModel(parent), m_menu(menu), m_actions(menu->actions()), m_titled(std::move(titled))
    {
        menu->installEventFilter(this);
    }

    QAction *actionAt(int row) const { return m_actions.value(row); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_actions.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QAction *action = index.column() == 0 ? actionAt(index.row()) : nullptr;
        if (!action)
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return action->text();
        case Qt::DecorationRole:
            return action->icon().isNull() ? QVariant() : QVariant(action->icon());
        case Qt::CheckStateRole:
            return action->isCheckable() ? QVariant(action->isChecked() ? Qt::Checked : Qt::Unchecked)
                                         : QVariant();
        case Qt::UserRole:
            return action->data();
        case Qt::AccessibleDescriptionRole:
            // How QComboBox marks and draws a separator.
            return action->isSeparator() ? QVariant(QStringLiteral("separator")) : QVariant();
        default:
            return {};
        }
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        QAction *action = index.column() == 0 ? actionAt(index.row()) : nullptr;
        if (!action)
            return false;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            action->setText(value.toString());
            m_titled(action);
            return true;
        case Qt::DecorationRole:
            action->setIcon(value.canConvert<QIcon>() ? value.value<QIcon>() : QIcon());
            return true;
        case Qt::CheckStateRole: {
            const bool on = value.toInt() == Qt::Checked;
            if (auto *item = qobject_cast<ZEM_A_C_NSMenuItem *>(action)) {
                item->setState(on ? ZEM_A_C_NSMenuItem::OnState : ZEM_A_C_NSMenuItem::OffState);
            } else {
                action->setCheckable(true);
                action->setChecked(on);
            }
            return true;
        }
        case Qt::UserRole:
            action->setData(value);
            return true;
        case Qt::AccessibleDescriptionRole:
            action->setSeparator(value.toString() == u"separator");
            return true;
        default:
            return false;
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        const QAction *action = index.column() == 0 ? actionAt(index.row()) : nullptr;
        if (!action || action->isSeparator())
            return Qt::NoItemFlags;
        return action->isEnabled() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
    }

    bool insertRows(int row, int count, const QModelIndex &parent = {}) override
    {
        if (parent.isValid() || row < 0 || row > m_actions.size() || count < 1)
            return false;
        QAction *before = actionAt(row); // null at the end: appends
        for (int i = 0; i < count; ++i)
            m_menu->insertAction(before, new ZEM_A_C_NSMenuItem(QString(), QString(), m_menu));
        return true;
    }

    bool removeRows(int row, int count, const QModelIndex &parent = {}) override
    {
        if (parent.isValid() || row < 0 || count < 1 || row + count > m_actions.size())
            return false;
        const QList<QAction *> doomed = m_actions.mid(row, count);
        for (QAction *action : doomed) {
            m_menu->removeAction(action);
            if (action->parent() == m_menu)
                delete action;
        }
        return true;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_menu)
            return false;
        switch (event->type()) {
        case QEvent::ActionAdded: {
            QAction *action = static_cast<QActionEvent *>(event)->action();
            const int row = int(m_menu->actions().indexOf(action));
            beginInsertRows({}, row, row);
            m_actions.insert(row, action);
            endInsertRows();
            if (!action->text().isEmpty())
                m_titled(action);
            break;
        }
        case QEvent::ActionRemoved: {
            const int row = int(m_actions.indexOf(static_cast<QActionEvent *>(event)->action()));
            if (row >= 0) {
                beginRemoveRows({}, row, row);
                m_actions.removeAt(row);
                endRemoveRows();
            }
            break;
        }
        case QEvent::ActionChanged: {
            const int row = int(m_actions.indexOf(static_cast<QActionEvent *>(event)->action()));
            if (row >= 0)
                emit dataChanged(index(row), index(row));
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    QMenu *m_menu;
    QList<QAction *> m_actions;
    std::function<void(QAction *)> m_titled;
};

bool inLayout(const QLayout *layout, const QWidget *widget)
{
    for (int i = 0; layout && i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == widget || inLayout(item->layout(), widget))
            return true;
    }
    return false;
}

} // namespace

ZEM_A_C_NSPopUpButton::ZEM_A_C_NSPopUpButton(QWidget *parent)
    : QComboBox(parent), m_menu(new ZEM_A_C_NSMenu(this))
{
    auto *items = new MenuItemsModel(m_menu, [this](QAction *item) { awakeItem(item); }, this);
    setModel(items);
    // Texts that change with the language change the size the pop-up asks for.
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(items, &QAbstractItemModel::dataChanged, this, [this] { growToFit(); });
}

ZEM_A_C_NSPopUpButton::~ZEM_A_C_NSPopUpButton()
{
    // The rows go with the items while both are whole, so no row outlives its item; nobody
    // is told of the choice that goes with them.
    const QSignalBlocker quiet(this);
    m_menu->clear();
}

ZEM_A_C_NSMenuItem *ZEM_A_C_NSPopUpButton::itemAtIndex(int index) const
{
    return qobject_cast<ZEM_A_C_NSMenuItem *>(static_cast<MenuItemsModel *>(model())->actionAt(index));
}

void ZEM_A_C_NSPopUpButton::setTitle(const QString &title)
{
    if (currentIndex() >= 0) {
        setItemText(currentIndex(), title);
    } else if (!title.isEmpty()) {
        addItem(title);
        setCurrentIndex(count() - 1);
    }
}

QString ZEM_A_C_NSPopUpButton::titleKey() const
{
    const ZEM_A_C_NSMenuItem *item = selectedItem();
    return item ? item->titleKey() : QString();
}

bool ZEM_A_C_NSPopUpButton::hasTitle() const
{
    const ZEM_A_C_NSMenuItem *item = selectedItem();
    return item && item->hasTitle();
}

void ZEM_A_C_NSPopUpButton::awakeItem(QAction *action)
{
    auto *item = qobject_cast<ZEM_A_C_NSMenuItem *>(action);
    if (!m_awake || !item || item->text().isEmpty() || item->property(awokenProperty).toBool())
        return;
    item->setProperty(awokenProperty, true);
    item->awakeFromNib();
}

void ZEM_A_C_NSPopUpButton::growToFit()
{
    if (parentWidget() && inLayout(parentWidget()->layout(), this))
        return; // the layout gives the room the size hint asks for
    if (width() < sizeHint().width())
        resize(sizeHint().width(), height());
}

void ZEM_A_C_NSPopUpButton::checkToolTipSupport()
{
    // The chosen item's title stands for the pop-up's in the tool tip checks.
    m_lang.hasTitle = hasTitle();
    m_lang.titleKey = titleKey();
    ZEM_A_C_LocalizedSteps::checkToolTipSupport(this, m_lang, title(), nounKey());
}

void ZEM_A_C_NSPopUpButton::awakeFromNib()
{
    m_awake = true;
    const QList<QAction *> items = m_menu->actions();
    for (QAction *item : items)
        awakeItem(item);
    checkToolTipSupport();
    m_lang.registerForLanguage();
}

void ZEM_A_C_NSPopUpButton::languageCall(const ZEM_F_Notification &notification)
{
    // The items change their own titles; the pop-up only has its tool tip to change.
    if (ZEM_A_C_Localized::isReset(notification)) {
        ZEM_A_C_Localized::engine()->resetTitleAndToolTip(this, QString());
        return;
    }
    const QString label = QStringLiteral("NL");
    if (m_lang.hasToolTip)
        setToolTip(ZEM_A_C_Localized::text(m_lang.toolTipKey, QStringLiteral("NT"), notification));
    const QString key = titleKey();
    if (m_lang.hasMadeUpToolTip && !key.isEmpty())
        setToolTip(QStringLiteral("%1 %2").arg(ZEM_A_C_Localized::text(key, label, notification),
                                               ZEM_A_C_Localized::text(nounKey(), label, notification)));
    growToFit();
}

void ZEM_A_C_NSPopUpButton::setNewTitle(const QString &title)
{
    if (ZEM_A_C_NSMenuItem *item = selectedItem())
        item->setNewTitle(title);
    else
        setTitle(title); // a new item, handed to the engine with the others once awake
}

void ZEM_A_C_NSPopUpButton::setNewToolTip(const QString &toolTip)
{
    ZEM_A_C_LocalizedSteps::setToolTipUnlessTitle(this, toolTip, title());
    checkToolTipSupport();
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSPopUpButton)
