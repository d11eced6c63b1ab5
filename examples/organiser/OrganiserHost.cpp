#include "OrganiserHost.h"

#include <foundation/ZEM_F_E_Language.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

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
    // Tables with alternating row colours and lines between rows.
    setDefault(QStringLiteral("EnableTableRowColoring"), QStringLiteral("true"));
    setDefault(QStringLiteral("TableHorizontalLines"), QStringLiteral("true"));
}

QString OrganiserHost::addressBookFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("AddressBook"));
}

QStringList OrganiserHost::installSampleData() const
{
    QStringList copied = copyMissing(QStringLiteral(":/organiser/Languages"), ZEM_F_E_Language::languagesFolder());
    // The sample address book goes in whole on the first run only: after that the folder
    // is the user's, and a card they deleted stays deleted.
    if (!QFileInfo::exists(addressBookFolder()))
        copied += copyMissing(QStringLiteral(":/organiser/AddressBook"), addressBookFolder());
    if (!QFileInfo::exists(calendarsFolder())) {
        for (const QString &calendar : QDir(QStringLiteral(":/organiser/Calendars")).entryList(QDir::Dirs))
            copied += copyMissing(QStringLiteral(":/organiser/Calendars/") + calendar,
                                  QDir(calendarsFolder()).filePath(calendar));
    }
    return copied;
}

QString OrganiserHost::calendarsFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("Calendars"));
}

QStringList OrganiserHost::copyMissing(const QString &resources, const QString &target)
{
    QStringList copied;
    QDirIterator it(resources, QDir::Files);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString destination = QDir(target).filePath(QFileInfo(source).fileName());
        if (QFileInfo::exists(destination))
            continue;
        QDir().mkpath(target);
        if (QFile::copy(source, destination)) {
            // Resource files copy read-only; the user may edit their copies.
            QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner);
            copied << destination;
        }
    }
    return copied;
}
