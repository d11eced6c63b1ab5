#pragma once

#include "ZEM_F_B_Securitry.h"

#include <QList>
#include <QString>

/** Running processes by name, read from /proc. */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_GetPID : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_GetPID *shared();

    /** The lowest id of the processes named \a name (see processIds()), or 0 when none. */
    Q_INVOKABLE int getPIDForProcessName(const QString &name) const;
    /**
     * The ids, ascending, of the running processes whose name is \a name: the kernel's
     * process name (/proc/<pid>/comm, cut to 15 bytes, so a longer \a name matches only
     * through the next test), or the file name of the program the process was started as
     * (the first word of /proc/<pid>/cmdline). Entries that cannot be read are skipped.
     */
    QList<int> processIds(const QString &name) const;

    explicit ZEM_F_E_GetPID(QObject *parent = nullptr);
    ~ZEM_F_E_GetPID() override;
};
