#include "ZEM_F_E_OSVersion.h"

#include <QSysInfo>

ZEM_F_E_OSVersion::ZEM_F_E_OSVersion(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_OSVersion::~ZEM_F_E_OSVersion() = default;

ZEM_F_E_OSVersion *ZEM_F_E_OSVersion::shared()
{
    static ZEM_F_E_OSVersion *const engine = new ZEM_F_E_OSVersion;
    return engine;
}

bool ZEM_F_E_OSVersion::isOSSnowLeopard() const { return false; }

QString ZEM_F_E_OSVersion::osName() const { return QSysInfo::prettyProductName(); }

QString ZEM_F_E_OSVersion::osVersion() const { return QSysInfo::productVersion(); }
