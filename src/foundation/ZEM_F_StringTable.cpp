#include "ZEM_F_StringTable.h"

void ZEM_F_StringTable::insert(const QString &key, const QString &text)
{
    auto it = m_texts.find(key);
    if (it != m_texts.end()) {
        *it = text;
        return;
    }
    m_texts.insert(key, text);
    m_keys.append(key);
}

bool ZEM_F_StringTable::remove(const QString &key)
{
    if (!m_texts.remove(key))
        return false;
    m_keys.removeOne(key);
    return true;
}

void ZEM_F_StringTable::clear()
{
    m_texts.clear();
    m_keys.clear();
}

const QString *ZEM_F_StringTable::find(const QString &key) const
{
    const auto it = m_texts.constFind(key);
    return it == m_texts.cend() ? nullptr : &*it;
}
