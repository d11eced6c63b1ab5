#pragma once

#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace platform {

/** The value types an attribute can hold, and the QVariant type each is kept as. */
enum class AttributeType {
    String,  ///< QString
    Integer, ///< qint64
    Double,  ///< double
    Boolean, ///< bool
    Date,    ///< QDateTime (stored to the millisecond, read back in local time)
    Binary,  ///< QByteArray
};

enum class DeleteRule {
    Nullify, ///< the related records let go of the deleted one
    Cascade, ///< the related records are deleted too
};

struct ZEM_APPKIT_EXPORT AttributeDescription
{
    QString name;
    AttributeType type = AttributeType::String;
    /** Given to a newly inserted record; invalid for none. */
    QVariant defaultValue;
    bool optional = true;

    /** \a value converted to this attribute's type; invalid when it cannot be. */
    QVariant coerce(const QVariant &value) const;
    static QString typeName(AttributeType type);
};

struct ZEM_APPKIT_EXPORT RelationshipDescription
{
    QString name;
    QString destinationEntity;
    /** The relationship of the destination that points back, or empty for none. */
    QString inverseName;
    bool toMany = false;
    DeleteRule deleteRule = DeleteRule::Nullify;
};

struct ZEM_APPKIT_EXPORT EntityDescription
{
    QString name;
    /** The record class (ZEM_RECORD_CLASS name) records of the entity are created as. */
    QString className;
    QList<AttributeDescription> attributes;
    QList<RelationshipDescription> relationships;

    const AttributeDescription *attribute(const QString &name) const;
    const RelationshipDescription *relationship(const QString &name) const;
};

/**
 * A data model: the entities a store holds, with their attributes and relationships.
 * Loaded from a JSON file:
 *
 * \code
 * { "entities": [
 *     { "name": "Person", "class": "ZEM_A_C_MO_AddressBook",
 *       "attributes": [ { "name": "lastName", "type": "string", "default": "" },
 *                       { "name": "born", "type": "date", "optional": true } ],
 *       "relationships": [ { "name": "groups", "destination": "Group", "toMany": true,
 *                            "inverse": "members", "deleteRule": "nullify" } ] } ] }
 * \endcode
 *
 * Types are "string", "integer", "double", "boolean", "date" (defaults in ISO 8601) and
 * "binary" (defaults in base 64); delete rules "nullify" (the default) and "cascade".
 * A model is checked whole when it is loaded: unknown types, duplicate names, relations
 * to missing entities and inverses that do not point back are errors.
 */
class ZEM_APPKIT_EXPORT DataModel
{
public:
    DataModel();
    ~DataModel();
    DataModel(const DataModel &);
    DataModel &operator=(const DataModel &);

    static ZEM_Result<DataModel> fromJson(const QByteArray &json);
    static ZEM_Result<DataModel> fromFile(const QString &path);
    /** Checks \a entities the way fromJson() does. */
    static ZEM_Result<DataModel> fromEntities(QList<EntityDescription> entities);

    QList<EntityDescription> entities() const;
    const EntityDescription *entity(const QString &name) const;
    QStringList entityNames() const;
    /** The inverse of \a relationship of \a entity, or null. */
    const RelationshipDescription *inverseOf(const QString &entity, const QString &relationship) const;
    /** A stable text that changes whenever anything a store's layout depends on changes. */
    QByteArray fingerprint() const;

private:
    struct Data;
    std::shared_ptr<const Data> d;
};

} // namespace platform
