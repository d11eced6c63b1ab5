#include "OrganiserContacts.h"

#include <contacts/ZEM_A_C_MO_AddressBook.h>
#include <contacts/ZEM_A_E_ABEngine.h>
#include <contacts/ZEM_A_E_MO_AddressBook.h>
#include <platform/addressbook/AddressBook.h>
#include <platform/store/StoreContext.h>

#include <algorithm>

namespace {

QString indented(const QString &block)
{
    QString text = block;
    text.replace(u'\n', QStringLiteral("\n      "));
    return QStringLiteral("      ") + text;
}

} // namespace

bool showContacts(QTextStream &out, const ContactEdit &edit)
{
    platform::AddressBook *book = platform::AddressBook::sharedAddressBook();
    out << "Address book: " << book->folder() << " (" << book->people().size() << " people, "
        << book->groups().size() << " groups)\n";
    for (const QString &problem : book->problems())
        out << "  skipped: " << problem << '\n';

    // Contacts are records in a context of their own; the address book is their store.
    platform::StoreContext context;
    QList<ZEM_A_C_MO_AddressBook *> contacts;
    for (const QString &uid : ZEM_A_E_ABEngine::shared()->getAllServerRecords()) {
        auto *contact = context.insertNewObject<ZEM_A_C_MO_AddressBook>();
        contact->setUid(uid);
        contacts.append(contact);
    }
    const auto name = [](ZEM_A_C_MO_AddressBook *c) { return c->displayName().toString(); };
    std::sort(contacts.begin(), contacts.end(), [&name](auto *a, auto *b) {
        return QString::localeAwareCompare(name(a), name(b)) < 0;
    });

    ZEM_A_E_MO_AddressBook *texts = ZEM_A_E_MO_AddressBook::shared();
    const char *const kinds[] = {"home", "work", "other"};
    for (ZEM_A_C_MO_AddressBook *contact : std::as_const(contacts)) {
        out << "  " << name(contact) << '\n';
        const QString company = contact->valueForKey(QStringLiteral("companyName")).toString();
        QStringList calls;
        for (int kind = 0; kind < 3; ++kind) {
            // Every block starts with the company: one holding nothing else is no address.
            const QString address = texts->userFullAddressSupport(kind, contact);
            if (!address.isEmpty() && address != company)
                out << "    " << kinds[kind] << ":\n" << indented(address) << '\n';
            // The phone lines are the same in every kind's call block: show each line once.
            for (const QString &line : texts->userCallInfoSupport(kind, contact).split(u'\n')) {
                if (!line.isEmpty() && !calls.contains(line))
                    calls.append(line);
            }
        }
        if (!calls.isEmpty())
            out << indented(calls.join(u'\n')) << '\n';
    }
    for (const platform::ABGroup *group : book->groups()) {
        // Members are named as the contact list names them (a company or a person's name).
        QStringList members;
        for (const platform::ABPerson *person : group->members()) {
            const auto member = std::find_if(contacts.cbegin(), contacts.cend(), [&](auto *c) {
                return c->uid() == person->uniqueId();
            });
            if (member != contacts.cend())
                members << name(*member);
        }
        out << "  group " << group->valueForProperty(platform::kABGroupNameProperty).toString() << ": "
            << members.join(QStringLiteral(", ")) << '\n';
    }

    if (edit.name.isEmpty())
        return true;
    const auto found = std::find_if(contacts.cbegin(), contacts.cend(),
                                    [&](auto *c) { return name(c) == edit.name; });
    if (found == contacts.cend()) {
        out << "No contact is named " << edit.name << '\n';
        return false;
    }
    if (!ZEM_A_C_MO_AddressBook::mirroredKeys().contains(edit.field)) {
        out << edit.field << " is not a contact field\n";
        return false;
    }
    ZEM_A_C_MO_AddressBook *contact = *found;
    out << "Setting " << edit.field << " of " << edit.name << " from \""
        << contact->valueForKey(edit.field).toString() << "\" to \"" << edit.value << "\"\n";
    contact->setValueForKey(edit.value, edit.field);
    const QString saved = ZEM_A_E_ABEngine::shared()->saveChangesToAddressBook();
    out << saved << '\n';
    return !ZEM_A_E_ABEngine::shared()->hasUnsavedChanges();
}
