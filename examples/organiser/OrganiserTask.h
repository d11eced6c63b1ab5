#pragma once

#include <records/ZEM_A_C_ManagedObject.h>

/**
 * The organiser's own record class: a task with a title, notes, a due date and a done
 * flag. Its notes and their one-line form depend on each other, so a table showing either
 * hears about a change of the other.
 */
class OrganiserTask : public ZEM_A_C_ManagedObject
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit OrganiserTask(QObject *parent = nullptr);

    static void initialize();

    /** The notes' first line, as a table shows it. */
    Q_INVOKABLE QString notesString();
    /** The due date as "Today", "Tomorrow", "Yesterday" or a short date. */
    Q_INVOKABLE QString dueDateString();
    /** A check mark when done. */
    Q_INVOKABLE QString doneMark();

    QString saveNotesName() const override { return QStringLiteral("Organiser Task"); }
};
