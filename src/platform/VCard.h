#pragma once

#include "zem_appkit_export.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

/**
 * One content line of a vCard: `group.NAME;PARAM=a,b;FLAG:value`.
 *
 * The value is kept as it stands in the file (escaped, as vCard 3.0 and 4.0 write it), so
 * a property the kit does not understand is written back byte for byte. Version 2.1
 * quoted-printable and CHARSET values are decoded on reading and kept in the escaped 3.0
 * form, without those two parameters.
 */
struct ZEM_APPKIT_EXPORT VCardProperty
{
    struct Parameter
    {
        QString name;       ///< upper case; empty for a 2.1 bare value ("TEL;WORK;PREF")
        QStringList values; ///< without quotes, RFC 6868 escapes decoded

        bool operator==(const Parameter &) const = default;
    };

    QString group; ///< "item1" of "item1.TEL"; empty when none
    QString name;  ///< upper case: "TEL", "X-ABLABEL"
    QList<Parameter> parameters;
    QString rawValue; ///< as in the file, escapes and all

    /** The values of every parameter named \a name (case-insensitive), bare 2.1 values included as TYPE. */
    QStringList parameterValues(const QString &name) const;
    /** Whether TYPE holds \a type (case-insensitive), in any of the forms vCards use. */
    bool hasType(const QString &type) const;
    /** PREF=1 (4.0), TYPE=PREF (3.0) or a bare PREF (2.1). */
    bool isPreferred() const;

    /** The value as one text: \n, \, \; and \\ unescaped. */
    QString text() const;
    void setText(const QString &text);
    /** A structured value (N, ADR, ORG) split at unescaped ';', each part unescaped. */
    QStringList components() const;
    void setComponents(const QStringList &components);
    /** Inline binary data: ENCODING=b/BASE64 or a data: URI; empty when there is none or it is broken. */
    QByteArray binary() const;
    /** Stores \a data inline in the form \a version writes ("3.0": ENCODING=b, "4.0": data: URI). */
    void setBinary(const QByteArray &data, const QString &mediaType, const QString &version);

    bool operator==(const VCardProperty &) const = default;
};

/** One vCard: its version and its properties in file order (without BEGIN, END and VERSION). */
struct ZEM_APPKIT_EXPORT VCard
{
    QString version = QStringLiteral("3.0"); ///< "2.1", "3.0" or "4.0" as read
    QList<VCardProperty> properties;

    /** The first property named \a name (case-insensitive), or null. */
    const VCardProperty *first(const QString &name) const;
    VCardProperty *first(const QString &name);
    /** Every property named \a name, in file order. */
    QList<const VCardProperty *> all(const QString &name) const;
    /** The properties of \a group ("item1"), in file order. */
    QList<const VCardProperty *> inGroup(const QString &group) const;
    /** The text of UID, or empty. */
    QString uid() const;

    bool operator==(const VCard &) const = default;
};

/** What reading a file gave: the cards it could read, and a line for each thing it skipped. */
struct ZEM_APPKIT_EXPORT VCardReadResult
{
    QList<VCard> cards;
    QStringList problems;
};

/**
 * Reads every vCard in \a data (UTF-8, or a 2.1 CHARSET). Lines are unfolded; a card
 * without END, an unknown VERSION or a line that cannot be parsed is reported in
 * problems and read as far as it goes; bytes that are not a vCard at all give no card.
 * Never fails otherwise.
 */
ZEM_APPKIT_EXPORT VCardReadResult readVCards(const QByteArray &data);

/**
 * Writes \a card as \a version ("3.0" or "4.0"): CRLF line ends, lines folded at 75
 * octets without splitting a UTF-8 sequence. Properties keep their order, groups,
 * parameters and raw values.
 */
ZEM_APPKIT_EXPORT QByteArray writeVCard(const VCard &card, const QString &version = QStringLiteral("3.0"));

} // namespace platform
