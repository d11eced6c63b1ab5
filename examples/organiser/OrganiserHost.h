#pragma once

#include <foundation/ZEM_F_HostDelegate.h>

/**
 * The organiser's host delegate: its names and its settings, kept in the per-user
 * configuration folder, with the date colours the kit asks for set on first run.
 */
class OrganiserHost : public ZEM_F_SettingsHostDelegate
{
public:
    OrganiserHost();

    bool useAppLanguages() const override { return true; }

    /**
     * Copies the embedded sample data (language files, and on the first run the sample
     * address book) into the per-user data folder, leaving alone whatever the user
     * already has. Returns the files copied.
     */
    QStringList installSampleData() const;

    /** The organiser's address book: a folder of vCard files in the per-user data folder. */
    static QString addressBookFolder();
    /** Its calendars: a folder of calendar folders of iCalendar files. */
    static QString calendarsFolder();

private:
    static QStringList copyMissing(const QString &resources, const QString &target);
};
