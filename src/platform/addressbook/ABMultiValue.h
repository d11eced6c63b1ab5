#pragma once

#include "zem_appkit_export.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace platform {

/**
 * A labelled list of values that keeps its order, such as a person's phone numbers. Each
 * entry has an identifier that stays with it; one entry may be the primary one. A value
 * type: a copy is the "mutable copy" callers change and store back with setValue().
 *
 * Identifiers are handed out in order and never twice within one list and its copies, so
 * an entry keeps its identifier through edits of other entries and through save(). A book
 * reading a card gives the same identifiers each time it reads the same lines, and makes
 * the preferred entry (PREF) primary, or the first entry when none is preferred.
 *
 * **Example**
 * \code
 * ABMultiValue phones = person->valueForProperty(kABPhoneProperty).value<ABMultiValue>();
 * const QString id = phones.addValue(u"+1 555 0100"_s, kABPhoneMobileLabel);
 * phones.setPrimaryIdentifier(id);
 * person->setValue(QVariant::fromValue(phones), kABPhoneProperty);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ABMultiValue
{
public:
    struct Entry
    {
        QString identifier;
        QString label;
        QVariant value;
        bool operator==(const Entry &) const = default;
    };

    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    QVariant valueAt(int index) const;          ///< invalid outside the list
    QString labelAt(int index) const;           ///< empty outside the list
    QString identifierAt(int index) const;      ///< empty outside the list
    int indexForIdentifier(const QString &identifier) const; ///< -1 when none
    QVariant valueForIdentifier(const QString &identifier) const;
    /** The primary entry's identifier; empty when the list has none. */
    QString primaryIdentifier() const { return m_primary; }
    bool setPrimaryIdentifier(const QString &identifier);

    /** Appends an entry; its new identifier, or empty when \a value is invalid. */
    QString addValue(const QVariant &value, const QString &label);
    bool replaceValueAtIndex(int index, const QVariant &value);
    bool replaceLabelAtIndex(int index, const QString &label);
    bool removeValueAtIndex(int index);

    const QList<Entry> &entries() const { return m_entries; }
    bool operator==(const ABMultiValue &) const = default;

private:
    QList<Entry> m_entries;
    QString m_primary;
    int m_nextIdentifier = 0;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::ABMultiValue)
