#include "OrganiserHost.h"

#include <foundation/ZEM_F_E_Language.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

OrganiserHost::OrganiserHost()
    : ZEM_F_SettingsHostDelegate(QStringLiteral("Organiser"), QStringLiteral("Organiser"))
{
    QSettings *s = settings();
    const auto setDefault = [s](const QString &key, const QString &value) {
        if (!s->contains(key))
            s->setValue(key, value);
    };
    setDefault(QStringLiteral("DateTodayColor"), QStringLiteral("#1a7f37"));
    setDefault(QStringLiteral("DateTomorrowColor"), QStringLiteral("#0b5cad"));
    setDefault(QStringLiteral("DateYesterdayColor"), QStringLiteral("#b3261e"));
}

QStringList OrganiserHost::installSampleData() const
{
    QStringList copied;
    const QString target = ZEM_F_E_Language::languagesFolder();
    QDirIterator it(QStringLiteral(":/organiser/Languages"), QDir::Files);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString destination = QDir(target).filePath(QFileInfo(source).fileName());
        if (QFileInfo::exists(destination))
            continue;
        QDir().mkpath(target);
        if (QFile::copy(source, destination)) {
            // Resource files copy read-only; the user may edit their language files.
            QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner);
            copied << destination;
        }
    }
    return copied;
}
