// The table classes an interface file may name.
#include "platform/InterfaceLoader.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_ArrayControllerColoredColumn.h"
#include "tables/ZEM_A_C_TableScrollView.h"
#include "tables/ZEM_A_C_TableView.h"
#include "tables/ZEM_A_C_TableViewDisplay.h"
#include "tables/ZEM_A_C_TextViewNoBackground.h"

ZEM_INTERFACE_CLASS(ZEM_A_C_ArrayController)
ZEM_INTERFACE_CLASS(ZEM_A_C_TableView)
ZEM_INTERFACE_CLASS(ZEM_A_C_TableViewDisplay)
ZEM_INTERFACE_CLASS(ZEM_A_C_ArrayControllerColoredColumn)
ZEM_INTERFACE_CLASS(ZEM_A_C_TableScrollView)
ZEM_INTERFACE_CLASS(ZEM_A_C_TextViewNoBackground)
