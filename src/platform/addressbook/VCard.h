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
        /** The file quoted the value: it is written quoted again, whether or not it needs
            to be. A matter of spelling, like VCardProperty::spelling: not compared. */
        bool quoted = false;

        bool operator==(const Parameter &other) const { return name == other.name && values == other.values; }
    };

    QString group; ///< "item1" of "item1.TEL"; empty when none
    QString name;  ///< upper case: "TEL", "X-ABLABEL"
    /** The name as the file wrote it ("X-ABLabel"); written in place of name when the two
        differ only in case, so an untouched line is written back as it came. Empty for new lines. */
    QString spelling;
    QList<Parameter> parameters;
    QString rawValue; ///< as in the file, escapes and all
    /** Where the line lay in the bytes readVCards() read: from its first byte to the end of
        its line end, folds included; -1 when it was not read from them (a new line, or a
        UTF-16 file). Lets a writer copy a line nobody changed byte for byte. */
    qsizetype sourceStart = -1;
    qsizetype sourceEnd = -1;

    /** The values of every parameter named \a name (case-insensitive), bare 2.1 values included as TYPE. */
    QStringList parameterValues(const QString &name) const;
    /** Whether TYPE holds \a type (case-insensitive), in any of the forms vCards use. */
    bool hasType(const QString &type) const;
    /** PREF=1 (4.0), TYPE=PREF (3.0) or a bare PREF (2.1). Other PREF numbers rank, they do not prefer. */
    bool isPreferred() const;

    /** The value as one text: \n, \, \; and \\ unescaped (and the backslash of any other escape, as in "http\://", dropped). */
    QString text() const;
    void setText(const QString &text);
    /** A structured value (N, ADR, ORG) split at unescaped ';', each part unescaped. */
    QStringList components() const;
    void setComponents(const QStringList &components);
    /** Inline binary data: ENCODING=b/BASE64 or a data: URI; empty when there is none or it is broken. */
    QByteArray binary() const;
    /**
     * Stores \a data inline in the form \a version writes: "3.0" ENCODING=b;TYPE=PNG for
     * "image/png", "4.0" a data: URI. ENCODING, VALUE, MEDIATYPE, TYPE, CHARSET and bare
     * parameters, which described the old value, are removed; others stay.
     */
    void setBinary(const QByteArray &data, const QString &mediaType, const QString &version);

    /** Equal content; how the file spelled the name does not count. */
    bool operator==(const VCardProperty &other) const
    {
        return group == other.group && name == other.name && parameters == other.parameters
            && rawValue == other.rawValue;
    }
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
 * Never fails otherwise. Each problem starts with "line N:". CHARSET is applied and
 * dropped on every version; a value that is not valid UTF-8 is read as Windows-1252.
 * A 2.1 AGENT's nested card is skipped.
 *
 * **Example**
 * \code
 * const VCardReadResult read = readVCards(file.readAll());
 * for (const QString &problem : read.problems)
 *     qCWarning(zemPlatform) << problem;
 * for (const VCard &card : read.cards)
 *     if (const VCardProperty *fn = card.first(u"FN"_s))
 *         names << fn->text();
 * \endcode
 */
ZEM_APPKIT_EXPORT VCardReadResult readVCards(const QByteArray &data);

/**
 * Writes \a card as \a version ("3.0" or "4.0"; anything else is written as 3.0): CRLF
 * line ends, lines folded at 75 octets without splitting a UTF-8 sequence. Properties keep
 * their order, groups, parameters and raw values; 2.1 bare parameters stay bare.
 * Parameter values are RFC 6868 caret-escaped in both versions (3.0 has no other way to
 * carry a quote or line break) and quoted when they hold ':' or ';' (or ',' in TYPE,
 * PID and SORT-AS lists), or when the file they were read from quoted them. readVCards() gives back an equal card, with \a version.
 */
ZEM_APPKIT_EXPORT QByteArray writeVCard(const VCard &card, const QString &version = QStringLiteral("3.0"));

} // namespace platform
