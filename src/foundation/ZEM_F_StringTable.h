#pragma once

#include "zem_foundation_export.h"

#include <QHash>
#include <QString>
#include <QStringList>

/**
 * A dictionary of texts that remembers the order its keys were first added in: the
 * message-key tables and language files are read and compared in that order.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_StringTable
{
public:
    /** Adds or replaces; a replaced key keeps its place. */
    void insert(const QString &key, const QString &text);
    bool remove(const QString &key);
    void clear();

    bool contains(const QString &key) const { return m_texts.contains(key); }
    /** The text, or a null QString when the key has no row. */
    QString value(const QString &key) const { return m_texts.value(key); }
    /** Non-null pointer to the text when present; avoids a copy on the lookup path. */
    const QString *find(const QString &key) const;
    const QStringList &keys() const { return m_keys; }
    qsizetype size() const { return m_keys.size(); }
    bool isEmpty() const { return m_keys.isEmpty(); }

private:
    QHash<QString, QString> m_texts;
    QStringList m_keys;
};
