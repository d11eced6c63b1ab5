// The table classes an interface file may name.
#include "platform/InterfaceLoader.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_TableView.h"
#include "tables/ZEM_A_C_TableViewDisplay.h"

ZEM_INTERFACE_CLASS(ZEM_A_C_ArrayController)
ZEM_INTERFACE_CLASS(ZEM_A_C_TableView)
ZEM_INTERFACE_CLASS(ZEM_A_C_TableViewDisplay)
