#pragma once

#include "tables/ZEM_A_C_TableView.h"

/**
 * A table for development builds: on a development machine (ZEM_DEBUG_MACHINE=1) it can
 * sort, reorder, delete and export, and its context menu adds, inserts, deletes, saves and
 * fetches records. On any other machine it has no menu, none of those abilities, and its
 * record commands do nothing.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableViewDisplay : public ZEM_A_C_TableView
{
    Q_OBJECT
public:
    explicit ZEM_A_C_TableViewDisplay(QWidget *parent = nullptr);
    ~ZEM_A_C_TableViewDisplay() override;

    /** The table's start-up, then the development abilities; the menu follows on the next pass. */
    Q_INVOKABLE void awakeFromNib();
    /** Builds the record menu (development machine with hasMenu only). */
    Q_INVOKABLE void resetMenu();

    Q_INVOKABLE void newAction(QObject *sender = nullptr);
    Q_INVOKABLE void insertAction(QObject *sender = nullptr);
    Q_INVOKABLE void deleteAction(QObject *sender = nullptr);
    Q_INVOKABLE void saveChanges(QObject *sender = nullptr);
    Q_INVOKABLE void fetchRecords(QObject *sender = nullptr);

private:
    static bool isDevelopmentMachine();
};
