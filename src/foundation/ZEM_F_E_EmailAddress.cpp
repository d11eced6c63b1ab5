#include "ZEM_F_E_EmailAddress.h"

#include "ZEM_F_HostDelegate.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace {

constexpr qsizetype MaxLocalLength = 64;
constexpr qsizetype MaxAddressLength = 254;
constexpr qsizetype MaxLabelLength = 63;

bool isQuoteOrSpace(QChar c)
{
    return c.isSpace() || c == u'"' || c == u'\'' || c == u',' || c == u';';
}

QString trimDecoration(QString s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isQuoteOrSpace(s.at(begin)))
        ++begin;
    while (end > begin && isQuoteOrSpace(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

bool isLocalChar(QChar c)
{
    if (c.unicode() >= 128)
        return false;
    if (c.isLetterOrNumber())
        return true;
    return QStringView(u"!#$%&'*+/=?^_`{|}~-").contains(c);
}

bool isValidLocalPart(QStringView local)
{
    if (local.isEmpty() || local.size() > MaxLocalLength)
        return false;
    if (local.startsWith(u'.') || local.endsWith(u'.') || local.contains(u".."))
        return false;
    for (QChar c : local) {
        if (c != u'.' && !isLocalChar(c))
            return false;
    }
    return true;
}

bool isValidDomain(QStringView domain)
{
    const QList<QStringView> labels = domain.split(u'.');
    if (labels.size() < 2)
        return false;
    for (QStringView label : labels) {
        if (label.isEmpty() || label.size() > MaxLabelLength)
            return false;
        if (label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (QChar c : label) {
            if (!c.isLetterOrNumber() && c != u'-')
                return false;
        }
    }
    bool allDigits = true;
    for (QChar c : labels.last())
        allDigits = allDigits && c.isDigit();
    return !allDigits;
}

QString stripQuotedValue(QString value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        return value.mid(1, value.size() - 2);
    return value;
}

QVariantList readAccounts(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList order;
    QHash<QString, QVariantMap> accounts;
    static const QRegularExpression accountSection(QStringLiteral("^\\[(Account\\d+)\\]$"),
                                                   QRegularExpression::CaseInsensitiveOption);
    QString current;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const QRegularExpressionMatch m = accountSection.match(line);
            current = m.hasMatch() ? m.captured(1).toLower() : QString();
            if (!current.isEmpty() && !accounts.contains(current)) {
                order << current;
                accounts.insert(current, {});
            }
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (current.isEmpty() || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = stripQuotedValue(line.mid(eq + 1).trimmed());
        bool isNumber = false;
        const int port = key.compare(QLatin1String("Port"), Qt::CaseInsensitive) == 0
            ? value.toInt(&isNumber)
            : 0;
        accounts[current].insert(key, isNumber ? QVariant(port) : QVariant(value));
    }
    QVariantList list;
    for (const QString &name : std::as_const(order)) {
        if (!accounts.value(name).isEmpty())
            list << accounts.value(name);
    }
    return list;
}

} // namespace

ZEM_F_E_EmailAddress::ZEM_F_E_EmailAddress(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_EmailAddress::~ZEM_F_E_EmailAddress() = default;

ZEM_F_E_EmailAddress *ZEM_F_E_EmailAddress::shared()
{
    static ZEM_F_E_EmailAddress *const engine = new ZEM_F_E_EmailAddress;
    return engine;
}

bool ZEM_F_E_EmailAddress::doesEmailLookValid(const QString &text) const
{
    const QString address = stripEmail(text);
    if (address.isEmpty() || address.size() > MaxAddressLength)
        return false;
    const qsizetype at = address.indexOf(u'@');
    if (at < 0 || address.indexOf(u'@', at + 1) >= 0)
        return false;
    return isValidLocalPart(QStringView(address).left(at))
        && isValidDomain(QStringView(address).mid(at + 1));
}

QString ZEM_F_E_EmailAddress::stripEmail(const QString &text) const
{
    QString s = text.trimmed();
    // "Name <address>": the address is inside the last pair of angle brackets.
    if (const qsizetype lt = s.lastIndexOf(u'<'); lt >= 0) {
        const qsizetype gt = s.indexOf(u'>', lt);
        s = gt > lt ? s.mid(lt + 1, gt - lt - 1) : s.mid(lt + 1);
    }
    s = trimDecoration(s);
    if (s.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
        s = s.mid(int(qstrlen("mailto:")));
        if (const qsizetype query = s.indexOf(u'?'); query >= 0)
            s.truncate(query);
        s = QUrl::fromPercentEncoding(s.toUtf8());
        s = trimDecoration(s);
    }
    // "address (Name)": the comment goes.
    if (const qsizetype paren = s.indexOf(u'('); paren > 0 && s.at(paren - 1).isSpace())
        s = trimDecoration(s.left(paren));
    return s;
}

QString ZEM_F_E_EmailAddress::checkWebAddress(const QString &text) const
{
    QString s = text.trimmed();
    while (s.size() >= 2
           && ((s.startsWith(u'"') && s.endsWith(u'"'))
               || (s.startsWith(u'\'') && s.endsWith(u'\''))
               || (s.startsWith(u'<') && s.endsWith(u'>'))))
        s = s.mid(1, s.size() - 2).trimmed();
    if (s.isEmpty())
        return {};

    static const QRegularExpression schemeRx(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    if (const QRegularExpressionMatch m = schemeRx.match(s); m.hasMatch()) {
        const QString scheme = m.captured(1).toLower();
        const QString rest = s.mid(m.capturedLength(0));
        static const QStringList opaque = {
            QStringLiteral("mailto"), QStringLiteral("file"), QStringLiteral("news"),
            QStringLiteral("tel"),    QStringLiteral("sip"),  QStringLiteral("skype"),
            QStringLiteral("callto"), QStringLiteral("data"), QStringLiteral("about")};
        static const QStringList hierarchical = {QStringLiteral("http"), QStringLiteral("https"),
                                                 QStringLiteral("ftp")};
        if (rest.startsWith(QLatin1String("//")) || opaque.contains(scheme))
            return scheme + u':' + rest;
        if (hierarchical.contains(scheme))
            return scheme + QStringLiteral("://") + rest;
        // "localhost:8080" and "example.org:80/path" are host and port, not a scheme.
    }
    if (s.startsWith(QLatin1String("//")))
        return QStringLiteral("http:") + s;
    return QStringLiteral("http://") + s;
}

QString ZEM_F_E_EmailAddress::getMailUserName() const
{
    const QVariantList accounts = getUsersEmailPreferences()
                                      .value(QStringLiteral("DeliveryAccounts"))
                                      .toList();
    for (const QVariant &account : accounts) {
        const QVariantMap map = account.toMap();
        for (const char *key : {"EmailAddress", "Address"}) {
            const QString address = map.value(QLatin1String(key)).toString().trimmed();
            if (!address.isEmpty())
                return address;
        }
    }
    const QString fromEnvironment = stripEmail(qEnvironmentVariable("EMAIL"));
    return fromEnvironment.isEmpty() ? QString() : fromEnvironment;
}

QVariantMap ZEM_F_E_EmailAddress::getUsersEmailPreferences() const
{
    const QVariantList accounts = readAccounts(mailSettingsPath());
    if (accounts.isEmpty())
        return {};
    return {{QStringLiteral("DeliveryAccounts"), accounts}};
}

QString ZEM_F_E_EmailAddress::mailSettingsPath()
{
    return QDir(ZEM_F_Host::appConfigFolder()).filePath(QStringLiteral("Mail.ini"));
}
