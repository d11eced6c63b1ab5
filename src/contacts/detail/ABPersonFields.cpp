#include "contacts/detail/ABPersonFields.h"

#include "contacts/ZEM_A_ContactKeys.h"
#include "contacts/ZEM_A_E_ABEngine.h"

using namespace platform;

namespace contacts_detail {

const FieldTable &fieldTable(ZEM_A_E_ABEngine *ab)
{
    static const FieldTable table = [ab] {
        FieldTable t;
        const auto add = [&](const QString &key, FieldKind kind, const QString &property, const QString &label = {},
                             const QString &type = {}) {
            if (t.fields.contains(key))
                return; // the first kind getValueForKey checks wins
            if (!t.slotOf.contains(property))
                t.slotOf.insert(property, t.propertyCount++);
            t.fields.insert(key, Field{kind, t.slotOf.value(property), property, label, type});
        };
        for (auto it = ab->stringDictionary().cbegin(); it != ab->stringDictionary().cend(); ++it)
            add(it.key(), FieldKind::String, it.value());
        for (auto it = ab->dateDictionary().cbegin(); it != ab->dateDictionary().cend(); ++it)
            add(it.key(), FieldKind::Date, it.value());
        for (auto it = ab->multiDictionary().cbegin(); it != ab->multiDictionary().cend(); ++it)
            add(it.key(), FieldKind::Multi, ab->getMultValueLabel(it.key()), it.value());
        for (auto it = ab->multiDateDictionary().cbegin(); it != ab->multiDateDictionary().cend(); ++it)
            add(it.key(), FieldKind::MultiDate, ab->getMultValueDateLabel(it.key()), it.value());
        for (auto it = ab->addressDictionary().cbegin(); it != ab->addressDictionary().cend(); ++it)
            add(it.key(), FieldKind::Address, kABAddressProperty, it.value(), ab->getAddressType(it.key()));
        add(kABPersonFlags, FieldKind::Flags, kABPersonFlags);
        add(ZEM_A_ContactKeys::uid, FieldKind::Uid, QString());
        return t;
    }();
    return table;
}

const ResolvedKeys &resolveKeys(const FieldTable &table, const QStringList &keys)
{
    static const Field other;
    // One list remembered per thread: a list shared with it (the usual case) is known at once.
    thread_local ResolvedKeys last;
    if (keys.constData() == last.keys.constData() && keys.size() == last.keys.size() && !last.shape.empty())
        return last;
    last.keys = keys;
    last.shape.clear();
    last.fields.clear();
    for (const QString &key : keys)
        last.shape.emplace(key, QVariant());
    for (auto it = last.shape.cbegin(); it != last.shape.cend(); ++it) {
        const auto field = table.fields.constFind(it->first);
        last.fields.push_back(field == table.fields.cend() ? &other : &*field);
    }
    return last;
}

} // namespace contacts_detail
