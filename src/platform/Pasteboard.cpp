#include "Pasteboard.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMimeData>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrl>

#include <map>

namespace platform {
namespace {

const QString kPlainUtf8 = QStringLiteral("text/plain;charset=utf-8");
const QString kPlain = QStringLiteral("text/plain");
const QString kUriList = QStringLiteral("text/uri-list");
const QString kRtfMime = QStringLiteral("text/rtf");
const QString kHtmlMime = QStringLiteral("text/html");
const QString kTsvMime = QStringLiteral("text/tab-separated-values");
const QByteArray kTokenPrefix = QByteArrayLiteral("zem-local:");
constexpr qsizetype kMaxTokenSize = 96;

struct Entry
{
    QVariant value;                   // when the payload is not a list of objects
    QList<QPointer<QObject>> objects; // held weakly
    bool isObjects = false;
    QPointer<QObject> source;
};

/** Entries by id; ids only grow, so the first entry is the oldest. Main thread only. */
std::map<quint64, Entry> &store()
{
    static std::map<quint64, Entry> entries;
    return entries;
}

quint64 &nextId()
{
    static quint64 id = 1;
    return id;
}

/** Tells this process's tokens from those of an earlier process that had the same pid. */
quint64 session()
{
    static const quint64 value = QRandomGenerator::system()->generate64();
    return value;
}

QByteArray tokenFor(quint64 id)
{
    return kTokenPrefix + QByteArray::number(QCoreApplication::applicationPid()) + ':'
        + QByteArray::number(session()) + ':' + QByteArray::number(id);
}

bool looksLikeToken(const QByteArray &data)
{
    return data.startsWith(kTokenPrefix);
}

/** The store entry \a data names; null for another process's token, a malformed one or a gone entry. */
Entry *entryForToken(const QByteArray &data, quint64 *idOut = nullptr)
{
    if (data.size() > kMaxTokenSize || !looksLikeToken(data))
        return nullptr;
    const QList<QByteArray> parts = data.mid(kTokenPrefix.size()).split(':');
    if (parts.size() != 3)
        return nullptr;
    bool okPid = false, okSession = false, okId = false;
    const qint64 pid = parts.at(0).toLongLong(&okPid);
    const quint64 sessionValue = parts.at(1).toULongLong(&okSession);
    const quint64 id = parts.at(2).toULongLong(&okId);
    if (!okPid || !okSession || !okId || pid != QCoreApplication::applicationPid() || sessionValue != session())
        return nullptr;
    auto it = store().find(id);
    if (it == store().end())
        return nullptr;
    if (idOut)
        *idOut = id;
    return &it->second;
}

bool isTextType(const QString &type)
{
    return type == kStringType || type == kRtfType || type == kHtmlType || type == kTabularTextType;
}

QString textOf(const QVariant &value, bool *ok)
{
    *ok = value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
    return value.typeId() == QMetaType::QByteArray ? QString::fromUtf8(value.toByteArray()) : value.toString();
}

/** The formats' data, or nothing when absent or too large. */
QByteArray boundedData(const QMimeData *mime, const QString &format, bool *present)
{
    *present = false;
    if (!mime->hasFormat(format))
        return {};
    QByteArray data = mime->data(format);
    if (data.size() > kMaxPasteboardPayload)
        return {};
    *present = true;
    return data;
}

QList<QUrl> boundedUrls(const QMimeData *mime)
{
    bool present = false;
    boundedData(mime, kUriList, &present);
    return present ? mime->urls() : QList<QUrl>{};
}

void appendUrls(QMimeData *mime, const QList<QUrl> &urls)
{
    QList<QUrl> all = mime->hasFormat(kUriList) ? mime->urls() : QList<QUrl>{};
    all.append(urls);
    mime->setUrls(all);
}

} // namespace

QStringList mimeFormatsForType(const QString &type)
{
    if (type == kStringType)
        return {kPlainUtf8, kPlain};
    if (type == kFilenamesType || type == kUrlType)
        return {kUriList};
    if (type == kRtfType)
        return {kRtfMime};
    if (type == kHtmlType)
        return {kHtmlMime};
    if (type == kTabularTextType)
        return {kTsvMime};
    return {type};
}

QStringList pasteboardTypes(const QMimeData *mime)
{
    QStringList types;
    if (!mime)
        return types;
    const auto add = [&types](const QString &type) {
        if (!types.contains(type))
            types.append(type);
    };
    for (const QString &format : mime->formats()) {
        if (format == kPlain || format.startsWith(kPlain + u';')) {
            add(kStringType);
        } else if (format == kUriList) {
            for (const QUrl &url : boundedUrls(mime))
                add(url.isLocalFile() ? kFilenamesType : kUrlType);
        } else if (format == kRtfMime) {
            add(kRtfType);
        } else if (format == kHtmlMime) {
            add(kHtmlType);
        } else if (format == kTsvMime) {
            add(kTabularTextType);
        } else if (!looksLikeToken(mime->data(format)) || entryForToken(mime->data(format))) {
            // Another process's rows, or rows whose entry is gone, are not on offer.
            add(format);
        }
    }
    return types;
}

bool setPropertyList(QMimeData *mime, const QString &type, const QVariant &value)
{
    if (!mime)
        return false;
    if (isTextType(type)) {
        bool ok = false;
        const QString text = textOf(value, &ok);
        if (!ok)
            return false;
        if (type == kStringType)
            mime->setText(text);
        for (const QString &format : mimeFormatsForType(type))
            if (format != kPlain)
                mime->setData(format, text.toUtf8());
        return true;
    }
    if (type == kFilenamesType) {
        if (!value.canConvert<QStringList>())
            return false;
        QList<QUrl> urls;
        for (const QString &path : value.toStringList()) {
            if (path.isEmpty())
                return false;
            urls.append(QUrl::fromLocalFile(path));
        }
        appendUrls(mime, urls);
        return true;
    }
    if (type == kUrlType) {
        const QUrl url = value.typeId() == QMetaType::QUrl ? value.toUrl() : QUrl(value.toString(), QUrl::StrictMode);
        if (!url.isValid() || url.isEmpty())
            return false;
        appendUrls(mime, {url});
        return true;
    }
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isUndefined() || (json.isNull() && !value.isNull()))
        return false;
    // Wrapped in an array: a JSON document cannot hold a bare text or number.
    mime->setData(type, QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact));
    return true;
}

QVariant propertyList(const QMimeData *mime, const QString &type)
{
    if (!mime)
        return {};
    bool present = false;
    if (isTextType(type)) {
        for (const QString &format : mimeFormatsForType(type)) {
            const QByteArray data = boundedData(mime, format, &present);
            if (present)
                return QString::fromUtf8(data);
        }
        return {};
    }
    if (type == kFilenamesType || type == kUrlType) {
        QStringList values;
        for (const QUrl &url : boundedUrls(mime)) {
            if (url.isLocalFile() != (type == kFilenamesType))
                continue;
            if (type == kUrlType)
                return url.toString();
            values.append(url.toLocalFile());
        }
        return values.isEmpty() ? QVariant() : QVariant(values);
    }
    const QByteArray data = boundedData(mime, type, &present);
    if (!present)
        return {};
    if (looksLikeToken(data)) {
        const Entry *entry = entryForToken(data);
        if (!entry)
            return {};
        if (!entry->isObjects)
            return entry->value;
        QList<QObject *> objects;
        for (const QPointer<QObject> &object : entry->objects)
            if (object)
                objects.append(object);
        return QVariant::fromValue(objects);
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() || document.array().size() != 1)
        return {};
    return document.array().first().toVariant();
}

void setLocalPropertyList(QMimeData *mime, const QString &type, const QVariant &value, QObject *source)
{
    if (!mime)
        return;
    // A type written again replaces its entry rather than strand the old one.
    quint64 oldId = 0;
    if (mime->hasFormat(type) && entryForToken(mime->data(type), &oldId))
        store().erase(oldId);
    while (int(store().size()) >= kMaxLocalEntries)
        store().erase(store().begin());
    Entry entry;
    entry.source = source;
    if (value.metaType() == QMetaType::fromType<QList<QObject *>>()) {
        entry.isObjects = true;
        for (QObject *object : value.value<QList<QObject *>>())
            entry.objects.append(object);
    } else {
        entry.value = value;
    }
    const quint64 id = nextId()++;
    store().emplace(id, std::move(entry));
    mime->setData(type, tokenFor(id));
    QObject::connect(mime, &QObject::destroyed, [id] { store().erase(id); });
}

QObject *localSource(const QMimeData *mime, const QString &type)
{
    if (!mime || !mime->hasFormat(type))
        return nullptr;
    const Entry *entry = entryForToken(mime->data(type));
    return entry ? entry->source.data() : nullptr;
}

int localEntryCount()
{
    return int(store().size());
}

} // namespace platform
