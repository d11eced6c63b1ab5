#pragma once

#include "ZEM_F_B_Securitry.h"

#include <QString>

/** What the running system is. */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_OSVersion : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_OSVersion *shared();

    /**
     * Whether the running system is the one release whose calendar store admits the
     * "Exchange" calendar type. This system never is: always false.
     */
    Q_INVOKABLE bool isOSSnowLeopard() const;
    /** The system's name as shown to people ("Debian GNU/Linux 12 (bookworm)"). */
    Q_INVOKABLE QString osName() const;
    /** The system's version ("12"), or "unknown". */
    Q_INVOKABLE QString osVersion() const;

    explicit ZEM_F_E_OSVersion(QObject *parent = nullptr);
    ~ZEM_F_E_OSVersion() override;
};
