#pragma once
// Not installed: what the files of the XML store share. The store keeps its records as a
// graph (detail/XmlGraph.cpp) of values (detail/XmlValues.cpp); XmlStoreReader.cpp reads a
// file into a graph, XmlStoreWriter.cpp writes one out, and XmlStore.cpp fetches and saves.

#include "platform/store/DataModel.h"
#include "foundation/ZEM_Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include <limits>
#include <memory>

namespace platform::detail::xml {

// Ids stay below this so that "largest + 1" can never overflow.
constexpr qint64 kMaxNumber = std::numeric_limits<qint64>::max() - 1;

// ---------------------------------------------------------------------------------------
// The model as the store uses it: entities, attributes and relationships by index.

struct EntityInfo
{
    QString name;
    QList<AttributeDescription> attributes;
    QList<RelationshipDescription> relationships;
    QList<int> destination; // entity index per relationship
    QList<int> inverse;     // relationship index in the destination, or -1
    QHash<QString, int> attributeIndex;
    QHash<QString, int> relationshipIndex;
};

struct Schema
{
    QList<EntityInfo> entities;
    QHash<QString, int> entityIndex;
    QByteArray fingerprint;
};

/** The model by index; InvalidArgument for names the file format cannot hold. */
ZEM_Result<std::shared_ptr<const Schema>> makeSchema(const DataModel &model);

// ---------------------------------------------------------------------------------------
// The graph: records by their number, values by attribute and relationship index.

struct Record
{
    int entity = -1;
    QList<QVariant> attributes;     // invalid: no value
    QList<QList<qint64>> relations; // destination numbers, ascending; at most one for to-one
};

struct Graph
{
    QMap<qint64, Record> records;
    qint64 next = 1;
};

Record emptyRecord(const Schema &schema, int entity);
/** The object id of record \a number of \a entity. */
QString objectID(const Schema &schema, int entity, qint64 number);
/** The n of an id, as parseObjectNumber() reads it and at most kMaxNumber. */
bool parseNumber(QStringView digits, qint64 *number);
/** "<entity>/<n>" split into its parts; false when it is not of that form. */
bool splitID(QStringView id, QStringView *entity, qint64 *number);
bool containsSorted(const QList<qint64> &list, qint64 n);
Record *findRecord(Graph &graph, qint64 n);

/** Links \a from to \a to through \a rel, both sides, replacing what a to-one side held. */
void link(Graph &graph, const Schema &schema, qint64 from, int rel, qint64 to);
/** Removes the links of \a from through \a rel to each of \a targets (ascending), both sides. */
void unlinkAll(Graph &graph, const Schema &schema, qint64 from, int rel, const QList<qint64> &targets);
/** Whether \a rel of \a entity is derived from the other side rather than stored on its own. */
bool isDerivedSide(const Schema &schema, int entity, int rel);

// ---------------------------------------------------------------------------------------
// Values as text.

/** Whether XML 1.0 can carry \a text exactly as element content. */
bool isXmlSafe(QStringView text);
/** The name of \a type in the file. */
const QString &typeWord(AttributeType type);

struct EncodedValue
{
    QString text;
    QString encoding; // empty for plain text
};

EncodedValue encodeValue(AttributeType type, const QVariant &value);
/** The value \a text stands for, or an empty QVariant with \a why filled in. */
QVariant decodeValue(AttributeType type, const QString &text, const QString &encoding, QString *why);
/** A value as the graph keeps it: dates in UTC, as in the file. */
QVariant normalized(AttributeType type, const QVariant &value);
/** Same type and value, with NaN equal to NaN and -0 apart from 0. */
bool sameValue(const QVariant &a, const QVariant &b);

// ---------------------------------------------------------------------------------------
// Reading and writing.

/** The graph in \a bytes; errors name \a source with line and column. */
ZEM_Result<Graph> readGraph(const Schema &schema, const QByteArray &bytes, const QString &source);
/** The file as XmlStore documents it. */
QByteArray serialize(const Schema &schema, const Graph &graph);

} // namespace platform::detail::xml
