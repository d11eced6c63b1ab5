#include "OrganiserListing.h"

#include <contacts/ZEM_A_C_MO_AddressBook.h>
#include <contacts/ZEM_A_E_ABEngine.h>
#include <platform/addressbook/AddressBook.h>
#include <platform/calendarstore/CalendarStore.h>

#include <QDate>
#include <QFileInfo>

#include <algorithm>

namespace {

QString escaped(QString text)
{
    text.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(u'\t', QStringLiteral("\\t"));
    text.replace(u'\r', QStringLiteral("\\r"));
    text.replace(u'\n', QStringLiteral("\\n"));
    return text;
}

QString utc(const QDateTime &date)
{
    return date.isValid() ? date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")) : QStringLiteral("-");
}

bool existingFolder(const QString &folder, QTextStream &err)
{
    if (QFileInfo(folder).isDir())
        return true;
    err << "Not a folder: " << folder << '\n';
    return false;
}

// One person: the vCard UID, then every mirrored field that has a value.
void writePerson(QTextStream &out, const QString &uniqueId, const QVariantMap &values)
{
    out << uniqueId.chopped(platform::kABPersonSuffix.size());
    for (const QString &key : ZEM_A_C_MO_AddressBook::mirroredKeys()) {
        const QString value = values.value(key).toString();
        if (!value.isEmpty())
            out << '\t' << key << '=' << escaped(value);
    }
    out << '\n';
}

} // namespace

OrganiserListing::OrganiserListing(QCommandLineParser &parser)
    : m_parser(parser)
    , m_contacts(QStringLiteral("contacts"), QStringLiteral("Contacts folder (one vCard per file) to list."),
                 QStringLiteral("dir"))
    , m_calendars(QStringLiteral("calendars"),
                  QStringLiteral("Calendars folder (one sub-folder per calendar) to list."), QStringLiteral("dir"))
    , m_listContacts(QStringLiteral("list-contacts"), QStringLiteral("List every person of --contacts."))
    , m_showContact(QStringLiteral("show-contact"), QStringLiteral("Show one person of --contacts."),
                    QStringLiteral("uid"))
    , m_listEvents(QStringLiteral("list-events"),
                   QStringLiteral("List the occurrences of --calendars from FROM to the date given as the "
                                  "argument after it (yyyy-MM-dd, end excluded)."),
                   QStringLiteral("from"))
    , m_listTodos(QStringLiteral("list-todos"), QStringLiteral("List the open to-dos of --calendars."))
{
    parser.addOptions({m_contacts, m_calendars, m_listContacts, m_showContact, m_listEvents, m_listTodos});
}

bool OrganiserListing::requested() const
{
    return m_parser.isSet(m_listContacts) || m_parser.isSet(m_showContact) || m_parser.isSet(m_listEvents)
        || m_parser.isSet(m_listTodos);
}

int OrganiserListing::run(QTextStream &out, QTextStream &err) const
{
    const bool contacts = m_parser.isSet(m_listContacts) || m_parser.isSet(m_showContact);
    const bool calendars = m_parser.isSet(m_listEvents) || m_parser.isSet(m_listTodos);
    if ((contacts && !m_parser.isSet(m_contacts)) || (calendars && !m_parser.isSet(m_calendars))) {
        err << "A listing needs its folder: --contacts DIR or --calendars DIR\n";
        return 2;
    }
    if ((contacts && !existingFolder(m_parser.value(m_contacts), err))
        || (calendars && !existingFolder(m_parser.value(m_calendars), err)))
        return 2;

    bool ok = true;
    if (m_parser.isSet(m_listContacts))
        ok = listContacts(out, err) && ok;
    if (m_parser.isSet(m_showContact))
        ok = showContact(out, err) && ok;
    if (m_parser.isSet(m_listEvents))
        ok = listEvents(out, err) && ok;
    if (m_parser.isSet(m_listTodos))
        ok = listTodos(out) && ok;
    out.flush();
    return ok ? 0 : 1;
}

// Through the contact engine on the shared book, the way a host's contact records read.
bool OrganiserListing::listContacts(QTextStream &out, QTextStream &err) const
{
    platform::AddressBook::setDefaultFolder(m_parser.value(m_contacts));
    platform::AddressBook::resetSharedAddressBook();
    ZEM_A_E_ABEngine *engine = ZEM_A_E_ABEngine::shared();
    for (const QString &problem : platform::AddressBook::sharedAddressBook()->problems())
        err << "skipped: " << problem << '\n';
    const QStringList &keys = ZEM_A_C_MO_AddressBook::mirroredKeys();
    for (const QString &uniqueId : engine->getAllServerRecords())
        writePerson(out, uniqueId, engine->getValuesUidDict(uniqueId, keys, true));
    return true;
}

// A fresh read of one person, as a host reads a field it must not take from a cache.
bool OrganiserListing::showContact(QTextStream &out, QTextStream &err) const
{
    platform::AddressBook::setDefaultFolder(m_parser.value(m_contacts));
    QString uniqueId = m_parser.value(m_showContact);
    if (!uniqueId.endsWith(platform::kABPersonSuffix))
        uniqueId += platform::kABPersonSuffix;
    ZEM_A_E_ABEngine *engine = ZEM_A_E_ABEngine::shared();
    const ZEM_A_E_ABEngine::PersonRef person = engine->getPerson(uniqueId);
    if (!person) {
        err << "No person has the uid " << m_parser.value(m_showContact) << '\n';
        return false;
    }
    QVariantMap values;
    for (const QString &key : ZEM_A_C_MO_AddressBook::mirroredKeys())
        values.insert(key, engine->getValueForKey(key, person.get(), uniqueId));
    writePerson(out, uniqueId, values);
    return true;
}

bool OrganiserListing::listEvents(QTextStream &out, QTextStream &err) const
{
    const QDate from = QDate::fromString(m_parser.value(m_listEvents), Qt::ISODate);
    const QStringList rest = m_parser.positionalArguments();
    const QDate to = rest.isEmpty() ? QDate() : QDate::fromString(rest.first(), Qt::ISODate);
    if (!from.isValid() || !to.isValid() || to < from) {
        err << "--list-events needs two dates, FROM and TO (yyyy-MM-dd)\n";
        return false;
    }
    platform::CalendarStore::setDefaultFolder(m_parser.value(m_calendars));
    platform::CalendarStore::resetDefaultCalendarStore();
    platform::CalendarStore *store = platform::CalendarStore::defaultCalendarStore();
    for (const QString &problem : store->problems())
        err << "skipped: " << problem << '\n';
    QList<platform::CalEvent> events = store->eventsWithPredicate(platform::CalendarStore::eventPredicateWithStartDate(
        QDateTime(from, QTime(0, 0)), QDateTime(to, QTime(0, 0)), {}));
    // The store orders by start; the uid orders what starts together, for output that diffs.
    std::stable_sort(events.begin(), events.end(), [](const platform::CalEvent &a, const platform::CalEvent &b) {
        return a.startDate() != b.startDate() ? a.startDate() < b.startDate() : a.uid() < b.uid();
    });
    for (const platform::CalEvent &event : std::as_const(events)) {
        if (event.isAllDay())
            out << event.startDate().toLocalTime().date().toString(Qt::ISODate) << '\t'
                << event.endDate().toLocalTime().date().toString(Qt::ISODate);
        else
            out << utc(event.startDate()) << '\t' << utc(event.endDate());
        out << '\t' << event.uid() << '\t' << event.calendarUid() << '\t' << escaped(event.title()) << '\n';
    }
    return true;
}

bool OrganiserListing::listTodos(QTextStream &out) const
{
    platform::CalendarStore::setDefaultFolder(m_parser.value(m_calendars));
    // A store already read for --list-events is the same folder: read it once.
    platform::CalendarStore *store = platform::CalendarStore::defaultCalendarStore();
    QList<platform::CalTask> tasks = store->tasksWithPredicate(
        platform::CalendarStore::taskPredicateWithUncompletedTasks({}));
    // Due first, those without a due date last.
    std::sort(tasks.begin(), tasks.end(), [](const platform::CalTask &a, const platform::CalTask &b) {
        if (a.dueDate().isValid() != b.dueDate().isValid())
            return a.dueDate().isValid();
        return a.dueDate() != b.dueDate() ? a.dueDate() < b.dueDate() : a.uid() < b.uid();
    });
    for (const platform::CalTask &task : std::as_const(tasks))
        out << utc(task.dueDate()) << '\t' << (task.priority() ? QString::number(task.priority()) : QStringLiteral("-"))
            << '\t' << task.uid() << '\t' << task.calendarUid() << '\t' << escaped(task.title()) << '\n';
    return true;
}
