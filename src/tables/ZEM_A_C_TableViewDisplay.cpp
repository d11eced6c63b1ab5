#include "ZEM_A_C_TableViewDisplay.h"

#include "controls/ZEM_A_E_MenuSupport.h"
#include "foundation/ZEM_F_E_DebugMachine.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/Invoke.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "tables/ZEM_A_C_ArrayController.h"

#include <QItemSelectionModel>

using namespace Qt::StringLiterals;

ZEM_A_C_TableViewDisplay::ZEM_A_C_TableViewDisplay(QWidget *parent) : ZEM_A_C_TableView(parent) {}

ZEM_A_C_TableViewDisplay::~ZEM_A_C_TableViewDisplay()
{
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

bool ZEM_A_C_TableViewDisplay::isDevelopmentMachine()
{
    return ZEM_F_E_DebugMachine::shared()->checkIsDebugMachine();
}

void ZEM_A_C_TableViewDisplay::awakeFromNib()
{
    ZEM_A_C_TableView::awakeFromNib();
    const bool development = isDevelopmentMachine();
    setTableCanSort(development);
    setTableCanReorder(development);
    setTableChangeHeaderSort(development);
    setTableCanDelete(development);
    setExportCSV(development);
    if (selectionModel())
        selectionModel()->clearSelection();
    if (arrayController())
        arrayController()->setSelectionIndexes({});
    // The base start-up removed every observation of this table and registered its own.
    ZEM_F_E_Notifications::shared()->addObserver(this, "resetMenu", u"ResetMenu"_s);
    platform::performAfterDelay(this, "resetMenu", {}, 0);
}

void ZEM_A_C_TableViewDisplay::resetMenu()
{
    if (!isDevelopmentMachine() || !hasMenu()) {
        resetMenuTableView({});
        return;
    }
    const auto *menus = ZEM_A_E_MenuSupport::shared();
    resetMenuTableView({menus->setUpContextMenuArrayWithTag({}, {}, u"NL:Add New Record"_s, u"newAction:"_s, 1),
                        menus->setUpContextMenuArrayWithTag({}, {}, u"NL:Insert New Record"_s, u"insertAction:"_s, 2),
                        menus->setUpContextMenuArrayWithTag({}, {}, u"NL:Delete Records"_s, u"deleteAction:"_s, 3),
                        menus->setUpContextMenuArrayWithTag({}, {}, u"NL:Save Changes"_s, u"saveChanges:"_s, 4),
                        menus->setUpContextMenuArrayWithTag({}, {}, u"NL:Fetch Records"_s, u"fetchRecords:"_s, 4)});
}

void ZEM_A_C_TableViewDisplay::newAction(QObject *)
{
    if (isDevelopmentMachine() && arrayController())
        arrayController()->add(this);
}

void ZEM_A_C_TableViewDisplay::insertAction(QObject *)
{
    if (isDevelopmentMachine() && arrayController())
        arrayController()->insert(this);
}

void ZEM_A_C_TableViewDisplay::deleteAction(QObject *)
{
    if (isDevelopmentMachine() && arrayController())
        arrayController()->remove(this);
}

void ZEM_A_C_TableViewDisplay::saveChanges(QObject *)
{
    if (isDevelopmentMachine() && managedObject())
        managedObject()->saveAction(nullptr);
}

void ZEM_A_C_TableViewDisplay::fetchRecords(QObject *)
{
    if (isDevelopmentMachine() && arrayController())
        arrayController()->fetch(this);
}
