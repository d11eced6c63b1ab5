#pragma once
// Not installed: what the contact engine works out once per key and reads once per person,
// so that a contact list reading every key of every person does not repeat its look-ups.

#include "contacts/ZEM_A_E_ABEngine.h"
#include "platform/addressbook/ABMultiValue.h"
#include "platform/addressbook/AddressBook.h"

#include <QHash>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>

#include <map>
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
    QHash<QString, int> slotOf; // property -> Field::slot
    int propertyCount = 0;
};

/** Every key the engine reads, worked out from \a ab's dictionaries on first use. */
const FieldTable &fieldTable(ZEM_A_E_ABEngine *ab);

/** What a list of keys reads, worked out once for a list passed again, as a contact list
    passes the same keys for every person: the map of the values with every key and no value
    yet (a copy of it takes its shape without comparing a key), and the field each of its
    entries reads, in its order (an empty Field for a key the engine does not read). */
struct ResolvedKeys
{
    QStringList keys;
    std::map<QString, QVariant> shape;
    std::vector<const Field *> fields;
};
const ResolvedKeys &resolveKeys(const FieldTable &table, const QStringList &keys);

// One person's properties, read from the book in one pass however many keys share them.
class PersonFields
{
public:
    PersonFields(const ABPerson *person, const FieldTable &table) : m_values(table.propertyCount)
    {
        if (!person)
            return;
        person->forEachValue([this, &table](const QString &property, const QVariant &value) {
            if (const auto slot = table.slotOf.constFind(property); slot != table.slotOf.cend())
                m_values[*slot] = value;
        });
    }

    const QVariant &value(const Field &f) const { return m_values[f.slot]; }

    // The value of the first entry labelled \a label of the multi-value \a f reads, or null.
    const QVariant *entry(const Field &f, const QString &label) const
    {
        const QVariant &v = value(f);
        if (v.metaType() != QMetaType::fromType<ABMultiValue>())
            return nullptr;
        for (const ABMultiValue::Entry &e : static_cast<const ABMultiValue *>(v.constData())->entries())
            if (e.label == label)
                return &e.value;
        return nullptr;
    }

    QVariant read(const Field &f, const QString &uid) const
    {
        const QString empty = QStringLiteral("");
        const auto text = [&empty](const QVariant *v) {
            if (v && v->metaType() == QMetaType::fromType<QString>())
                return *v;
            return v && v->isValid() ? QVariant(v->toString()) : QVariant(empty);
        };
        // Never a null string: a missing date reads as the empty string.
        const auto date = [&empty](const QVariant *v) {
            const QString s = v ? ZEM_A_E_ABEngine::dateString(v->toDateTime()) : QString();
            return QVariant(s.isNull() ? empty : s);
        };
        switch (f.kind) {
        case FieldKind::String: return text(&value(f));
        case FieldKind::Date: return date(&value(f));
        case FieldKind::Multi: return text(entry(f, f.label));
        case FieldKind::MultiDate: return date(entry(f, f.label));
        case FieldKind::Address: {
            const QVariant *address = entry(f, f.type);
            const QVariant part = address ? address->toMap().value(f.label) : QVariant();
            return text(&part);
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
    // On the stack: the engine reads some thirty properties.
    QVarLengthArray<QVariant, 32> m_values;
};

} // namespace contacts_detail
