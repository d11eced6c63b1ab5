// The XML store's writer: a graph as the file XmlStore documents.

#include "platform/store/XmlStore_p.h"

namespace platform::detail::xml {

namespace {

// Appends \a text to \a out as XML character data, or as an attribute value (where
// whitespace other than spaces is escaped too, since readers turn it into spaces).
void appendEscaped(QByteArray &out, QStringView text, bool attribute)
{
    const QByteArray utf8 = text.toUtf8();
    const char *begin = utf8.constData();
    const char *end = begin + utf8.size();
    const char *plain = begin;
    for (const char *p = begin; p != end; ++p) {
        const char *entity = nullptr;
        switch (*p) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '\r':
            entity = "&#13;";
            break;
        case '"':
            entity = attribute ? "&quot;" : nullptr;
            break;
        case '\t':
            entity = attribute ? "&#9;" : nullptr;
            break;
        case '\n':
            entity = attribute ? "&#10;" : nullptr;
            break;
        default:
            break;
        }
        if (!entity)
            continue;
        out.append(plain, p - plain);
        out.append(entity);
        plain = p + 1;
    }
    out.append(plain, end - plain);
}

} // namespace

// the format is small and flat, and large stores save several times faster this way.
// Every text reaching here is XML-safe (names are checked with the model, values encoded).
QByteArray serialize(const Schema &schema, const Graph &graph)
{
    QByteArray out;
    out.reserve(qsizetype(graph.records.size()) * 160 + 256);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<store version=\"1\" model=\"";
    appendEscaped(out, QString::fromLatin1(schema.fingerprint), true);
    out += "\" next=\"" + QByteArray::number(graph.next) + "\">\n";
    // Names as they appear in the file, escaped once.
    QList<QByteArray> entityNames;
    QList<QList<QByteArray>> attributeStarts, relationshipStarts, destinationPrefixes;
    for (const EntityInfo &entity : schema.entities) {
        QByteArray name;
        appendEscaped(name, entity.name, true);
        entityNames.append(name);
        QList<QByteArray> starts;
        for (const AttributeDescription &a : entity.attributes) {
            QByteArray start = "        <attribute name=\"";
            appendEscaped(start, a.name, true);
            start += "\" type=\"" + typeWord(a.type).toLatin1() + '"';
            starts.append(start);
        }
        attributeStarts.append(starts);
        starts.clear();
        for (const RelationshipDescription &r : entity.relationships) {
            QByteArray start = "        <relationship name=\"";
            appendEscaped(start, r.name, true);
            start += r.toMany ? "\" type=\"to-many\">" : "\" type=\"to-one\">";
            starts.append(start);
        }
        relationshipStarts.append(starts);
    }
    for (qsizetype e = 0; e < schema.entities.size(); ++e) {
        QList<QByteArray> prefixes;
        for (int destination : schema.entities.at(e).destination) {
            QByteArray prefix;
            appendEscaped(prefix, schema.entities.at(destination).name, false);
            prefixes.append(prefix + '/');
        }
        destinationPrefixes.append(prefixes);
    }

    for (auto it = graph.records.cbegin(); it != graph.records.cend(); ++it) {
        const Record &record = it.value();
        const EntityInfo &entity = schema.entities.at(record.entity);
        out += "    <object entity=\"" + entityNames.at(record.entity) + "\" id=\"" +
               QByteArray::number(it.key());
        bool empty = true;
        for (qsizetype a = 0; a < record.attributes.size(); ++a) {
            const QVariant &value = record.attributes.at(a);
            if (!value.isValid())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            const EncodedValue encoded = encodeValue(entity.attributes.at(a).type, value);
            out += attributeStarts.at(record.entity).at(a);
            if (!encoded.encoding.isEmpty())
                out += " encoding=\"" + encoded.encoding.toLatin1() + '"';
            out += '>';
            appendEscaped(out, encoded.text, false);
            out += "</attribute>\n";
        }
        for (qsizetype r = 0; r < record.relations.size(); ++r) {
            const QList<qint64> &targets = record.relations.at(r);
            if (targets.isEmpty())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            out += relationshipStarts.at(record.entity).at(r);
            const QByteArray &prefix = destinationPrefixes.at(record.entity).at(r);
            for (qsizetype i = 0; i < targets.size(); ++i) {
                if (i)
                    out += ' ';
                out += prefix;
                out += QByteArray::number(targets.at(i));
            }
            out += "</relationship>\n";
        }
        out += empty ? "\"/>\n" : "    </object>\n";
    }
    out += "</store>\n";
    return out;
}

} // namespace platform::detail::xml
