#pragma once
// A throw-away address book folder that the shared address book reads, filled with
// hand-written cards.

#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/addressbook/AddressBook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace contacts {

class Fixture
{
public:
    Fixture() : m_host(QStringLiteral("Organiser"))
    {
        ZEM_F_Host::setDelegate(&m_host);
        platform::AddressBook::setDefaultFolder(m_dir.path());
        platform::AddressBook::resetSharedAddressBook();
    }
    ~Fixture()
    {
        platform::AddressBook::resetSharedAddressBook();
        ZEM_F_Host::setDelegate(nullptr);
    }

    QString folder() const { return m_dir.path(); }
    QString path(const QString &uid) const { return QDir(m_dir.path()).filePath(uid + u".vcf"_qs); }

    /** Writes a 3.0 card with \a uid and the content lines \a lines; its unique person id. */
    QString writeCard(const QString &uid, const QStringList &lines) const
    {
        QByteArray text = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid.toUtf8() + "\r\n";
        for (const QString &line : lines)
            text += line.toUtf8() + "\r\n";
        return zemtest::writeFile(path(uid), text + "END:VCARD\r\n") ? uid + platform::kABPersonSuffix : QString();
    }

    QByteArray fileText(const QString &uid) const { return zemtest::readFile(path(uid)); }

    /** The person as stored now, read by a book of its own. */
    std::unique_ptr<platform::AddressBook> stored() const
    {
        return std::make_unique<platform::AddressBook>(m_dir.path());
    }

private:
    QTemporaryDir m_dir;
    ZEM_F_SettingsHostDelegate m_host;
};

inline platform::ABMultiValue multi(platform::ABRecord *record, const QString &property)
{
    return record ? record->valueForProperty(property).value<platform::ABMultiValue>() : platform::ABMultiValue();
}

} // namespace contacts
