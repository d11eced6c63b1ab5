#pragma once
// Not installed: what the contact engine works out once per key and reads once per person,
// so that a contact list reading every key of every person does not repeat its look-ups.

#include "contacts/ZEM_A_E_ABEngine.h"
#include "platform/addressbook/ABMultiValue.h"
#include "platform/addressbook/AddressBook.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace contacts_detail {

using platform::ABMultiValue;
using platform::ABPerson;

// What reading one key takes, worked out once per key: a contact list reads every key of
// every person, and the translation maps cost several hash look-ups per key.
enum class FieldKind { Other, String, Date, Multi, MultiDate, Address, Flags, Uid };

struct Field
{
    FieldKind kind = FieldKind::Other;
    int slot = -1;     // the person's property, numbered so one read serves every key of it
    QString property;  // the address book property
    QString label;     // the entry's label (multi-values) or the address part
    QString type;      // the address entry's label
};

struct FieldTable
{
    QHash<QString, Field> fields;
    int propertyCount = 0;
};

/** Every key the engine reads, worked out from \a ab's dictionaries on first use. */
const FieldTable &fieldTable(ZEM_A_E_ABEngine *ab);

// One person's properties, each read from the book once however many keys share it.
class PersonFields
{
public:
    PersonFields(const ABPerson *person, int propertyCount) : m_person(person), m_values(size_t(propertyCount)) {}

    const QVariant &value(const Field &f)
    {
        std::optional<QVariant> &v = m_values[size_t(f.slot)];
        if (!v)
            v = m_person ? m_person->valueForProperty(f.property) : QVariant();
        return *v;
    }

    // The value of the first entry labelled \a label of the multi-value \a f reads.
    QVariant entry(const Field &f, const QString &label)
    {
        const QVariant &v = value(f);
        const ABMultiValue *multi = v.metaType() == QMetaType::fromType<ABMultiValue>()
                                        ? static_cast<const ABMultiValue *>(v.constData())
                                        : nullptr;
        if (!multi)
            return {};
        for (const ABMultiValue::Entry &e : multi->entries())
            if (e.label == label)
                return e.value;
        return {};
    }

    QVariant read(const Field &f, const QString &uid)
    {
        const QString empty = QStringLiteral("");
        const auto text = [&empty](const QVariant &v) { return v.isValid() ? QVariant(v.toString()) : QVariant(empty); };
        switch (f.kind) {
        case FieldKind::String: return text(value(f));
        case FieldKind::Date: return QVariant(ZEM_A_E_ABEngine::dateString(value(f).toDateTime()) + empty);
        case FieldKind::Multi: return text(entry(f, f.label));
        case FieldKind::MultiDate:
            return QVariant(ZEM_A_E_ABEngine::dateString(entry(f, f.label).toDateTime()) + empty);
        case FieldKind::Address: {
            const QVariant address = entry(f, f.type);
            return text(address.isValid() ? address.toMap().value(f.label) : QVariant());
        }
        case FieldKind::Flags: {
            const QVariant &flags = value(f);
            return flags.isValid() ? QVariant(flags.toInt()) : QVariant(empty);
        }
        case FieldKind::Uid: return uid.isNull() ? QVariant(empty) : QVariant(uid);
        case FieldKind::Other: break;
        }
        return empty;
    }

private:
    const ABPerson *m_person;
    std::vector<std::optional<QVariant>> m_values;
};

} // namespace contacts_detail
