#include "platform/store/DataModel.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <limits>

namespace platform {

namespace {

struct TypeName
{
    AttributeType type;
    const char *name;
};
constexpr TypeName kTypeNames[] = {
    {AttributeType::String, "string"}, {AttributeType::Integer, "integer"},
    {AttributeType::Double, "double"}, {AttributeType::Boolean, "boolean"},
    {AttributeType::Date, "date"},     {AttributeType::Binary, "binary"},
};

ZEM_Error modelError(const QString &message)
{
    return ZEM_Error::make(ZEM_Error::ParseFailed, message);
}

// A JSON number is a double; an integer default must be whole and in range.
QVariant integerFrom(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::Short:
        return QVariant(value.toLongLong());
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong u = value.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return {};
        return QVariant(qint64(u));
    }
    case QMetaType::Bool:
        return QVariant(qint64(value.toBool() ? 1 : 0));
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        // 2^63 itself is out of range, so compare against it exclusively.
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return {};
        return QVariant(qint64(d));
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        return ok ? QVariant(n) : QVariant();
    }
    default:
        return {};
    }
}

} // namespace

QVariant AttributeDescription::coerce(const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (type) {
    case AttributeType::String:
        if (value.typeId() == QMetaType::QString)
            return value;
        if (value.canConvert<QString>() && value.typeId() != QMetaType::QByteArray)
            return QVariant(value.toString());
        return {};
    case AttributeType::Integer:
        return integerFrom(value);
    case AttributeType::Double: {
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case AttributeType::Boolean:
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (const QVariant n = integerFrom(value); n.isValid())
            return QVariant(n.toLongLong() != 0);
        if (value.typeId() == QMetaType::QString) {
            const QString t = value.toString().trimmed().toLower();
            if (t == u"true" || t == u"yes")
                return QVariant(true);
            if (t == u"false" || t == u"no")
                return QVariant(false);
        }
        return {};
    case AttributeType::Date:
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().isValid() ? value : QVariant();
        if (value.typeId() == QMetaType::QDate)
            return QVariant(value.toDate().startOfDay());
        if (value.typeId() == QMetaType::QString) {
            const QDateTime dt = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
            return dt.isValid() ? QVariant(dt.toLocalTime()) : QVariant();
        }
        return {};
    case AttributeType::Binary:
        if (value.typeId() == QMetaType::QByteArray)
            return value;
        return {};
    }
    return {};
}

QString AttributeDescription::typeName(AttributeType type)
{
    for (const TypeName &t : kTypeNames)
        if (t.type == type)
            return QString::fromLatin1(t.name);
    return {};
}

const AttributeDescription *EntityDescription::attribute(const QString &name) const
{
    for (const AttributeDescription &a : attributes)
        if (a.name == name)
            return &a;
    return nullptr;
}

const RelationshipDescription *EntityDescription::relationship(const QString &name) const
{
    for (const RelationshipDescription &r : relationships)
        if (r.name == name)
            return &r;
    return nullptr;
}

struct DataModel::Data
{
    QList<EntityDescription> entities;
    QHash<QString, qsizetype> index;
    QByteArray fingerprint;
};

DataModel::DataModel() : d(std::make_shared<const Data>()) {}
DataModel::~DataModel() = default;
DataModel::DataModel(const DataModel &) = default;
DataModel &DataModel::operator=(const DataModel &) = default;

ZEM_Result<DataModel> DataModel::fromEntities(QList<EntityDescription> entities)
{
    auto data = std::make_shared<Data>();
    for (qsizetype i = 0; i < entities.size(); ++i) {
        EntityDescription &e = entities[i];
        if (e.name.isEmpty())
            return modelError(QStringLiteral("Entity %1 has no name.").arg(i + 1));
        if (data->index.contains(e.name))
            return modelError(QStringLiteral("Entity \"%1\" is defined twice.").arg(e.name));
        data->index.insert(e.name, i);
        if (e.className.isEmpty())
            e.className = e.name;
        QSet<QString> names;
        for (AttributeDescription &a : e.attributes) {
            if (a.name.isEmpty() || names.contains(a.name))
                return modelError(QStringLiteral("Entity \"%1\" has an attribute with an empty or repeated name \"%2\".")
                                      .arg(e.name, a.name));
            names.insert(a.name);
            if (a.defaultValue.isValid()) {
                const QVariant coerced = a.coerce(a.defaultValue);
                if (!coerced.isValid())
                    return modelError(QStringLiteral("The default of %1.%2 is not a %3.")
                                          .arg(e.name, a.name, AttributeDescription::typeName(a.type)));
                a.defaultValue = coerced;
            }
        }
        for (const RelationshipDescription &r : e.relationships) {
            if (r.name.isEmpty() || names.contains(r.name))
                return modelError(QStringLiteral("Entity \"%1\" has a relationship with an empty or repeated name \"%2\".")
                                      .arg(e.name, r.name));
            names.insert(r.name);
        }
    }
    for (const EntityDescription &e : std::as_const(entities)) {
        for (const RelationshipDescription &r : e.relationships) {
            const auto dest = data->index.find(r.destinationEntity);
            if (dest == data->index.end())
                return modelError(QStringLiteral("%1.%2 points to the missing entity \"%3\".")
                                      .arg(e.name, r.name, r.destinationEntity));
            if (r.inverseName.isEmpty())
                continue;
            const RelationshipDescription *inverse = entities[*dest].relationship(r.inverseName);
            if (!inverse || inverse->destinationEntity != e.name || inverse->inverseName != r.name)
                return modelError(QStringLiteral("The inverse of %1.%2 must be %3.%4 pointing back to it.")
                                      .arg(e.name, r.name, r.destinationEntity, r.inverseName));
        }
    }

    // Everything a stored layout depends on, in a fixed order.
    QByteArray canonical;
    for (const EntityDescription &e : std::as_const(entities)) {
        canonical += "E:" + e.name.toUtf8() + '\n';
        for (const AttributeDescription &a : e.attributes)
            canonical += "A:" + a.name.toUtf8() + ':' + AttributeDescription::typeName(a.type).toUtf8() + '\n';
        for (const RelationshipDescription &r : e.relationships)
            canonical += "R:" + r.name.toUtf8() + ':' + r.destinationEntity.toUtf8() + ':'
                         + r.inverseName.toUtf8() + ':' + (r.toMany ? "many" : "one") + '\n';
    }
    data->fingerprint = QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex();
    data->entities = std::move(entities);
    DataModel model;
    model.d = std::move(data);
    return model;
}

ZEM_Result<DataModel> DataModel::fromJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return modelError(QStringLiteral("The model is not valid JSON: %1 at offset %2.")
                              .arg(parseError.errorString())
                              .arg(parseError.offset));
    if (!doc.isObject() || !doc.object().value(u"entities").isArray())
        return modelError(QStringLiteral("The model has no \"entities\" list."));

    QList<EntityDescription> entities;
    for (const QJsonValue &ev : doc.object().value(u"entities").toArray()) {
        if (!ev.isObject())
            return modelError(QStringLiteral("An entity of the model is not an object."));
        const QJsonObject eo = ev.toObject();
        EntityDescription e;
        e.name = eo.value(u"name").toString();
        e.className = eo.value(u"class").toString();
        for (const QJsonValue &av : eo.value(u"attributes").toArray()) {
            const QJsonObject ao = av.toObject();
            AttributeDescription a;
            a.name = ao.value(u"name").toString();
            const QString type = ao.value(u"type").toString(QStringLiteral("string"));
            bool known = false;
            for (const TypeName &t : kTypeNames) {
                if (type == QLatin1String(t.name)) {
                    a.type = t.type;
                    known = true;
                }
            }
            if (!known)
                return modelError(QStringLiteral("%1.%2 has the unknown type \"%3\".").arg(e.name, a.name, type));
            a.optional = ao.value(u"optional").toBool(true);
            const QJsonValue def = ao.value(u"default");
            if (!def.isUndefined() && !def.isNull()) {
                if (a.type == AttributeType::Binary)
                    a.defaultValue = QByteArray::fromBase64(def.toString().toLatin1());
                else
                    a.defaultValue = def.toVariant();
            }
            e.attributes.append(a);
        }
        for (const QJsonValue &rv : eo.value(u"relationships").toArray()) {
            const QJsonObject ro = rv.toObject();
            RelationshipDescription r;
            r.name = ro.value(u"name").toString();
            r.destinationEntity = ro.value(u"destination").toString();
            r.inverseName = ro.value(u"inverse").toString();
            r.toMany = ro.value(u"toMany").toBool(false);
            const QString rule = ro.value(u"deleteRule").toString(QStringLiteral("nullify"));
            if (rule == u"nullify")
                r.deleteRule = DeleteRule::Nullify;
            else if (rule == u"cascade")
                r.deleteRule = DeleteRule::Cascade;
            else
                return modelError(QStringLiteral("%1.%2 has the unknown delete rule \"%3\".").arg(e.name, r.name, rule));
            e.relationships.append(r);
        }
        entities.append(std::move(e));
    }
    return fromEntities(std::move(entities));
}

ZEM_Result<DataModel> DataModel::fromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ZEM_Error::make(file.exists() ? ZEM_Error::ReadFailed : ZEM_Error::NotFound,
                               QStringLiteral("Cannot read the data model %1: %2").arg(path, file.errorString()),
                               {path});
    ZEM_Result<DataModel> model = fromJson(file.readAll());
    if (!model)
        return ZEM_Error::make(model.error().code, QStringLiteral("%1: %2").arg(path, model.error().message), {path});
    return model;
}

QList<EntityDescription> DataModel::entities() const
{
    return d->entities;
}

const EntityDescription *DataModel::entity(const QString &name) const
{
    const auto it = d->index.find(name);
    return it == d->index.end() ? nullptr : &d->entities.at(*it);
}

QStringList DataModel::entityNames() const
{
    QStringList names;
    names.reserve(d->entities.size());
    for (const EntityDescription &e : d->entities)
        names.append(e.name);
    return names;
}

const RelationshipDescription *DataModel::inverseOf(const QString &entityName, const QString &relationship) const
{
    const EntityDescription *e = entity(entityName);
    const RelationshipDescription *r = e ? e->relationship(relationship) : nullptr;
    if (!r || r->inverseName.isEmpty())
        return nullptr;
    const EntityDescription *dest = entity(r->destinationEntity);
    return dest ? dest->relationship(r->inverseName) : nullptr;
}

QByteArray DataModel::fingerprint() const
{
    return d->fingerprint;
}

} // namespace platform
