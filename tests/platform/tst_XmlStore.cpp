#include "ZemTestEnv.h"

#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreContext.h"
#include "platform/store/XmlStore.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <csignal>
#include <limits>

#include <sys/resource.h>
#include <unistd.h>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kModelJson = R"({ "entities": [
  { "name": "Person",
    "attributes": [ { "name": "name", "type": "string" }, { "name": "note", "type": "string" },
                    { "name": "age", "type": "integer" }, { "name": "score", "type": "double" },
                    { "name": "active", "type": "boolean" }, { "name": "born", "type": "date" },
                    { "name": "photo", "type": "binary" } ],
    "relationships": [ { "name": "group", "destination": "Group", "inverse": "members" },
                       { "name": "tags", "destination": "Tag", "toMany": true, "inverse": "people" },
                       { "name": "mentor", "destination": "Person" },
                       { "name": "badge", "destination": "Badge", "inverse": "owner" } ] },
  { "name": "Group", "attributes": [ { "name": "title", "type": "string" } ],
    "relationships": [ { "name": "members", "destination": "Person", "toMany": true, "inverse": "group" } ] },
  { "name": "Tag", "attributes": [ { "name": "label", "type": "string" } ],
    "relationships": [ { "name": "people", "destination": "Person", "toMany": true, "inverse": "tags" } ] },
  { "name": "Badge", "attributes": [ { "name": "code", "type": "integer" } ],
    "relationships": [ { "name": "owner", "destination": "Person", "inverse": "badge" } ] } ] })";

DataModel testModel()
{
    auto model = DataModel::fromJson(kModelJson);
    if (!model)
        qFatal("test model: %s", qPrintable(model.error().message));
    return *model;
}

// Type and value must both survive: 1 and 1.0 differ, NaN equals NaN, -0 is not 0.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid() || a.typeId() != b.typeId())
        return false;
    if (a.typeId() == QMetaType::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || (x == y && std::signbit(x) == std::signbit(y));
    }
    if (a.typeId() == QMetaType::QString)
        return a.toString() == b.toString() && a.toString().size() == b.toString().size();
    return a == b;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ObjectRef refOf(PersistentObject *record)
{
    return ObjectRef{record->entityName(), record->objectID()};
}

// QVERIFY2 builds its message even when the check passes.
template <typename T> QByteArray why(const ZEM_Result<T> &result)
{
    return result ? QByteArray() : result.error().message.toUtf8();
}

QVariant refVariant(PersistentObject *record)
{
    return QVariant::fromValue(refOf(record));
}

QString hugeString()
{
    QString s;
    for (int i = 0; i < 2000; ++i)
        s += u"zeile %1 — ünïcödé\n"_s.arg(i);
    return s;
}

} // namespace

class tst_XmlStore : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void attributeRoundTrip_data();
    void attributeRoundTrip();
    void missingAndEmptyStayApart();
    void readsHandWrittenFile();
    void idsAreUniqueAndNeverReused();
    void relationshipsKeepBothSides();
    void changingOneSideMovesTheOther();
    void deletesTakeTheirLinks();
    void inconsistentFileIsMadeConsistent();
    void fetch_data();
    void fetch();
    void fetchRefusesUnknownKeys();
    void missingFile();
    void readOnlyStoreNeverWrites();
    void badValueFailsTheWholeSave();
    void badFiles_data();
    void badFiles();
    void errorsNameTheFile();
    void entityExpansionIsRefused();
    void wrongModelIsRefused();
    void everyTruncationIsAnErrorOrTheWholeFile();
    void unwritableFolderKeepsOldFile();
    void fullDiskKeepsOldFile();
    void vanishedFolderFailsCleanly();

private:
    std::unique_ptr<XmlStore> openStore(bool readOnly = false);
    PersistentObject *person(StoreContext &context, const QString &name, int age = 0);

    DataModel m_model = testModel();
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void tst_XmlStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"store.xml"_s);
}

std::unique_ptr<XmlStore> tst_XmlStore::openStore(bool readOnly)
{
    auto store = XmlStore::open(m_model, m_path, StoreOptions{readOnly});
    if (!store) {
        qWarning() << store.error().message;
        return nullptr;
    }
    return std::move(store).value();
}

PersistentObject *tst_XmlStore::person(StoreContext &context, const QString &name, int age)
{
    PersistentObject *p = context.insertNewObject(u"Person"_s);
    p->setValueForKey(name, u"name"_s);
    if (age)
        p->setValueForKey(qint64(age), u"age"_s);
    return p;
}

void tst_XmlStore::attributeRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    const auto text = [](const char *tag, const QString &s) {
        QTest::newRow(tag) << u"note"_s << QVariant(s);
    };
    text("plain", u"Berg"_s);
    text("empty", u""_s);
    text("outer spaces", u"  both sides  "_s);
    text("only whitespace", u" \n\t \n"_s);
    text("newlines", u"one\ntwo\n\nthree\n"_s);
    text("carriage returns", u"dos\r\nline\rmac"_s);
    text("markup", u"<a href=\"x\">&amp; ]]> 'q'</a>"_s);
    text("astral", u"clef 𝄞 and face 😀 and 𠜎"_s);
    text("control chars", QString::fromUtf16(u"a\u0001b\u001fc") + QChar(0) + u"end"_s);
    text("noncharacters", QString::fromUtf16(u"x\uFFFEy\uFFFF"));
    text("lone high surrogate", u"a"_s + QChar(0xD800) + u"b"_s);
    text("lone low surrogate at end", u"a"_s + QChar(0xDC00));
    text("long", hugeString());

    QTest::newRow("int zero") << u"age"_s << QVariant(qint64(0));
    QTest::newRow("int max") << u"age"_s << QVariant(std::numeric_limits<qint64>::max());
    QTest::newRow("int min") << u"age"_s << QVariant(std::numeric_limits<qint64>::min());
    QTest::newRow("int from int") << u"age"_s << QVariant(int(-7));

    const auto dbl = [](const char *tag, double d) {
        QTest::newRow(tag) << u"score"_s << QVariant(d);
    };
    dbl("tenth", 0.1);
    dbl("third", 1.0 / 3);
    dbl("negative zero", -0.0);
    dbl("max", std::numeric_limits<double>::max());
    dbl("lowest", std::numeric_limits<double>::lowest());
    dbl("denormal", std::numeric_limits<double>::denorm_min());
    dbl("big whole", 123456789012345678.0);
    dbl("infinity", std::numeric_limits<double>::infinity());
    dbl("minus infinity", -std::numeric_limits<double>::infinity());
    dbl("nan", std::numeric_limits<double>::quiet_NaN());

    QTest::newRow("true") << u"active"_s << QVariant(true);
    QTest::newRow("false") << u"active"_s << QVariant(false);

    const auto date = [](const char *tag, const QDateTime &dt) {
        QTest::newRow(tag) << u"born"_s << QVariant(dt);
    };
    date("ms", QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 987)));
    date("before 1970", QDateTime(QDate(1901, 7, 4), QTime(23, 59, 59, 1)));
    date("summer time", QDateTime(QDate(2023, 7, 1), QTime(2, 30)));
    date("day after the clocks go back", QDateTime(QDate(2023, 10, 29), QTime(2, 30, 0, 5)));
    date("year one", QDateTime(QDate(1, 1, 1), QTime(12, 0), Qt::UTC).toLocalTime());
    date("year 9999", QDateTime(QDate(9999, 12, 31), QTime(11, 0, 0, 999)));
    date("year 20000", QDateTime(QDate(20000, 6, 1), QTime(8, 0, 0, 1)));
    date("before year one", QDateTime(QDate(-44, 3, 15), QTime(12, 0), Qt::UTC).toLocalTime());

    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    QTest::newRow("binary empty") << u"photo"_s << QVariant(QByteArray(""));
    QTest::newRow("binary every byte") << u"photo"_s << QVariant(everyByte);
}

void tst_XmlStore::attributeRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QString id;
    {
        auto store = openStore();
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *p = context.insertNewObject(u"Person"_s);
        p->setValueForKey(value, key);
        const auto saved = context.save();
        QVERIFY2(saved, why(saved));
        id = p->objectID();
        QVERIFY2(id.startsWith(u"Person/"_s), qPrintable(id));
    }
    auto store = openStore();
    QVERIFY(store);
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *p = context.registerObject(u"Person"_s, id);
    const QVariant back = p->primitiveValueForKey(key);
    const QVariant expected = m_model.entity(u"Person"_s)->attribute(key)->coerce(value);
    QVERIFY2(sameValue(back, expected),
             qPrintable(u"%1 came back as %2"_s.arg(expected.toString(), back.toString())));
    if (back.typeId() == QMetaType::QDateTime)
        QCOMPARE(back.toDateTime().timeSpec(), Qt::LocalTime);

    // What was read is what gets written again, byte for byte.
    const QByteArray before = readAll(m_path);
    auto again = XmlStore::read(m_model, before);
    QVERIFY(again);
    QCOMPARE((*again)->toXml(), before);
    QVERIFY((*again)->hasSameContents(*store));
}

void tst_XmlStore::missingAndEmptyStayApart()
{
    QString withEmpty, without;
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *a = context.insertNewObject(u"Person"_s);
        a->setValueForKey(u""_s, u"note"_s);
        a->setValueForKey(QByteArray(), u"photo"_s);
        PersistentObject *b = context.insertNewObject(u"Person"_s);
        b->setValueForKey(u"x"_s, u"name"_s);
        QVERIFY(context.save());
        withEmpty = a->objectID();
        without = b->objectID();
    }
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *a = context.registerObject(u"Person"_s, withEmpty);
    PersistentObject *b = context.registerObject(u"Person"_s, without);
    QVERIFY(sameValue(a->primitiveValueForKey(u"note"_s), QVariant(u""_s)));
    QVERIFY(sameValue(a->primitiveValueForKey(u"photo"_s), QVariant(QByteArray())));
    QVERIFY(!b->primitiveValueForKey(u"note"_s).isValid());
    QVERIFY(!b->primitiveValueForKey(u"photo"_s).isValid());
    QVERIFY(!a->primitiveValueForKey(u"age"_s).isValid());
}

void tst_XmlStore::readsHandWrittenFile()
{
    // Written the way a person would: other spacing, attributes in other orders, comments.
    const QByteArray xml =
        u"<?xml version='1.0' encoding='UTF-8'?>\n<!-- kept by hand -->\n"
        "<store model='%1' version='1'>\n"
        "  <object id='4' entity='Group'><attribute type='string' name='title'>Red</attribute>"
        "<relationship name='members'>Person/2</relationship></object>\n"
        "  <object entity='Person' id='2'>\n"
        "    <attribute name='name'> Ada </attribute>\n"
        "    <attribute name='note' encoding='base64'>YQABAA==</attribute>\n"
        "    <attribute name='age'>-12</attribute><attribute name='score'>-0</attribute>\n"
        "    <attribute name='active'>false</attribute>\n"
        "    <attribute name='born'>2001-02-03T04:05:06.789Z</attribute>\n"
        "    <attribute name='photo'>AP8=</attribute>\n"
        "    <relationship name='group' type='to-one'> Group/4 </relationship>\n"
        "  </object>\n"
        "  <object entity='Person' id='3'><attribute "
        "name='born'>2001-02-03T05:05:06.789+01:00</attribute>"
        "<attribute name='note'><![CDATA[<raw> & ]]>&#x1F600;</attribute></object>\n"
        "</store>\n"_s.arg(QString::fromLatin1(m_model.fingerprint()))
            .toUtf8();
    auto store = XmlStore::read(m_model, xml);
    QVERIFY2(store, why(store));
    StoreContext context;
    context.setPersistentStore(store->get());
    PersistentObject *p = context.registerObject(u"Person"_s, u"Person/2"_s);
    auto values = (*store)->loadValues(*p);
    QVERIFY2(values, why(values));
    QCOMPARE(values->value(u"name"_s).toString(), u" Ada "_s);
    QCOMPARE(values->value(u"note"_s).toString(), u"a"_s + QChar(1));
    QCOMPARE(values->value(u"age"_s), QVariant(qint64(-12)));
    QVERIFY(std::signbit(values->value(u"score"_s).toDouble()));
    QCOMPARE(values->value(u"active"_s), QVariant(false));
    QCOMPARE(values->value(u"born"_s).toDateTime(),
             QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6, 789), Qt::UTC));
    QCOMPARE(values->value(u"photo"_s).toByteArray(), QByteArray("\x00\xff", 2));
    QCOMPARE(values->value(u"group"_s).value<ObjectRef>(), (ObjectRef{u"Group"_s, u"Group/4"_s}));
    QCOMPARE(values->value(u"tags"_s).value<ObjectRefList>(), ObjectRefList());
    QVERIFY(!values->contains(u"mentor"_s));

    // Other ISO 8601 forms and other XML spellings of text are read too.
    const QVariantMap other =
        *(*store)->loadValues(*context.registerObject(u"Person"_s, u"Person/3"_s));
    QCOMPARE(other.value(u"born"_s).toDateTime(),
             QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6, 789), Qt::UTC));
    QCOMPARE(other.value(u"born"_s).toDateTime().timeSpec(), Qt::LocalTime);
    QCOMPARE(other.value(u"note"_s).toString(), u"<raw> & 😀"_s);

    // A record is found by entity and id together.
    PersistentObject *wrong = context.registerObject(u"Group"_s, u"Group/2"_s);
    QCOMPARE((*store)->loadValues(*wrong).error().code, ZEM_Error::NotFound);
}

void tst_XmlStore::idsAreUniqueAndNeverReused()
{
    QStringList ids;
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *p = person(context, u"a"_s);
        PersistentObject *g = context.insertNewObject(u"Group"_s);
        PersistentObject *t = context.insertNewObject(u"Tag"_s);
        const QString temporary = p->objectID();
        QVERIFY(context.save());
        QVERIFY(p->objectID() != temporary);
        QCOMPARE(context.objectWithID(p->objectID()), p);
        ids = {p->objectID(), g->objectID(), t->objectID()};
        QCOMPARE(ids, QStringList({u"Person/1"_s, u"Group/2"_s, u"Tag/3"_s}));
        // The newest record goes; its number must not come back.
        context.deleteObject(t);
        QVERIFY(context.save());
    }
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *q = person(context, u"b"_s);
    QVERIFY(context.save());
    QCOMPARE(q->objectID(), u"Person/4"_s);

    // Without a next mark the largest id decides.
    const QByteArray xml =
        u"<store version='1' model='%1'><object entity='Tag' id='9'/><object entity='Tag' id='5'/></store>"_s
            .arg(QString::fromLatin1(m_model.fingerprint()))
            .toUtf8();
    auto read = XmlStore::read(m_model, xml);
    QVERIFY(read);
    StoreContext other;
    other.setPersistentStore(read->get());
    PersistentObject *t = other.insertNewObject(u"Tag"_s);
    QVERIFY(other.save());
    QCOMPARE(t->objectID(), u"Tag/10"_s);
    QCOMPARE((*read)->recordCount(), 3);
}

void tst_XmlStore::relationshipsKeepBothSides()
{
    QString ada, bob, red, x, y, badge;
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *a = person(context, u"Ada"_s);
        PersistentObject *b = person(context, u"Bob"_s);
        PersistentObject *g = context.insertNewObject(u"Group"_s);
        PersistentObject *t1 = context.insertNewObject(u"Tag"_s);
        PersistentObject *t2 = context.insertNewObject(u"Tag"_s);
        PersistentObject *bg = context.insertNewObject(u"Badge"_s);
        // Only one side is set each time.
        a->setValueForKey(PersistentObject::toVariant(g), u"group"_s);
        b->setValueForKey(PersistentObject::toVariant(g), u"group"_s);
        a->setValueForKey(PersistentObject::toVariant(RecordSet{t1, t2}), u"tags"_s);
        t1->setValueForKey(PersistentObject::toVariant(RecordSet{a, b}), u"people"_s);
        b->setValueForKey(PersistentObject::toVariant(a), u"mentor"_s);
        bg->setValueForKey(PersistentObject::toVariant(b), u"owner"_s);
        QVERIFY(context.save());
        ada = a->objectID(), bob = b->objectID(), red = g->objectID();
        x = t1->objectID(), y = t2->objectID(), badge = bg->objectID();
    }
    auto store = openStore();
    QVERIFY(store);
    StoreContext context;
    context.setPersistentStore(store.get());
    const auto values = [&](const QString &entity, const QString &id) {
        return store->loadValues(*context.registerObject(entity, id)).value_or(QVariantMap());
    };
    const ObjectRef A{u"Person"_s, ada}, B{u"Person"_s, bob};
    QCOMPARE(values(u"Group"_s, red).value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({A, B}));
    QCOMPARE(values(u"Person"_s, ada).value(u"group"_s).value<ObjectRef>(),
             (ObjectRef{u"Group"_s, red}));
    QCOMPARE(values(u"Tag"_s, x).value(u"people"_s).value<ObjectRefList>(), ObjectRefList({A, B}));
    QCOMPARE(values(u"Tag"_s, y).value(u"people"_s).value<ObjectRefList>(), ObjectRefList({A}));
    QCOMPARE(values(u"Person"_s, bob).value(u"tags"_s).value<ObjectRefList>(),
             ObjectRefList({{u"Tag"_s, x}}));
    QCOMPARE(values(u"Person"_s, bob).value(u"mentor"_s).value<ObjectRef>(), A);
    QVERIFY(!values(u"Person"_s, ada).contains(u"mentor"_s));
    QCOMPARE(values(u"Person"_s, bob).value(u"badge"_s).value<ObjectRef>(),
             (ObjectRef{u"Badge"_s, badge}));
}

void tst_XmlStore::changingOneSideMovesTheOther()
{
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    // Values are set without change notices and saved straight through the store, so the
    // context keeps no inverse in step: the store alone decides.
    const auto set = [](PersistentObject *record, const char16_t *key, const QVariant &value) {
        record->setPrimitiveValue(value, QString::fromUtf16(key));
    };
    const auto list = [](std::initializer_list<PersistentObject *> records) {
        return PersistentObject::toVariant(RecordSet(records));
    };
    PersistentObject *a = context.insertNewObject(u"Person"_s);
    PersistentObject *b = context.insertNewObject(u"Person"_s);
    PersistentObject *c = context.insertNewObject(u"Person"_s);
    PersistentObject *red = context.insertNewObject(u"Group"_s);
    PersistentObject *blue = context.insertNewObject(u"Group"_s);
    PersistentObject *badge = context.insertNewObject(u"Badge"_s);
    PersistentObject *tag = context.insertNewObject(u"Tag"_s);
    set(a, u"group", PersistentObject::toVariant(red));
    set(b, u"group", PersistentObject::toVariant(red));
    set(blue, u"members", list({c})); // a new group's list is taken as it is
    set(badge, u"owner", PersistentObject::toVariant(a));
    QVERIFY(store->saveChanges({{a, b, c, red, blue, badge, tag}, {}, {}}));
    QCOMPARE(store->loadValues(*c)->value(u"group"_s), refVariant(blue));
    QCOMPARE(store->loadValues(*a)->value(u"badge"_s), refVariant(badge));
    QCOMPARE(store->loadValues(*red)->value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(a), refOf(b)}));

    // Bob moves through his side while red is saved with its old list: the stale list must
    // not pull him back. A one-to-one link taken by another record leaves its old partner.
    set(b, u"group", PersistentObject::toVariant(blue));
    set(red, u"title", u"Red"_s);
    set(badge, u"owner", PersistentObject::toVariant(b));
    QVERIFY(store->saveChanges({{}, {b, red, badge}, {}}));
    QCOMPARE(store->loadValues(*red)->value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(a)}));
    QCOMPARE(store->loadValues(*blue)->value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(b), refOf(c)}));
    QVERIFY(!store->loadValues(*a)->contains(u"badge"_s));
    QCOMPARE(store->loadValues(*b)->value(u"badge"_s), refVariant(badge));

    // The to-one side decides: a saved group's list moves no one by itself.
    set(red, u"members", list({a, b, c}));
    QVERIFY(store->saveChanges({{}, {red}, {}}));
    QCOMPARE(store->loadValues(*red)->value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(a)}));
    QCOMPARE(store->loadValues(*c)->value(u"group"_s), refVariant(blue));

    // Many-to-many: a link made from one side shows on the other, even when the other
    // record is saved in the same go with its unchanged (now stale) empty list; a removal
    // shows on both sides too. Values as a store hands them out (ObjectRef) count like records.
    set(tag, u"people", list({a, c}));
    set(c, u"name", u"Cleo"_s);
    set(c, u"mentor", refVariant(a));
    QVERIFY(store->saveChanges({{}, {tag, c}, {}}));
    QCOMPARE(store->loadValues(*c)->value(u"tags"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(tag)}));
    QCOMPARE(store->loadValues(*a)->value(u"tags"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(tag)}));
    QCOMPARE(store->loadValues(*c)->value(u"mentor"_s), refVariant(a));
    set(c, u"tags", list({}));
    QVERIFY(store->saveChanges({{}, {c}, {}}));
    QCOMPARE(store->loadValues(*tag)->value(u"people"_s).value<ObjectRefList>(),
             ObjectRefList({refOf(a)}));

    auto reread = openStore();
    QVERIFY(reread && reread->hasSameContents(*store));
}

void tst_XmlStore::deletesTakeTheirLinks()
{
    QString ada, bob, red, tag;
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *a = person(context, u"Ada"_s);
        PersistentObject *b = person(context, u"Bob"_s);
        PersistentObject *g = context.insertNewObject(u"Group"_s);
        PersistentObject *t = context.insertNewObject(u"Tag"_s);
        a->setValueForKey(PersistentObject::toVariant(g), u"group"_s);
        b->setValueForKey(PersistentObject::toVariant(g), u"group"_s);
        b->setValueForKey(PersistentObject::toVariant(RecordSet{t}), u"tags"_s);
        a->setValueForKey(PersistentObject::toVariant(b), u"mentor"_s);
        QVERIFY(context.save());
        ada = a->objectID(), bob = b->objectID(), red = g->objectID(), tag = t->objectID();
    }
    auto store = openStore();
    {
        // Only Bob is known to this context; the others stay faults the context cannot fix.
        StoreContext context;
        context.setPersistentStore(store.get());
        context.deleteObject(context.registerObject(u"Person"_s, bob));
        QVERIFY(context.save());
    }
    auto reread = openStore();
    QVERIFY(reread && reread->hasSameContents(*store));
    StoreContext context;
    context.setPersistentStore(reread.get());
    QCOMPARE(reread->loadValues(*context.registerObject(u"Person"_s, bob)).error().code,
             ZEM_Error::NotFound);
    const QVariantMap a = *reread->loadValues(*context.registerObject(u"Person"_s, ada));
    QVERIFY(!a.contains(u"mentor"_s));
    QCOMPARE(a.value(u"name"_s).toString(), u"Ada"_s);
    QCOMPARE(reread->loadValues(*context.registerObject(u"Group"_s, red))
                 ->value(u"members"_s)
                 .value<ObjectRefList>(),
             ObjectRefList({{u"Person"_s, ada}}));
    QCOMPARE(reread->loadValues(*context.registerObject(u"Tag"_s, tag))
                 ->value(u"people"_s)
                 .value<ObjectRefList>(),
             ObjectRefList());
    QCOMPARE(reread->recordCount(), 3);
}

void tst_XmlStore::inconsistentFileIsMadeConsistent()
{
    // Group 1 claims Person 3, who names group 2; Tag 5 lists Person 3, who lists no tags;
    // Person 3 names Badge 7, but Badge 6 names Person 3 and Badge 7 names Person 4.
    const QByteArray xml =
        u"<store version='1' model='%1'>"
        "<object entity='Group' id='1'><relationship "
        "name='members'>Person/3</relationship></object>"
        "<object entity='Group' id='2'/>"
        "<object entity='Person' id='3'><relationship name='group'>Group/2</relationship>"
        "<relationship name='badge'>Badge/7</relationship></object>"
        "<object entity='Person' id='4'/>"
        "<object entity='Tag' id='5'><relationship name='people'>Person/3</relationship></object>"
        "<object entity='Badge' id='6'><relationship name='owner'>Person/3</relationship></object>"
        "<object entity='Badge' id='7'><relationship name='owner'>Person/4</relationship></object>"
        "</store>"_s.arg(QString::fromLatin1(m_model.fingerprint()))
            .toUtf8();
    auto store = XmlStore::read(m_model, xml);
    QVERIFY2(store, why(store));
    StoreContext context;
    const auto values = [&](const QString &entity, int n) {
        return (*store)
            ->loadValues(*context.registerObject(entity, u"%1/%2"_s.arg(entity).arg(n)))
            .value_or(QVariantMap());
    };
    QCOMPARE(values(u"Group"_s, 1).value(u"members"_s).value<ObjectRefList>(), ObjectRefList());
    QCOMPARE(values(u"Group"_s, 2).value(u"members"_s).value<ObjectRefList>(),
             ObjectRefList({{u"Person"_s, u"Person/3"_s}}));
    QCOMPARE(values(u"Person"_s, 3).value(u"tags"_s).value<ObjectRefList>(),
             ObjectRefList({{u"Tag"_s, u"Tag/5"_s}}));
    // Of one-to-one links, the one named by the record with the larger id holds.
    QCOMPARE(values(u"Badge"_s, 6).value(u"owner"_s).value<ObjectRef>().objectID, u"Person/3"_s);
    QCOMPARE(values(u"Person"_s, 3).value(u"badge"_s).value<ObjectRef>().objectID, u"Badge/6"_s);
    QCOMPARE(values(u"Badge"_s, 7).value(u"owner"_s).value<ObjectRef>().objectID, u"Person/4"_s);
    QCOMPARE(values(u"Person"_s, 4).value(u"badge"_s).value<ObjectRef>().objectID, u"Badge/7"_s);

    // Consistent now, so writing and reading changes nothing.
    auto again = XmlStore::read(m_model, (*store)->toXml());
    QVERIFY(again && (*again)->hasSameContents(**store));
}

void tst_XmlStore::fetch_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QStringList>("sortKeys"); // "-key" for descending
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("expected");

    const QStringList all{u"Cleo"_s, u"ada"_s, u"Bob"_s, u"Dan"_s, u"Eve"_s};
    QTest::newRow("all in insertion order")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList() << 0 << all;
    QTest::newRow("none") << u"FALSEPREDICATE"_s << QVariantList() << QStringList() << 0
                          << QStringList();
    QTest::newRow("by age, sorted by name")
        << u"age >= %d"_s << QVariantList{30} << QStringList{u"name"_s} << 0
        << QStringList{u"Bob"_s, u"Cleo"_s, u"Dan"_s, u"Eve"_s};
    QTest::newRow("sort by code point")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList{u"name"_s} << 0
        << QStringList{u"Bob"_s, u"Cleo"_s, u"Dan"_s, u"Eve"_s, u"ada"_s};
    QTest::newRow("descending then name")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList{u"-age"_s, u"name"_s} << 0
        << QStringList{u"Bob"_s, u"Eve"_s, u"Cleo"_s, u"Dan"_s, u"ada"_s};
    QTest::newRow("ties keep insertion order")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList{u"active"_s} << 0
        << QStringList{u"ada"_s, u"Eve"_s, u"Cleo"_s, u"Bob"_s, u"Dan"_s};
    QTest::newRow("text option") << u"name BEGINSWITH[c] 'a' OR name ENDSWITH 'n'"_s
                                 << QVariantList() << QStringList() << 0
                                 << QStringList{u"ada"_s, u"Dan"_s};
    QTest::newRow("through to-one") << u"group.title == 'Red'"_s << QVariantList() << QStringList()
                                    << 0 << QStringList{u"Cleo"_s, u"Bob"_s};
    QTest::newRow("through to-many")
        << u"tags.label == 'x'"_s << QVariantList() << QStringList{u"name"_s} << 0
        << QStringList{u"Bob"_s, u"Eve"_s};
    QTest::newRow("no group") << u"group == nil"_s << QVariantList() << QStringList() << 0
                              << QStringList{u"ada"_s, u"Eve"_s};
    QTest::newRow("missing value")
        << u"score == nil AND NOT age > 45"_s << QVariantList() << QStringList() << 0
        << QStringList{u"Cleo"_s, u"Dan"_s, u"Eve"_s};
    QTest::newRow("present value")
        << u"score != nil"_s << QVariantList() << QStringList() << 0 << QStringList{u"ada"_s};
    QTest::newRow("dates by instant")
        << u"born < %@"_s << QVariantList{QDateTime(QDate(1985, 1, 1), QTime(0, 0))}
        << QStringList() << 0 << QStringList{u"Bob"_s, u"Eve"_s};
    QTest::newRow("sorted by date")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList{u"born"_s} << 0
        << QStringList{u"Bob"_s, u"Eve"_s, u"Cleo"_s, u"Dan"_s, u"ada"_s};
    QTest::newRow("limit after sort")
        << u"TRUEPREDICATE"_s << QVariantList() << QStringList{u"-age"_s} << 2
        << QStringList{u"Bob"_s, u"Eve"_s};
    QTest::newRow("limit without sort") << u"age > 1"_s << QVariantList() << QStringList() << 3
                                        << QStringList{u"Cleo"_s, u"ada"_s, u"Bob"_s};
}

void tst_XmlStore::fetch()
{
    QFETCH(QString, format);
    QFETCH(QVariantList, arguments);
    QFETCH(QStringList, sortKeys);
    QFETCH(int, limit);
    QFETCH(QStringList, expected);

    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *red = context.insertNewObject(u"Group"_s);
    red->setValueForKey(u"Red"_s, u"title"_s);
    PersistentObject *blue = context.insertNewObject(u"Group"_s);
    blue->setValueForKey(u"Blue"_s, u"title"_s);
    PersistentObject *tx = context.insertNewObject(u"Tag"_s);
    tx->setValueForKey(u"x"_s, u"label"_s);
    struct Row
    {
        const char16_t *name;
        int age;
        bool active;
        PersistentObject *group;
        bool tagged;
    };
    const Row rows[] = {{u"Cleo", 30, true, red, false},
                        {u"ada", 10, false, nullptr, false},
                        {u"Bob", 50, true, red, true},
                        {u"Dan", 30, true, blue, false},
                        {u"Eve", 40, false, nullptr, true}};
    QHash<QString, QString> nameOf;
    for (const Row &row : rows) {
        PersistentObject *p = person(context, QString::fromUtf16(row.name), row.age);
        p->setValueForKey(row.active, u"active"_s);
        p->setValueForKey(QDateTime(QDate(2020 - row.age, 6, 1), QTime(12, 0)), u"born"_s);
        if (row.group)
            p->setValueForKey(PersistentObject::toVariant(row.group), u"group"_s);
        if (row.tagged)
            p->setValueForKey(PersistentObject::toVariant(RecordSet{tx}), u"tags"_s);
        if (row.age == 10)
            p->setValueForKey(1.5, u"score"_s);
    }
    QVERIFY(context.save());
    for (PersistentObject *p : context.registeredObjects())
        nameOf.insert(p->objectID(), p->primitiveValueForKey(u"name"_s).toString());

    auto predicate = Predicate::parse(format, arguments);
    QVERIFY2(predicate, why(predicate));
    FetchRequest request;
    request.entityName = u"Person"_s;
    request.predicate = *predicate;
    request.fetchLimit = limit;
    for (const QString &key : sortKeys) {
        SortDescriptor s;
        s.ascending = !key.startsWith(u'-');
        s.keyPath = s.ascending ? key : key.mid(1);
        s.caseInsensitive = false;
        request.sortDescriptors.append(s);
    }
    const auto ids = store->fetchObjectIDs(request);
    QVERIFY2(ids, why(ids));
    QStringList names;
    for (const QString &id : *ids)
        names.append(nameOf.value(id));
    QCOMPARE(names, expected);
}

void tst_XmlStore::fetchRefusesUnknownKeys()
{
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *red = context.insertNewObject(u"Group"_s);
    PersistentObject *a = person(context, u"Ada"_s);
    person(context, u"Bob"_s);
    a->setValueForKey(PersistentObject::toVariant(red), u"group"_s);
    QVERIFY(context.save());

    // A record as argument compares as the record.
    FetchRequest request;
    request.entityName = u"Person"_s;
    request.predicate = *Predicate::parse(u"group == %@"_s, {PersistentObject::toVariant(red)});
    QCOMPARE(*store->fetchObjectIDs(request), QStringList{a->objectID()});

    const struct
    {
        const char16_t *entity, *format, *sortKey, *mentions;
    } bad[] = {
        {u"Nobody", u"TRUEPREDICATE", u"", u"Nobody"},
        {u"Person", u"nmae == 'x'", u"", u"nmae"},
        {u"Person", u"group.nope == 1", u"", u"nope"},
        {u"Person", u"name.length == 1", u"", u"name"},
        {u"Person", u"TRUEPREDICATE", u"agee", u"agee"},
    };
    for (const auto &b : bad) {
        FetchRequest r;
        r.entityName = QString::fromUtf16(b.entity);
        r.predicate = *Predicate::parse(QString::fromUtf16(b.format));
        if (*b.sortKey)
            r.sortDescriptors.append(SortDescriptor{QString::fromUtf16(b.sortKey)});
        const auto ids = store->fetchObjectIDs(r);
        QVERIFY(!ids);
        QCOMPARE(ids.error().code, ZEM_Error::InvalidArgument);
        QVERIFY2(ids.error().message.contains(QString::fromUtf16(b.mentions)), why(ids));
    }
}

void tst_XmlStore::missingFile()
{
    auto readOnly = XmlStore::open(m_model, m_path, StoreOptions{true});
    QVERIFY(!readOnly);
    QCOMPARE(readOnly.error().code, ZEM_Error::NotFound);
    QVERIFY(readOnly.error().message.contains(m_path));

    auto store = openStore();
    QVERIFY(store);
    QCOMPARE(store->recordCount(), 0);
    QVERIFY(!QFile::exists(m_path)); // nothing appears before the first save
    StoreContext context;
    context.setPersistentStore(store.get());
    person(context, u"Ada"_s);
    QVERIFY(context.save());
    QVERIFY(QFile::exists(m_path));

    // A folder is not a store.
    auto folder = XmlStore::open(m_model, m_dir->path(), {});
    QVERIFY(!folder);
    QCOMPARE(folder.error().code, ZEM_Error::ReadFailed);
}

void tst_XmlStore::readOnlyStoreNeverWrites()
{
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        person(context, u"Ada"_s, 33);
        QVERIFY(context.save());
    }
    const QByteArray before = readAll(m_path);
    auto store = openStore(true);
    QVERIFY(store && store->isReadOnly());
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *ada = context.registerObject(u"Person"_s, u"Person/1"_s);
    QCOMPARE(ada->primitiveValueForKey(u"age"_s), QVariant(qint64(33)));
    ada->setValueForKey(qint64(34), u"age"_s);
    PersistentObject *bob = person(context, u"Bob"_s);

    const auto saved = context.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    // The store refuses on its own too, not only through the context.
    const auto direct = store->saveChanges({{bob}, {ada}, {}});
    QVERIFY(!direct);
    QCOMPARE(direct.error().code, ZEM_Error::WriteFailed);
    QVERIFY(bob->objectID().startsWith(u"x-temp/"_s));
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(store->loadValues(*ada)->value(u"age"_s), QVariant(qint64(33)));
}

void tst_XmlStore::badValueFailsTheWholeSave()
{
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *ada = person(context, u"Ada"_s);
    QVERIFY(context.save());
    const QByteArray before = readAll(m_path);

    ada->setValueForKey(u"Ada Lovelace"_s, u"name"_s);
    PersistentObject *bob = person(context, u"Bob"_s);
    bob->setValueForKey(u"not a number"_s, u"age"_s);
    const auto saved = context.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::InvalidArgument);
    QVERIFY2(saved.error().message.contains(u"age"_s), why(saved));
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(store->loadValues(*ada)->value(u"name"_s).toString(), u"Ada"_s);
    QCOMPARE(store->recordCount(), 1);
    QVERIFY(context.hasChanges());

    bob->setValueForKey(qint64(3), u"age"_s);
    QVERIFY(context.save());
    QCOMPARE(store->recordCount(), 2);
}

void tst_XmlStore::badFiles_data()
{
    QTest::addColumn<QString>(
        "body"); // inside <store>, or a whole document when it starts with '<?' or '!'
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mentions");

    const int parse = ZEM_Error::ParseFailed;
    const auto whole = [](const char *tag, const char *xml, const char *mentions) {
        QTest::newRow(tag) << u"!"_s + QString::fromUtf8(xml) << int(ZEM_Error::ParseFailed)
                           << QString::fromUtf8(mentions);
    };
    whole("empty", "", "no <store>");
    whole("garbage", "hello, world", "not well-formed");
    whole("binary", "\x01\x02\xff\xfe\x00", "not well-formed");
    whole("declaration only", "<?xml version='1.0'?>", "no <store>");
    whole("wrong root", "<plist version='1.0'/>", "<plist>");
    whole("no version", "<store model='x'/>", "version");
    whole("future version", "<store version='2'/>", "\"2\"");
    whole("two roots", "<store version='1' model='%1'/><store/>", "not well-formed");
    whole("unclosed", "<store version='1' model='%1'><object entity='Tag' id='1'>", "ends early");

    const auto body = [&](const char *tag, const char *xml, const char *mentions) {
        QTest::newRow(tag) << QString::fromUtf8(xml) << parse << QString::fromUtf8(mentions);
    };
    body("unknown element", "<thing/>", "<thing>");
    body("text in store", "stray", "stray");
    body("unknown entity", "<object entity='Alien' id='1'/>", "Alien");
    body("no entity", "<object id='1'/>", "entity");
    body("no id", "<object entity='Tag'/>", "id");
    body("zero id", "<object entity='Tag' id='0'/>", "\"0\"");
    body("negative id", "<object entity='Tag' id='-3'/>", "\"-3\"");
    body("huge id", "<object entity='Tag' id='9223372036854775807'/>", "9223372036854775807");
    body("duplicate id", "<object entity='Tag' id='1'/><object entity='Group' id='1'/>", "twice");
    body("unknown attribute",
         "<object entity='Tag' id='1'><attribute name='colour'>x</attribute></object>", "colour");
    body("attribute twice",
         "<object entity='Tag' id='1'><attribute name='label'>x</attribute><attribute "
         "name='label'>y</attribute></object>",
         "twice");
    body(
        "type mismatch",
        "<object entity='Tag' id='1'><attribute name='label' type='integer'>1</attribute></object>",
        "of type string, not integer");
    body("bad integer",
         "<object entity='Badge' id='1'><attribute name='code'>12x</attribute></object>", "12x");
    body("integer overflow",
         "<object entity='Badge' id='1'><attribute "
         "name='code'>9223372036854775808</attribute></object>",
         "integer");
    body("bad double",
         "<object entity='Person' id='1'><attribute name='score'>1e999</attribute></object>",
         "double");
    body("bad boolean",
         "<object entity='Person' id='1'><attribute name='active'>yes</attribute></object>",
         "boolean");
    body("bad date",
         "<object entity='Person' id='1'><attribute name='born'>yesterday</attribute></object>",
         "date");
    body("bad base64",
         "<object entity='Person' id='1'><attribute name='photo'>@@@</attribute></object>",
         "base 64");
    body("odd utf-16",
         "<object entity='Person' id='1'><attribute name='note' "
         "encoding='base64'>YQ==</attribute></object>",
         "UTF-16");
    body("wrong encoding",
         "<object entity='Badge' id='1'><attribute name='code' "
         "encoding='base64'>MQ==</attribute></object>",
         "encoding");
    body("nested element",
         "<object entity='Tag' id='1'><attribute name='label'>a<b/>c</attribute></object>",
         "not well-formed");
    body("extra xml attribute", "<object entity='Tag' id='1' colour='red'/>", "colour");
    body("text in object", "<object entity='Tag' id='1'>words</object>", "words");
    body("unknown relationship",
         "<object entity='Tag' id='1'><relationship name='friends'/></object>", "friends");
    body("dangling link",
         "<object entity='Person' id='1'><relationship "
         "name='group'>Group/99</relationship></object>",
         "Group/99");
    body("link names wrong entity",
         "<object entity='Person' id='1'><relationship name='group'>Group/2</relationship></object>"
         "<object entity='Tag' id='2'/>",
         "Tag");
    body("link to wrong destination",
         "<object entity='Person' id='1'><relationship name='group'>Tag/2</relationship></object>"
         "<object entity='Tag' id='2'/>",
         "Group");
    body("two on a to-one",
         "<object entity='Person' id='1'><relationship name='group'>Group/2 "
         "Group/3</relationship></object>"
         "<object entity='Group' id='2'/><object entity='Group' id='3'/>",
         "to-one");
    body("relationship kind mismatch",
         "<object entity='Person' id='1'><relationship name='group' type='to-many'/></object>",
         "to-one");
    body("bad reference",
         "<object entity='Person' id='1'><relationship name='tags'>Tag/01</relationship></object>",
         "Tag/01");
    body("undeclared entity",
         "<object entity='Tag' id='1'><attribute name='label'>&nbsp;</attribute></object>", "nbsp");
    body("invalid character reference",
         "<object entity='Tag' id='1'><attribute name='label'>&#1;</attribute></object>", "");
}

void tst_XmlStore::badFiles()
{
    QFETCH(QString, body);
    QFETCH(int, code);
    QFETCH(QString, mentions);
    const QString fingerprint = QString::fromLatin1(m_model.fingerprint());
    QByteArray xml;
    if (body.startsWith(u'!'))
        xml = body.mid(1).replace(u"%1"_s, fingerprint).toUtf8();
    else
        xml = u"<?xml version='1.0'?>\n<store version='1' model='%1'>\n%2\n</store>\n"_s
                  .arg(fingerprint, body)
                  .toUtf8();
    if (QByteArray(QTest::currentDataTag()) == "binary")
        xml = QByteArray("\x01\x02\xff\xfe\x00", 5);

    const auto store = XmlStore::read(m_model, xml);
    QVERIFY(!store);
    QCOMPARE(int(store.error().code), code);
    const QString message = store.error().message;
    QVERIFY2(message.contains(u"line"_s) && message.contains(u"column"_s), qPrintable(message));
    QVERIFY2(message.contains(mentions), qPrintable(message));
}

void tst_XmlStore::errorsNameTheFile()
{
    QFile f(m_path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(u"<store version='1' model='%1'>\n\n   <object entity='Alien' id='1'/>\n</store>"_s
                .arg(QString::fromLatin1(m_model.fingerprint()))
                .toUtf8());
    f.close();
    const auto store = XmlStore::open(m_model, m_path, {});
    QVERIFY(!store);
    QVERIFY2(store.error().message.startsWith(m_path + u", line 3, column"_s), why(store));
    QCOMPARE(store.error().arguments.value(0), m_path);
    QCOMPARE(store.error().arguments.value(1), u"3"_s);
}

void tst_XmlStore::entityExpansionIsRefused()
{
    QByteArray laughs = "<?xml version='1.0'?>\n<!DOCTYPE store [\n<!ENTITY a0 'ha'>\n";
    for (int i = 1; i < 30; ++i)
        laughs += QByteArray("<!ENTITY a") + QByteArray::number(i) + " '" +
                  QByteArray("&a").append(QByteArray::number(i - 1)).append(";").repeated(10) +
                  "'>\n";
    laughs +=
        "]>\n<store version='1' model='" + m_model.fingerprint() +
        "'><object entity='Tag' id='1'><attribute name='label'>&a29;</attribute></object></store>";
    const QByteArray external =
        "<?xml version='1.0'?><!DOCTYPE store [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"
        "<store version='1' model='" +
        m_model.fingerprint() +
        "'><object entity='Tag' id='1'><attribute name='label'>&x;</attribute></object></store>";
    for (const QByteArray &xml : {laughs, external}) {
        const auto store = XmlStore::read(m_model, xml);
        QVERIFY(!store);
        QCOMPARE(store.error().code, ZEM_Error::ParseFailed);
        QVERIFY2(store.error().message.contains(u"document type"_s), why(store));
    }
}

void tst_XmlStore::wrongModelIsRefused()
{
    {
        auto store = openStore();
        StoreContext context;
        context.setPersistentStore(store.get());
        person(context, u"Ada"_s);
        QVERIFY(context.save());
    }
    QByteArray json = kModelJson;
    json.replace(R"({ "name": "label", "type": "string" })",
                 R"({ "name": "label", "type": "integer" })");
    auto other = DataModel::fromJson(json);
    QVERIFY(other);
    QVERIFY(other->fingerprint() != m_model.fingerprint());
    const auto store = XmlStore::open(*other, m_path, {});
    QVERIFY(!store);
    QCOMPARE(store.error().code, ZEM_Error::Conflict);
    QVERIFY2(store.error().message.contains(u"data model"_s), why(store));
}

void tst_XmlStore::everyTruncationIsAnErrorOrTheWholeFile()
{
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *g = context.insertNewObject(u"Group"_s);
    g->setValueForKey(u"Tab\tand ünïcode 😀"_s, u"title"_s);
    for (int i = 0; i < 3; ++i) {
        PersistentObject *p = person(context, u"P%1"_s.arg(i), i + 20);
        p->setValueForKey(u"ctl"_s + QChar(2), u"note"_s);
        p->setValueForKey(QDateTime(QDate(2020, 1, i + 1), QTime(1, 2, 3, 4)), u"born"_s);
        p->setValueForKey(0.1 * i, u"score"_s);
        p->setValueForKey(PersistentObject::toVariant(g), u"group"_s);
    }
    QVERIFY(context.save());
    const QByteArray full = readAll(m_path);
    const qsizetype end = full.indexOf("</store>") + qsizetype(qstrlen("</store>"));
    QVERIFY(end > 100);

    int accepted = 0;
    for (qsizetype cut = 0; cut < full.size(); ++cut) {
        const auto read = XmlStore::read(m_model, full.left(cut));
        if (read) {
            QVERIFY2(cut >= end,
                     qPrintable(
                         u"a file cut at %1 of %2 bytes was accepted"_s.arg(cut).arg(full.size())));
            QVERIFY((*read)->hasSameContents(*store));
            ++accepted;
        } else {
            QVERIFY(!read.error().message.isEmpty());
        }
    }
    QCOMPARE(accepted, int(full.size() - end));
}

void tst_XmlStore::unwritableFolderKeepsOldFile()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders");
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    person(context, u"Ada"_s);
    QVERIFY(context.save());
    const QByteArray before = readAll(m_path);

    QFile::Permissions folder = QFile::permissions(m_dir->path());
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    PersistentObject *bob = person(context, u"Bob"_s);
    const auto saved = context.save();
    const QStringList left =
        QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    QVERIFY(QFile::setPermissions(m_dir->path(), folder));

    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    QVERIFY2(saved.error().message.contains(m_path), why(saved));
    QCOMPARE(left, QStringList{u"store.xml"_s});
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(store->recordCount(), 1);
    QVERIFY(bob->objectID().startsWith(u"x-temp/"_s));
    QVERIFY(context.hasChanges());

    // Nothing was lost: once the folder is writable the same changes go through.
    QVERIFY(context.save());
    QCOMPARE(bob->objectID(), u"Person/2"_s);
    auto reread = openStore();
    QVERIFY(reread && reread->hasSameContents(*store));
}

void tst_XmlStore::fullDiskKeepsOldFile()
{
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    person(context, u"Ada"_s);
    QVERIFY(context.save());
    const QByteArray before = readAll(m_path);

    // A file size limit makes writes fail the way a full disk does.
    PersistentObject *big = person(context, u"Big"_s);
    big->setValueForKey(QByteArray(64 * 1024, 'x'), u"photo"_s);
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = rlim_t(before.size() + 4096);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const auto saved = context.save();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    QVERIFY2(saved.error().message.contains(m_path), why(saved));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"store.xml"_s});
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(store->recordCount(), 1);
    QVERIFY(context.save());
    QCOMPARE(store->recordCount(), 2);
}

void tst_XmlStore::vanishedFolderFailsCleanly()
{
    // Works for root too, unlike a folder without write permission.
    const QString folder = m_dir->filePath(u"sub"_s);
    QVERIFY(QDir().mkpath(folder));
    m_path = folder + u"/store.xml"_s;
    auto store = openStore();
    StoreContext context;
    context.setPersistentStore(store.get());
    PersistentObject *ada = person(context, u"Ada"_s);
    QVERIFY(context.save());
    QVERIFY(QDir(folder).removeRecursively());

    ada->setValueForKey(u"Ada L."_s, u"name"_s);
    const auto saved = context.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    QVERIFY2(saved.error().message.contains(m_path), why(saved));
    QCOMPARE(store->loadValues(*ada)->value(u"name"_s).toString(), u"Ada"_s);
    QVERIFY(!QFileInfo::exists(folder));
}

ZEM_TEST_MAIN(tst_XmlStore)
#include "tst_XmlStore.moc"
