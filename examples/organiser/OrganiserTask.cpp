#include "OrganiserTask.h"

#include <records/ZEM_A_E_ManagedObject.h>

ZEM_RECORD_CLASS(OrganiserTask)

OrganiserTask::OrganiserTask(QObject *parent) : ZEM_A_C_ManagedObject(parent) {}

void OrganiserTask::initialize()
{
    ZEM_A_C_ManagedObject::initialize();
    setKeysBoth<OrganiserTask>(QStringLiteral("notes"), QStringLiteral("notesString"));
    setKeysBothArray<OrganiserTask>(QStringLiteral("dueDate"), {QStringLiteral("dueDateString")});
}

QString OrganiserTask::notesString()
{
    return objectForKeySupport(QStringLiteral("notes")).toString().section(u'\n', 0, 0);
}

QString OrganiserTask::dueDateString()
{
    return convertedDateString(objectForKeySupport(QStringLiteral("dueDate")).toDateTime());
}

QString OrganiserTask::doneMark()
{
    return ZEM_A_E_ManagedObject::shared()->getCheckMark(objectForKeySupport(QStringLiteral("done")));
}
