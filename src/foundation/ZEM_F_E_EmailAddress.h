#pragma once

#include "ZEM_F_B_Securitry.h"

#include <QString>
#include <QVariantMap>

/**
 * E-mail and web address checks, and the user's own mail settings.
 *
 * The mail settings live in "Mail.ini" in the application's configuration folder
 * (ZEM_F_Host::appConfigFolder()), one section per delivery account, numbered from 1 in
 * the order they are tried:
 *
 * \code
 * ; lines starting with ';' or '#' are comments
 * [Account1]
 * AccountType=SMTPAccount
 * Hostname=smtp.example.org
 * Port=587
 * Username=john
 * EmailAddress=john@example.org
 *
 * [Account2]
 * ...
 * \endcode
 *
 * Keys are kept as written; a Port made of digits is read as a number. Sections not
 * named "Account<number>" and lines that are not "key=value" are ignored.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_EmailAddress : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_EmailAddress *shared();

    /**
     * True when \a text, once stripped with stripEmail() ("John <john@example.org>" is
     * accepted), is a plain address: one "@"; a local part of letters, digits and
     * !#$%&'*+/=?^_`{|}~- with dots neither leading, trailing nor doubled, at most 64
     * characters; a domain of at least two dot-separated labels of letters, digits and
     * inner hyphens, the last not all digits; 254 characters at most.
     */
    Q_INVOKABLE bool doesEmailLookValid(const QString &text) const;
    /**
     * The bare address of \a text: "John Doe <john@x.org>", "mailto:john@x.org?subject=Hi"
     * "john@x.org (John)" and "'john@x.org'" all give "john@x.org". Surrounding spaces
     * and quotes go; the
     * result is not checked and may be empty.
     */
    Q_INVOKABLE QString stripEmail(const QString &text) const;
    /**
     * \a text made ready to become a URL: trimmed, surrounding quotes and angle brackets
     * removed, its scheme lower-cased, and "http://" put in front when it has no scheme
     * ("www.example.org" gives "http://www.example.org"; "https:", "ftp:", "file:",
     * "mailto:" and any "scheme://" stay). Empty in, empty out.
     */
    Q_INVOKABLE QString checkWebAddress(const QString &text) const;

    /**
     * The user's own address: the "EmailAddress" (or "Address") of the first account of
     * the mail settings that has one, else the environment variable EMAIL, else a null
     * QString.
     */
    Q_INVOKABLE QString getMailUserName() const;
    /**
     * The mail settings as a map with "DeliveryAccounts", the list of account maps in
     * order. A missing file, or one without accounts, gives an empty map.
     */
    Q_INVOKABLE QVariantMap getUsersEmailPreferences() const;

    /** The path of the mail settings file. */
    static QString mailSettingsPath();

    explicit ZEM_F_E_EmailAddress(QObject *parent = nullptr);
    ~ZEM_F_E_EmailAddress() override;
};
