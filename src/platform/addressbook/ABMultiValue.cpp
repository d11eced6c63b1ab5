#include "platform/addressbook/ABMultiValue.h"

namespace platform {

QVariant ABMultiValue::valueAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].value : QVariant();
}

QString ABMultiValue::labelAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].label : QString();
}

QString ABMultiValue::identifierAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].identifier : QString();
}

int ABMultiValue::indexForIdentifier(const QString &identifier) const
{
    if (identifier.isEmpty())
        return -1;
    for (int i = 0; i < count(); ++i)
        if (m_entries[i].identifier == identifier)
            return i;
    return -1;
}

QVariant ABMultiValue::valueForIdentifier(const QString &identifier) const
{
    return valueAt(indexForIdentifier(identifier));
}

bool ABMultiValue::setPrimaryIdentifier(const QString &identifier)
{
    if (indexForIdentifier(identifier) < 0)
        return false;
    m_primary = identifier;
    return true;
}

QString ABMultiValue::addValue(const QVariant &value, const QString &label)
{
    if (!value.isValid())
        return {};
    // Numbers handed out in order: two reads of the same card give the same identifiers.
    // The first few are shared by every card rather than made for each.
    static const QList<QString> first = [] {
        QList<QString> out;
        for (int i = 0; i < 16; ++i)
            out.append(QString::number(i));
        return out;
    }();
    const int n = m_nextIdentifier++;
    Entry e{n < first.size() ? first[n] : QString::number(n), label, value};
    m_entries.append(e);
    return e.identifier;
}

bool ABMultiValue::replaceValueAtIndex(int index, const QVariant &value)
{
    if (index < 0 || index >= count() || !value.isValid())
        return false;
    m_entries[index].value = value;
    return true;
}

bool ABMultiValue::replaceLabelAtIndex(int index, const QString &label)
{
    if (index < 0 || index >= count())
        return false;
    m_entries[index].label = label;
    return true;
}

bool ABMultiValue::removeValueAtIndex(int index)
{
    if (index < 0 || index >= count())
        return false;
    if (m_entries[index].identifier == m_primary)
        m_primary.clear();
    m_entries.removeAt(index);
    return true;
}

} // namespace platform
