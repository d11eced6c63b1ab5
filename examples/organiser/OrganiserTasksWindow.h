#pragma once

#include <QString>
#include <QTextStream>

class ZEM_A_C_ManagedObjectContoller;

/**
 * The organiser's tasks window, built whole from its interface file: a search field, the
 * table of tasks, add and delete buttons and the record counter, wired to an array
 * controller over \a store. Lists the rows as the table shows them; with \a pngPath, saves
 * a picture of the window there. False, with the reason on \a out, when it cannot be built.
 */
bool showTasksWindow(QTextStream &out, ZEM_A_C_ManagedObjectContoller &store, const QString &pngPath);
