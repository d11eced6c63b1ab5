// What a host finds through PersistentStore::fetchObjectIDs(), run against both stores of
// the kit (the store type is the first column of every data table): whatever a store does
// in SQL or in memory, it finds what evaluating the loaded values with Predicate finds.

#include "StoreTestSupport.h"
#include "ZemTestEnv.h"

#include "platform/store/Predicate.h"

using namespace platform;
using namespace storetest;
using namespace Qt::StringLiterals;

namespace {

// One step of a key path over loaded values: into a map, or into each map of a list.
QVariant step(const QVariant &value, const QString &key)
{
    if (value.typeId() == QMetaType::QVariantMap)
        return value.toMap().value(key);
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList out;
        for (const QVariant &element : value.toList()) {
            const QVariant v = step(element, key);
            if (v.typeId() == QMetaType::QVariantList)
                out.append(v.toList());
            else
                out.append(v);
        }
        return out;
    }
    return {};
}

QVariant atPath(const QVariantMap &values, const QString &keyPath)
{
    QVariant v = values;
    for (const QString &key : keyPath.split(u'.'))
        v = step(v, key);
    return v;
}

// "title:a,ratio:d,title:ai" → sort descriptors (a/d: ascending or not, i: ignoring case).
QList<SortDescriptor> sortsFrom(const QString &text)
{
    QList<SortDescriptor> sorts;
    for (const QString &item : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(u':');
        SortDescriptor sort;
        sort.keyPath = parts.value(0);
        sort.ascending = !parts.value(1).startsWith(u'd');
        sort.caseInsensitive = parts.value(1).endsWith(u'i');
        sorts.append(sort);
    }
    return sorts;
}

// An event's loaded values with its calendar's and tags' values in place of their refs.
QVariantMap nestedEvent(PersistentStore &store, const QString &id)
{
    QVariantMap values = load(store, u"Event"_s, id);
    if (values.contains(u"calendar"_s)) {
        const ObjectRef ref = values.value(u"calendar"_s).value<ObjectRef>();
        values.insert(u"calendar"_s, load(store, ref.entityName, ref.objectID));
    }
    QVariantList tags;
    for (const ObjectRef &ref : values.value(u"tags"_s).value<ObjectRefList>())
        tags.append(load(store, ref.entityName, ref.objectID));
    values.insert(u"tags"_s, tags);
    return values;
}

} // namespace

class tst_StoreFetchContract : public QObject
{
    Q_OBJECT

private:
    ContractFixture m_fixture;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.build()); }

    void fetchMatchesMemory_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("sorts");
        QTest::addColumn<int>("limit");
        const QDateTime noon(QDate(2026, 1, 10), QTime(12, 0), Qt::UTC);
        const QList<std::tuple<const char *, QString, QVariantList>> filters{
            {"text equal", u"title == 'Alpha'"_s, {}},
            {"text not equal counts missing", u"title != 'Alpha'"_s, {}},
            {"equal ignoring case", u"title ==[c] 'ALPHA'"_s, {}},
            {"contains [cd]", u"title CONTAINS[cd] 'APF'"_s, {}},
            {"begins with astral", u"title BEGINSWITH %@"_s, {u"\U0001F600"_s}},
            {"like with astral", u"title LIKE '*\U0001F389*'"_s, {}},
            {"text order, code points", u"title > '\uFFFC'"_s, {}},
            {"text below", u"title < 'b'"_s, {}},
            {"matches", u"title MATCHES '[A-Z].*'"_s, {}},
            {"integer range", u"count >= 2 AND count <= 7"_s, {}},
            {"integer vs double", u"count > 2.5"_s, {}},
            {"largest integer", u"count == %@"_s, {std::numeric_limits<qint64>::max()}},
            {"double order skips NaN", u"ratio < 0.5"_s, {}},
            {"double not equal", u"ratio != 0.25"_s, {}},
            {"present value", u"ratio != nil"_s, {}},
            {"boolean", u"done == YES"_s, {}},
            {"false or missing", u"done == NO OR done == nil"_s, {}},
            {"date after", u"start > %@"_s, {noon}},
            {"binary equal", u"payload == %@"_s, {QByteArray("\0a", 2)}},
            {"in list", u"count IN {1, 3, 5}"_s, {}},
            {"text in list", u"title IN {'Alpha', 'beta'}"_s, {}},
            {"number against text", u"title == 3 OR count == '3' OR title == 'Zeta'"_s, {}},
            {"constant on the left", u"3 < count"_s, {}},
            {"substring IN", u"'eta' IN title"_s, {}},
            {"to-one path", u"calendar.title == 'Work'"_s, {}},
            {"to-one path, not equal", u"calendar.title != 'Work'"_s, {}},
            {"no calendar", u"calendar == nil"_s, {}},
            {"to-many path", u"ANY tags.name == 'urgent'"_s, {}},
            {"to-many in a conjunction", u"tags.name == 'later' AND count > 1"_s, {}},
            {"two key paths", u"count < ratio"_s, {}},
            {"negation", u"NOT (title CONTAINS 'a') AND count < 4"_s, {}},
            {"negated missing", u"NOT (ratio > 0)"_s, {}},
            {"key argument", u"%K ENDSWITH[c] %@"_s, {u"title"_s, u"PARTY"_s}},
            {"always", u"TRUEPREDICATE"_s, {}},
            {"never", u"FALSEPREDICATE"_s, {}},
        };
        const QList<std::tuple<const char *, QString, QString, int>> orders{
            {"sort by title", {}, u"title:a"_s, 0},
            {"sort by title descending", {}, u"title:d"_s, 0},
            {"sort by title ignoring case", {}, u"title:ai"_s, 0},
            {"sort by title ignoring case, descending", {}, u"title:di"_s, 0},
            {"sort by ratio with NaN and missing", {}, u"ratio:a"_s, 0},
            {"sort by ratio descending", {}, u"ratio:d"_s, 0},
            {"ties keep insertion order", {}, u"done:a"_s, 0},
            {"sort by two keys", {}, u"done:a,count:d"_s, 0},
            {"sort by dates", {}, u"start:a"_s, 0},
            {"sort by binary", {}, u"payload:d"_s, 0},
            {"sort by to-one path", {}, u"calendar.title:a,title:a"_s, 0},
            {"sort by to-many path", {}, u"tags.name:d"_s, 0},
            {"limit", {}, u"count:a"_s, 3},
            {"filter, sort, limit", u"title != nil"_s, u"title:d"_s, 4},
            {"memory filter with limit", u"ANY tags.name == 'later' OR count > 4"_s, u"count:a"_s, 2},
            {"limit only", u"done == NO"_s, {}, 1},
        };
        for (const QString &type : kStoreTypes) {
            for (const auto &[tag, format, arguments] : filters)
                QTest::addRow("%s: %s", qPrintable(type), tag) << type << format << arguments << QString() << 0;
            for (const auto &[tag, format, sorts, limit] : orders)
                QTest::addRow("%s: %s", qPrintable(type), tag) << type << format << QVariantList() << sorts << limit;
        }
    }

    void fetchMatchesMemory()
    {
        QFETCH(QString, store);
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, sorts);
        QFETCH(int, limit);
        Predicate predicate;
        if (!format.isEmpty()) {
            auto parsed = Predicate::parse(format, arguments);
            QVERIFY2(parsed, why(parsed));
            predicate = *parsed;
        }
        const QList<SortDescriptor> descriptors = sortsFrom(sorts);
        auto reader = m_fixture.open(store, m_fixture.samplePath.value(store), true);
        QVERIFY(reader);
        const QStringList events = m_fixture.sampleEvents.value(store);
        QList<std::pair<QString, QVariantMap>> rows;
        for (const QString &id : events) {
            const QVariantMap values = nestedEvent(*reader, id);
            if (predicate.evaluate(values))
                rows.append({id, values});
        }
        std::stable_sort(rows.begin(), rows.end(), [&descriptors](const auto &a, const auto &b) {
            return SortDescriptor::compare(
                       descriptors, [&a](const QString &k) { return atPath(a.second, k); },
                       [&b](const QString &k) { return atPath(b.second, k); })
                   < 0;
        });
        QStringList expected;
        for (const auto &row : std::as_const(rows))
            expected.append(row.first);
        if (limit > 0)
            expected = expected.mid(0, limit);
        auto fetched = reader->fetchObjectIDs({u"Event"_s, predicate, descriptors, limit});
        QVERIFY2(fetched, why(fetched));
        QCOMPARE(*fetched, expected);
        // The sample must tell matching from not matching.
        if (sorts.isEmpty() && !format.endsWith(u"PREDICATE"_s))
            QVERIFY2(!rows.isEmpty() && rows.size() < events.size(), qPrintable(expected.join(u' ')));
    }

    void fetchByRecord_data() { storeRows(); }

    void fetchByRecord()
    {
        QFETCH(QString, store);
        auto reader = m_fixture.open(store, m_fixture.samplePath.value(store), true);
        QVERIFY(reader);
        const QStringList events = m_fixture.sampleEvents.value(store);
        StoreContext context;
        context.setPersistentStore(reader.get());
        const QString workID = load(*reader, u"Event"_s, events.at(0)).value(u"calendar"_s).value<ObjectRef>().objectID;
        PersistentObject *work = context.registerObject(u"Calendar"_s, workID);
        QStringList inWork;
        for (const QString &id : events)
            if (load(*reader, u"Event"_s, id).value(u"calendar"_s).value<ObjectRef>().objectID == workID)
                inWork.append(id);
        QCOMPARE(inWork.size(), 2);
        const auto fetch = [&](const QString &format, const QVariant &argument) {
            return reader->fetchObjectIDs({u"Event"_s, *Predicate::parse(format, {argument}), {}, 0})
                .value_or(QStringList{u"(failed)"_s});
        };
        QCOMPARE(fetch(u"calendar == %@"_s, PersistentObject::toVariant(work)), inWork);
        QCOMPARE(fetch(u"calendar IN %@"_s, PersistentObject::toVariant(RecordSet{work})), inWork);
        QCOMPARE(fetch(u"calendar != %@"_s, PersistentObject::toVariant(work)).size(), events.size() - inWork.size());
    }

    void fetchRefusesUnknownKeys_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("entity");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QString>("mentions");
        QTest::addColumn<int>("code");
        for (const QString &type : kStoreTypes) {
            const auto row = [&type](const char *tag, const char16_t *entity, const char16_t *format,
                                     const char16_t *sort, const char16_t *mentions) {
                QTest::addRow("%s: %s", qPrintable(type), tag)
                    << type << QString::fromUtf16(entity) << QString::fromUtf16(format) << QString::fromUtf16(sort)
                    << QString::fromUtf16(mentions) << int(ZEM_Error::InvalidArgument);
            };
            row("unknown key", u"Event", u"location == 'x'", u"", u"location");
            row("past an attribute", u"Event", u"title.length == 1", u"", u"title");
            row("unknown after a relation", u"Event", u"calendar.owner == nil", u"", u"owner");
            row("unknown sort key", u"Event", u"", u"priority:a", u"priority");
            QTest::addRow("%s: unknown entity", qPrintable(type))
                << type << u"Meeting"_s << QString() << QString() << u"Meeting"_s
                << int(type == kSqlite ? ZEM_Error::NotFound : ZEM_Error::InvalidArgument);
        }
    }

    void fetchRefusesUnknownKeys()
    {
        QFETCH(QString, store);
        QFETCH(QString, entity);
        QFETCH(QString, format);
        QFETCH(QString, sort);
        QFETCH(QString, mentions);
        QFETCH(int, code);
        auto reader = m_fixture.open(store, m_fixture.samplePath.value(store), true);
        QVERIFY(reader);
        const Predicate predicate = format.isEmpty() ? Predicate() : *Predicate::parse(format);
        auto fetched = reader->fetchObjectIDs({entity, predicate, sortsFrom(sort), 0});
        QVERIFY(!fetched);
        QCOMPARE(int(fetched.error().code), code);
        QVERIFY2(fetched.error().message.contains(mentions), why(fetched));
    }
};

ZEM_TEST_MAIN(tst_StoreFetchContract)
#include "tst_StoreFetchContract.moc"
