#pragma once
// Not installed: the card-to-person mapping the address book uses. A card is read into
// record values with the lines each value came from (mapCard), and values are written
// back into a card by rewriting only the lines of what changed (writeCard).

#include "platform/addressbook/AddressBook.h"
#include "platform/addressbook/VCard.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform::detail::card {

// Values of a record that are not properties a caller names, kept in the same map so that
// change detection and merging treat them like any other property.
inline const QString kImageKey = QStringLiteral("\u0001Image");     // QByteArray
inline const QString kMembersKey = QStringLiteral("\u0001Members"); // QStringList of member UIDs

enum class Kind { Text, Date, Flags, Multi, Image, Members };

struct KeyInfo
{
    Kind kind;
    bool person;
    bool group;
};

/** Every key a record takes, with its kind and whether people and groups take it. */
const QHash<QString, KeyInfo> &keyTable();

/** Multi-values are equal when their entries read the same, whatever their identifiers. */
bool sameMulti(const ABMultiValue &a, const ABMultiValue &b);
bool sameValue(const QVariant &a, const QVariant &b);
/** The multi-value \a v holds, or an empty one. */
ABMultiValue multiOf(const QVariant &v);

/**
 * A card read into record values, with the lines each value came from, so that writing a
 * change replaces exactly those lines and keeps every other one.
 */
struct Mapping
{
    QVariantMap values;
    bool group = false;
    QHash<QString, QList<int>> unitLines;                   // unit -> line indices
    QHash<QString, QHash<QString, QList<int>>> entryLines; // multi key -> entry id -> lines
    // Values read from FN, the card having no N (names) or ORG (organisation) to hold them.
    bool namesFromFn = false;
    bool organizationFromFn = false;
};

/** Reads \a card; what cannot be read is added to \a problems when given. */
Mapping mapCard(const VCard &card, QStringList *problems);

/** Gives \a fresh the identifiers \a ours uses for multi-values that read the same, so
    callers' identifiers survive a save or a merge. */
void adoptIdentifiers(Mapping &fresh, const QVariantMap &ours);

/** The name a person's card shows (FN), from its values. */
QString displayName(const QVariantMap &values);

/** A card written from values: the card, the version it is written in, and its bytes. */
struct WrittenCard
{
    VCard card;
    QString version;
    QByteArray bytes;
};

/** \a base (read as \a baseMap from \a baseBytes) with the lines of the values that differ
    from \a values rewritten and every other byte of \a baseBytes kept; \a uid goes in a UID
    line when the card has none. Without \a baseBytes the card is written whole. */
WrittenCard writeCard(const VCard &base, const Mapping &baseMap, const QVariantMap &values,
                      const QString &uid, const QByteArray &baseBytes);

// ---- What reading and writing share ---------------------------------------------------

/** Simple text properties and the vCard property each one is stored in. */
const QHash<QString, QString> &textLines();

struct ImService
{
    QString key;
    QString xName;  // 3.0 property
    QString scheme; // IMPP URI scheme, with the colon
};

const QList<ImService> &imServices();
const ImService *imServiceForKey(const QString &key);

// The year of a date without one, as address books before vCard 4.0 wrote it.
constexpr int kNoYear = 1604;

inline const QString kUrnUuid = QStringLiteral("urn:uuid:");

inline bool isV4(const QString &version)
{
    return version == u"4.0";
}

} // namespace platform::detail::card
