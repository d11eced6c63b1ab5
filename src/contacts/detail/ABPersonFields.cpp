#include "contacts/detail/ABPersonFields.h"

#include "contacts/ZEM_A_ContactKeys.h"
#include "contacts/ZEM_A_E_ABEngine.h"

using namespace platform;

namespace contacts_detail {

const FieldTable &fieldTable(ZEM_A_E_ABEngine *ab)
{
    static const FieldTable table = [ab] {
        FieldTable t;
        QHash<QString, int> numbers;
        const auto add = [&](const QString &key, FieldKind kind, const QString &property, const QString &label = {},
                             const QString &type = {}) {
            if (t.fields.contains(key))
                return; // the first kind getValueForKey checks wins
            int &slot = numbers[property];
            if (slot == 0)
                slot = ++t.propertyCount;
            t.fields.insert(key, Field{kind, slot - 1, property, label, type});
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

} // namespace contacts_detail
