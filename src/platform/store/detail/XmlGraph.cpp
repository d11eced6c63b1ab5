// The XML store's records as a graph: the model by index, records by their number, and
// links kept on both sides.

#include "platform/store/XmlStore_p.h"

#include "platform/store/detail/ObjectIDText.h"

#include <algorithm>

namespace platform::detail::xml {

namespace {

bool hasSpace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

} // namespace

ZEM_Result<std::shared_ptr<const Schema>> makeSchema(const DataModel &model)
{
    auto schema = std::make_shared<Schema>();
    schema->fingerprint = model.fingerprint();
    const QList<EntityDescription> entities = model.entities();
    for (const EntityDescription &e : entities) {
        schema->entityIndex.insert(e.name, int(schema->entities.size()));
        schema->entities.append(EntityInfo());
    }
    for (qsizetype i = 0; i < entities.size(); ++i) {
        const EntityDescription &e = entities.at(i);
        // References are written as whitespace-separated "<entity>/<n>" words.
        if (e.name.isEmpty() || hasSpace(e.name) || !isXmlSafe(e.name))
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                QStringLiteral("The entity name \"%1\" cannot be kept in an XML store.")
                    .arg(e.name));
        EntityInfo &info = schema->entities[i];
        info.name = e.name;
        info.attributes = e.attributes;
        info.relationships = e.relationships;
        for (qsizetype a = 0; a < e.attributes.size(); ++a) {
            if (!isXmlSafe(e.attributes.at(a).name))
                return ZEM_Error::make(
                    ZEM_Error::InvalidArgument,
                    QStringLiteral("The name of an attribute of %1 cannot be kept in XML.")
                        .arg(e.name));
            info.attributeIndex.insert(e.attributes.at(a).name, int(a));
        }
        for (qsizetype r = 0; r < e.relationships.size(); ++r) {
            const RelationshipDescription &rel = e.relationships.at(r);
            if (!isXmlSafe(rel.name))
                return ZEM_Error::make(
                    ZEM_Error::InvalidArgument,
                    QStringLiteral("The name of a relationship of %1 cannot be kept in XML.")
                        .arg(e.name));
            info.relationshipIndex.insert(rel.name, int(r));
            const int dest = schema->entityIndex.value(rel.destinationEntity, -1);
            if (dest < 0)
                return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                       QStringLiteral("%1.%2 points to the missing entity \"%3\".")
                                           .arg(e.name, rel.name, rel.destinationEntity));
            info.destination.append(dest);
            const EntityDescription &destination = entities.at(dest);
            int inverse = -1;
            if (!rel.inverseName.isEmpty()) {
                for (qsizetype k = 0; k < destination.relationships.size(); ++k)
                    if (destination.relationships.at(k).name == rel.inverseName)
                        inverse = int(k);
            }
            info.inverse.append(inverse);
        }
    }
    return std::shared_ptr<const Schema>(std::move(schema));
}

Record emptyRecord(const Schema &schema, int entity)
{
    Record r;
    r.entity = entity;
    r.attributes.resize(schema.entities.at(entity).attributes.size());
    r.relations.resize(schema.entities.at(entity).relationships.size());
    return r;
}

QString objectID(const Schema &schema, int entity, qint64 number)
{
    return objectIDText(schema.entities.at(entity).name, number);
}

bool parseNumber(QStringView digits, qint64 *number)
{
    qint64 n = 0;
    if (!parseObjectNumber(digits, &n) || n > kMaxNumber)
        return false;
    *number = n;
    return true;
}

bool splitID(QStringView id, QStringView *entity, qint64 *number)
{
    qint64 n = 0;
    if (!parseObjectIDText(id, entity, &n) || n > kMaxNumber)
        return false;
    *number = n;
    return true;
}

bool containsSorted(const QList<qint64> &list, qint64 n)
{
    return std::binary_search(list.cbegin(), list.cend(), n);
}

namespace {

void insertSorted(QList<qint64> &list, qint64 n)
{
    if (list.isEmpty() || list.constLast() < n) {
        list.append(n);
        return;
    }
    const auto it = std::lower_bound(list.cbegin(), list.cend(), n);
    if (it == list.cend() || *it != n)
        list.insert(it - list.cbegin(), n);
}

void removeSorted(QList<qint64> &list, qint64 n)
{
    const auto it = std::lower_bound(list.cbegin(), list.cend(), n);
    if (it != list.cend() && *it == n)
        list.removeAt(it - list.cbegin());
}

} // namespace

Record *findRecord(Graph &graph, qint64 n)
{
    const auto it = graph.records.find(n);
    return it == graph.records.end() ? nullptr : &it.value();
}

namespace {

// Both sides of a link go together; the graph must already be detached, so that record
// pointers stay valid while links change.
void unlink(Graph &graph, const Schema &schema, qint64 from, int rel, qint64 to)
{
    Record *source = findRecord(graph, from);
    if (!source)
        return;
    removeSorted(source->relations[rel], to);
    const EntityInfo &entity = schema.entities.at(source->entity);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    Record *target = findRecord(graph, to);
    if (target && target->entity == entity.destination.at(rel))
        removeSorted(target->relations[inverse], from);
}

} // namespace

// unlink() for each of \a targets (ascending), with the own side cleaned in one pass.
void unlinkAll(Graph &graph, const Schema &schema, qint64 from, int rel,
               const QList<qint64> &targets)
{
    Record *source = findRecord(graph, from);
    if (!source || targets.isEmpty())
        return;
    QList<qint64> &own = source->relations[rel];
    QList<qint64> kept;
    kept.reserve(own.size());
    std::set_difference(own.cbegin(), own.cend(), targets.cbegin(), targets.cend(),
                        std::back_inserter(kept));
    if (kept.size() == own.size())
        return;
    QList<qint64> removed;
    std::set_difference(own.cbegin(), own.cend(), kept.cbegin(), kept.cend(),
                        std::back_inserter(removed));
    own = kept;
    const EntityInfo &entity = schema.entities.at(source->entity);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    for (qint64 to : std::as_const(removed)) {
        Record *target = findRecord(graph, to);
        if (target && target->entity == entity.destination.at(rel))
            removeSorted(target->relations[inverse], from);
    }
}

void link(Graph &graph, const Schema &schema, qint64 from, int rel, qint64 to)
{
    Record *source = findRecord(graph, from);
    Record *target = findRecord(graph, to);
    if (!source || !target)
        return;
    const EntityInfo &entity = schema.entities.at(source->entity);
    if (target->entity != entity.destination.at(rel))
        return;
    if (!entity.relationships.at(rel).toMany) {
        const QList<qint64> old = source->relations.at(rel);
        for (qint64 o : old)
            if (o != to)
                unlink(graph, schema, from, rel, o);
    }
    insertSorted(source->relations[rel], to);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    if (!schema.entities.at(target->entity).relationships.at(inverse).toMany) {
        const QList<qint64> old = target->relations.at(inverse);
        for (qint64 o : old)
            if (o != from)
                unlink(graph, schema, to, inverse, o);
    }
    insertSorted(target->relations[inverse], from);
}

// Whether \a rel of \a entity is derived from the other side rather than stored on its own.
bool isDerivedSide(const Schema &schema, int entity, int rel)
{
    const EntityInfo &info = schema.entities.at(entity);
    const int inverse = info.inverse.at(rel);
    return inverse >= 0 && info.relationships.at(rel).toMany &&
           !schema.entities.at(info.destination.at(rel)).relationships.at(inverse).toMany;
}

} // namespace platform::detail::xml
