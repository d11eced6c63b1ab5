// The XML store's reader: a file into a graph, refusing anything the format does not allow,
// with errors that name the line and column.

#include "platform/store/XmlStore_p.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace platform::detail::xml {

namespace {

class Reader
{
public:
    Reader(const Schema &schema, const QByteArray &bytes, QString source)
        : m_schema(schema), m_xml(bytes), m_source(std::move(source))
    {
    }

    ZEM_Result<Graph> run()
    {
        bool sawRoot = false;
        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                // Refused outright: entity declarations are how expansion attacks start.
                fail(QStringLiteral("document type declarations are not allowed"));
                break;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("unknown entity reference \"&%1;\"").arg(m_xml.name()));
                break;
            case QXmlStreamReader::StartElement:
                if (m_xml.name() != u"store") {
                    fail(QStringLiteral("the root element is <%1>, not <store>").arg(m_xml.name()));
                    break;
                }
                sawRoot = true;
                readStore();
                break;
            default:
                break;
            }
        }
        if (!m_failed && m_xml.hasError()) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                fail(sawRoot ? QStringLiteral("the data ends early (is the file cut short?)")
                             : QStringLiteral("there is no <store> element"));
            else
                fail(notWellFormed());
        }
        if (!m_failed && !sawRoot)
            fail(QStringLiteral("there is no <store> element"));
        if (!m_failed)
            resolveLinks();
        if (m_failed)
            return m_error;
        m_graph.next =
            std::max(m_graph.next, m_graph.records.isEmpty() ? 1 : m_graph.records.lastKey() + 1);
        return std::move(m_graph);
    }

private:
    struct PendingLinks
    {
        qint64 record;
        int relationship;
        QList<qint64> targets;
        qint64 line, column;
    };

    QString notWellFormed() const
    {
        QString why = m_xml.errorString();
        while (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        return QStringLiteral("the XML is not well-formed: %1").arg(why);
    }

    QString where(qint64 line, qint64 column) const
    {
        return QStringLiteral("%1, line %2, column %3").arg(m_source).arg(line).arg(column);
    }

    void fail(const QString &what, ZEM_Error::Code code = ZEM_Error::ParseFailed)
    {
        failAt(what, m_xml.lineNumber(), m_xml.columnNumber(), code);
    }

    void failAt(const QString &what, qint64 line, qint64 column,
                ZEM_Error::Code code = ZEM_Error::ParseFailed)
    {
        if (m_failed)
            return;
        m_failed = true;
        m_error = ZEM_Error::make(code, QStringLiteral("%1: %2.").arg(where(line, column), what),
                                  {m_source, QString::number(line), QString::number(column)});
    }

    // False (and failed) when the element has an attribute other than \a allowed.
    bool onlyAttributes(std::initializer_list<const char16_t *> allowed)
    {
        for (const QXmlStreamAttribute &a : m_xml.attributes()) {
            const bool known =
                std::any_of(allowed.begin(), allowed.end(), [&](const char16_t *name) {
                    return a.qualifiedName() == QStringView(name);
                });
            if (!known) {
                fail(QStringLiteral("<%1> has the unexpected attribute \"%2\"")
                         .arg(m_xml.name(), a.qualifiedName()));
                return false;
            }
        }
        return true;
    }

    // Skips what may stand between elements; false (and failed) for anything else.
    bool skippable()
    {
        switch (m_xml.tokenType()) {
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            return true;
        case QXmlStreamReader::Characters:
            if (m_xml.isWhitespace())
                return true;
            fail(QStringLiteral("unexpected text \"%1\"").arg(m_xml.text().trimmed().left(20)));
            return false;
        case QXmlStreamReader::EntityReference:
            fail(QStringLiteral("unknown entity reference \"&%1;\"").arg(m_xml.name()));
            return false;
        default:
            fail(QStringLiteral("unexpected %1").arg(m_xml.tokenString()));
            return false;
        }
    }

    // The format is flat (store, object, value) and every other element is refused where
    // it starts, so nesting never goes deeper than three levels.
    void readStore()
    {
        if (!onlyAttributes({u"version", u"model", u"next"}))
            return;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        if (attributes.value(QLatin1String("version")) != u"1") {
            fail(attributes.hasAttribute(QLatin1String("version"))
                     ? QStringLiteral("the store version \"%1\" is not supported")
                           .arg(attributes.value(QLatin1String("version")))
                     : QStringLiteral("<store> has no version"));
            return;
        }
        if (attributes.value(QLatin1String("model")) != QLatin1String(m_schema.fingerprint)) {
            fail(QStringLiteral(
                     "the file was written for another data model (model \"%1\", expected \"%2\")")
                     .arg(attributes.value(QLatin1String("model")),
                          QLatin1String(m_schema.fingerprint)),
                 ZEM_Error::Conflict);
            return;
        }
        if (attributes.hasAttribute(QLatin1String("next"))) {
            bool ok = false;
            const QStringView text = attributes.value(QLatin1String("next"));
            const qint64 next = text.toLongLong(&ok);
            if (!ok || next < 1 || next > kMaxNumber + 1) {
                fail(QStringLiteral("\"%1\" is not a valid next id").arg(text));
                return;
            }
            m_graph.next = next;
        }
        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (m_xml.name() != u"object") {
                    fail(QStringLiteral("unexpected element <%1> in <store>").arg(m_xml.name()));
                    return;
                }
                readObject();
                break;
            case QXmlStreamReader::EndElement:
                return;
            case QXmlStreamReader::Invalid:
                return; // the reader's error is reported by run()
            default:
                if (!skippable())
                    return;
            }
        }
    }

    void readObject()
    {
        if (!onlyAttributes({u"entity", u"id"}))
            return;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString entityName = attributes.value(QLatin1String("entity")).toString();
        const int entity = m_schema.entityIndex.value(entityName, -1);
        if (entity < 0) {
            fail(attributes.hasAttribute(QLatin1String("entity"))
                     ? QStringLiteral("the entity \"%1\" is not in the data model").arg(entityName)
                     : QStringLiteral("<object> has no entity"));
            return;
        }
        const QStringView idText = attributes.value(QLatin1String("id"));
        qint64 number = 0;
        if (!parseNumber(idText, &number)) {
            fail(attributes.hasAttribute(QLatin1String("id"))
                     ? QStringLiteral("\"%1\" is not a valid id").arg(idText)
                     : QStringLiteral("<object> has no id"));
            return;
        }
        if (const auto other = m_graph.records.constFind(number); other != m_graph.records.cend()) {
            fail(QStringLiteral("the id %1 is used twice (%2 and %3)")
                     .arg(number)
                     .arg(m_schema.entities.at(other->entity).name, entityName));
            return;
        }
        const EntityInfo &info = m_schema.entities.at(entity);
        Record record = emptyRecord(m_schema, entity);
        QList<bool> seenRelationship(info.relationships.size(), false);

        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (m_xml.name() == u"attribute")
                    readAttribute(info, entityName, record);
                else if (m_xml.name() == u"relationship")
                    readRelationship(info, entityName, number, seenRelationship);
                else
                    fail(QStringLiteral("unexpected element <%1> in <object>").arg(m_xml.name()));
                break;
            case QXmlStreamReader::EndElement:
                m_graph.records.insert(number, std::move(record));
                return;
            case QXmlStreamReader::Invalid:
                return;
            default:
                if (!skippable())
                    return;
            }
        }
    }

    // The element's text; on a child element or bad XML the reader fails.
    QString elementText()
    {
        QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError() && !m_failed) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                fail(QStringLiteral("the data ends early (is the file cut short?)"));
            else
                fail(notWellFormed());
        }
        return text;
    }

    void readAttribute(const EntityInfo &info, const QString &entityName, Record &record)
    {
        if (!onlyAttributes({u"name", u"type", u"encoding"}))
            return;
        const qint64 line = m_xml.lineNumber(), column = m_xml.columnNumber();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        const int index = info.attributeIndex.value(name, -1);
        if (index < 0) {
            fail(QStringLiteral("%1 has no attribute \"%2\" in the data model")
                     .arg(entityName, name));
            return;
        }
        const AttributeDescription &desc = info.attributes.at(index);
        if (attributes.hasAttribute(QLatin1String("type")) &&
            attributes.value(QLatin1String("type")) != typeWord(desc.type)) {
            fail(QStringLiteral("%1.%2 is of type %3, not %4")
                     .arg(entityName, name, typeWord(desc.type),
                          attributes.value(QLatin1String("type"))));
            return;
        }
        if (record.attributes.at(index).isValid()) {
            fail(QStringLiteral("%1.%2 is given twice").arg(entityName, name));
            return;
        }
        const QString encoding = attributes.value(QLatin1String("encoding")).toString();
        const QString text = elementText();
        if (m_failed)
            return;
        QString why;
        const QVariant value = decodeValue(desc.type, text, encoding, &why);
        if (!value.isValid()) {
            failAt(QStringLiteral("%1.%2: %3").arg(entityName, name, why), line, column);
            return;
        }
        record.attributes[index] = value;
    }

    void readRelationship(const EntityInfo &info, const QString &entityName, qint64 number,
                          QList<bool> &seen)
    {
        if (!onlyAttributes({u"name", u"type"}))
            return;
        const qint64 line = m_xml.lineNumber(), column = m_xml.columnNumber();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        const int index = info.relationshipIndex.value(name, -1);
        if (index < 0) {
            fail(QStringLiteral("%1 has no relationship \"%2\" in the data model")
                     .arg(entityName, name));
            return;
        }
        const RelationshipDescription &desc = info.relationships.at(index);
        const QString kind = desc.toMany ? QStringLiteral("to-many") : QStringLiteral("to-one");
        if (attributes.hasAttribute(QLatin1String("type")) &&
            attributes.value(QLatin1String("type")) != kind) {
            fail(QStringLiteral("%1.%2 is %3, not %4")
                     .arg(entityName, name, kind, attributes.value(QLatin1String("type"))));
            return;
        }
        if (seen.at(index)) {
            fail(QStringLiteral("%1.%2 is given twice").arg(entityName, name));
            return;
        }
        seen[index] = true;
        const QString text = elementText();
        if (m_failed)
            return;
        const QString &destination = m_schema.entities.at(info.destination.at(index)).name;
        PendingLinks pending{number, index, {}, line, column};
        const QStringView all(text);
        qsizetype i = 0;
        while (i < all.size()) {
            while (i < all.size() && all[i].isSpace())
                ++i;
            qsizetype end = i;
            while (end < all.size() && !all[end].isSpace())
                ++end;
            if (end == i)
                break;
            const QStringView word = all.mid(i, end - i);
            QStringView refEntity;
            qint64 ref = 0;
            if (!splitID(word, &refEntity, &ref)) {
                failAt(QStringLiteral("%1.%2: \"%3\" is not an object id")
                           .arg(entityName, name, word.left(40)),
                       line, column);
                return;
            }
            if (refEntity != destination) {
                failAt(QStringLiteral("%1/%2.%3 points to %4, but it holds %5 objects only")
                           .arg(entityName)
                           .arg(number)
                           .arg(name, word, destination),
                       line, column);
                return;
            }
            pending.targets.append(ref);
            i = end;
        }
        // In id order, so that linking appends rather than inserts.
        std::sort(pending.targets.begin(), pending.targets.end());
        pending.targets.erase(std::unique(pending.targets.begin(), pending.targets.end()),
                              pending.targets.end());
        if (!desc.toMany && pending.targets.size() > 1) {
            failAt(QStringLiteral("%1.%2 is to-one but names %3 objects")
                       .arg(entityName, name)
                       .arg(pending.targets.size()),
                   line, column);
            return;
        }
        m_pending.append(std::move(pending));
    }

    void resolveLinks()
    {
        // Checked first, so that a bad reference is reported wherever it is.
        for (const PendingLinks &p : std::as_const(m_pending)) {
            const EntityInfo &entity =
                m_schema.entities.at(m_graph.records.constFind(p.record)->entity);
            const int destination = entity.destination.at(p.relationship);
            for (qint64 n : p.targets) {
                const auto target = m_graph.records.constFind(n);
                if (target != m_graph.records.cend() && target->entity == destination)
                    continue;
                const QString what = QStringLiteral("%1/%2.%3")
                                         .arg(entity.name)
                                         .arg(p.record)
                                         .arg(entity.relationships.at(p.relationship).name);
                const QString ref = objectID(m_schema, destination, n);
                if (target == m_graph.records.cend())
                    failAt(
                        QStringLiteral("%1 points to %2, which is not in the file").arg(what, ref),
                        p.line, p.column);
                else
                    failAt(QStringLiteral("%1 names %2, but object %3 is a %4")
                               .arg(what, ref)
                               .arg(n)
                               .arg(m_schema.entities.at(target->entity).name),
                           p.line, p.column);
                return;
            }
        }
        // Then linked in id order, so both sides agree whatever the file said.
        std::stable_sort(
            m_pending.begin(), m_pending.end(),
            [](const PendingLinks &a, const PendingLinks &b) { return a.record < b.record; });
        m_graph.records.detach();
        for (const PendingLinks &p : std::as_const(m_pending)) {
            const int entity = m_graph.records.constFind(p.record)->entity;
            if (isDerivedSide(m_schema, entity, p.relationship))
                continue;
            for (qint64 target : p.targets)
                link(m_graph, m_schema, p.record, p.relationship, target);
        }
    }

    const Schema &m_schema;
    QXmlStreamReader m_xml;
    QString m_source;
    Graph m_graph;
    QList<PendingLinks> m_pending;
    bool m_failed = false;
    ZEM_Error m_error;
};

} // namespace

ZEM_Result<Graph> readGraph(const Schema &schema, const QByteArray &bytes, const QString &source)
{
    return Reader(schema, bytes, source).run();
}

} // namespace platform::detail::xml
