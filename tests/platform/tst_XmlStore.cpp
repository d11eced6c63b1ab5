// What only the XML store has: its file format (hand-written, damaged, hostile or cut short
// files), one file rewritten whole on every save, and links made consistent on reading. What
// both stores promise is in tst_StoreContract and tst_StoreFetchContract.

#include "StoreTestSupport.h"
#include "ZemTestEnv.h"

#include <QDir>

#include <cmath>
#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace platform;
using storetest::fileBytes;
using storetest::hugeString;
using storetest::refOf;
using storetest::why;
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

QVariant refVariant(PersistentObject *record)
{
    return QVariant::fromValue(refOf(record));
}

} // namespace

class tst_XmlStore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(u"store.xml"_s);
    }

    void rewriteIsByteForByte()
    {
        // Values with every encoding the file has: what was read is what gets written again.
        const QList<std::pair<QString, QVariant>> values{
            {u"note"_s, u"<a href=\"x\">&amp; ]]> 'q'</a>\r\n\t"_s},
            {u"note"_s, u"  both sides  "_s},
            {u"note"_s, QString::fromUtf16(u"a\u0001b") + QChar(0) + QChar(0xD800) + QChar(0xFFFE)},
            {u"note"_s, u"clef 𝄞 and face 😀"_s},
            {u"note"_s, hugeString()},
            {u"age"_s, std::numeric_limits<qint64>::min()},
            {u"score"_s, 1.0 / 3},
            {u"score"_s, -0.0},
            {u"score"_s, std::numeric_limits<double>::denorm_min()},
            {u"score"_s, -std::numeric_limits<double>::infinity()},
            {u"score"_s, std::numeric_limits<double>::quiet_NaN()},
            {u"active"_s, false},
            {u"born"_s, QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 987))},
            {u"born"_s, QDateTime(QDate(20000, 6, 1), QTime(8, 0, 0, 1))},
            {u"born"_s, QDateTime(QDate(-44, 3, 15), QTime(12, 0), Qt::UTC)},
            {u"photo"_s, QByteArray("\0\xff", 2)},
            {u"photo"_s, QByteArray("")},
        };
        StoreContext context;
        auto store = openStore(&context);
        QVERIFY(store);
        QVERIFY(!QFile::exists(m_path)); // nothing is written before the first save
        for (const auto &[key, value] : values)
            context.insertNewObject(u"Person"_s)->setValueForKey(value, key);
        const auto saved = context.save();
        QVERIFY2(saved, why(saved));
        const QByteArray written = fileBytes(m_path);
        auto again = XmlStore::read(m_model, written);
        QVERIFY2(again, why(again));
        QCOMPARE((*again)->toXml(), written);
        QVERIFY((*again)->hasSameContents(*store));
        QCOMPARE((*again)->recordCount(), values.size());
    }

    void readsHandWrittenFile()
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

        // The file has no mark of the next id: the largest id decides it, not the last.
        PersistentObject *tag = context.insertNewObject(u"Tag"_s);
        QVERIFY(context.save());
        QCOMPARE(tag->objectID(), u"Tag/5"_s);
        QCOMPARE((*store)->recordCount(), 4);
    }

    void changingOneSideMovesTheOther()
    {
        StoreContext context;
        auto store = openStore(&context);
        // Values are set without change notices and saved straight through the store, so the
        // context keeps no inverse in step: the store alone decides.
        const auto set = [](PersistentObject *record, const char16_t *key, const QVariant &value) {
            record->setPrimitiveValue(value, QString::fromUtf16(key));
        };
        const auto list = [](std::initializer_list<PersistentObject *> records) {
            return PersistentObject::toVariant(RecordSet(records));
        };
        const auto refs = [&store](PersistentObject *record, const char16_t *key) {
            return store->loadValues(*record)->value(QString::fromUtf16(key)).value<ObjectRefList>();
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
        QCOMPARE(refs(red, u"members"), ObjectRefList({refOf(a), refOf(b)}));

        // Bob moves through his side while red is saved with its old list: the stale list must
        // not pull him back. A one-to-one link taken by another record leaves its old partner.
        set(b, u"group", PersistentObject::toVariant(blue));
        set(red, u"title", u"Red"_s);
        set(badge, u"owner", PersistentObject::toVariant(b));
        QVERIFY(store->saveChanges({{}, {b, red, badge}, {}}));
        QCOMPARE(refs(red, u"members"), ObjectRefList({refOf(a)}));
        QCOMPARE(refs(blue, u"members"), ObjectRefList({refOf(b), refOf(c)}));
        QVERIFY(!store->loadValues(*a)->contains(u"badge"_s));
        QCOMPARE(store->loadValues(*b)->value(u"badge"_s), refVariant(badge));

        // The to-one side decides: a saved group's list moves no one by itself.
        set(red, u"members", list({a, b, c}));
        QVERIFY(store->saveChanges({{}, {red}, {}}));
        QCOMPARE(refs(red, u"members"), ObjectRefList({refOf(a)}));
        QCOMPARE(store->loadValues(*c)->value(u"group"_s), refVariant(blue));

        // Many-to-many: a link made from one side shows on the other, even when the other
        // record is saved in the same go with its unchanged (now stale) empty list; a removal
        // shows on both sides too. Values as a store hands them out (ObjectRef) count like records.
        set(tag, u"people", list({a, c}));
        set(c, u"name", u"Cleo"_s);
        set(c, u"mentor", refVariant(a));
        QVERIFY(store->saveChanges({{}, {tag, c}, {}}));
        QCOMPARE(refs(c, u"tags"), ObjectRefList({refOf(tag)}));
        QCOMPARE(refs(a, u"tags"), ObjectRefList({refOf(tag)}));
        QCOMPARE(store->loadValues(*c)->value(u"mentor"_s), refVariant(a));
        set(c, u"tags", list({}));
        QVERIFY(store->saveChanges({{}, {c}, {}}));
        QCOMPARE(refs(tag, u"people"), ObjectRefList({refOf(a)}));

        auto reread = openStore();
        QVERIFY(reread && reread->hasSameContents(*store));
    }

    void inconsistentFileIsMadeConsistent()
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

    void badFiles_data()
    {
        QTest::addColumn<QString>("body"); // inside <store>, or a whole document after a '!'
        QTest::addColumn<QString>("mentions");
        const auto whole = [](const char *tag, const char *xml, const char *mentions) {
            QTest::newRow(tag) << u"!"_s + QString::fromUtf8(xml) << QString::fromUtf8(mentions);
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
        // A billion laughs, and a file that names another to read: no document type is read.
        const QString label = u"<store version='1' model='%1'><object entity='Tag' id='1'><attribute name='label'>"_s;
        QString laughs = u"<?xml version='1.0'?>\n<!DOCTYPE store [\n<!ENTITY a0 'ha'>\n"_s;
        for (int i = 1; i < 30; ++i)
            laughs += u"<!ENTITY a%1 '%2'>\n"_s.arg(i).arg(u"&a%1;"_s.arg(i - 1).repeated(10));
        whole("entity expansion", qPrintable(laughs + u"]>\n"_s + label + u"&a29;</attribute></object></store>"_s),
              "document type");
        whole("external entity",
              qPrintable(u"<?xml version='1.0'?><!DOCTYPE store [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"_s + label
                         + u"&x;</attribute></object></store>"_s),
              "document type");

        const auto body = [](const char *tag, const QString &xml, const char *mentions) {
            QTest::newRow(tag) << xml << QString::fromUtf8(mentions);
        };
        // Record 1 of \a entity holding \a inner.
        const auto one = [](const char *entity, const char *inner) {
            return u"<object entity='%1' id='1'>%2</object>"_s.arg(QLatin1String(entity), QString::fromUtf8(inner));
        };
        body("unknown element", u"<thing/>"_s, "<thing>");
        body("text in store", u"stray"_s, "stray");
        body("unknown entity", u"<object entity='Alien' id='1'/>"_s, "Alien");
        body("no entity", u"<object id='1'/>"_s, "entity");
        body("no id", u"<object entity='Tag'/>"_s, "id");
        body("zero id", u"<object entity='Tag' id='0'/>"_s, "\"0\"");
        body("negative id", u"<object entity='Tag' id='-3'/>"_s, "\"-3\"");
        body("huge id", u"<object entity='Tag' id='9223372036854775807'/>"_s, "9223372036854775807");
        body("duplicate id", u"<object entity='Tag' id='1'/><object entity='Group' id='1'/>"_s, "twice");
        body("unknown attribute", one("Tag", "<attribute name='colour'>x</attribute>"), "colour");
        body("attribute twice", one("Tag", "<attribute name='label'>x</attribute><attribute name='label'>y</attribute>"),
             "twice");
        body("type mismatch", one("Tag", "<attribute name='label' type='integer'>1</attribute>"),
             "of type string, not integer");
        body("bad integer", one("Badge", "<attribute name='code'>12x</attribute>"), "12x");
        body("integer overflow", one("Badge", "<attribute name='code'>9223372036854775808</attribute>"), "integer");
        body("bad double", one("Person", "<attribute name='score'>1e999</attribute>"), "double");
        body("bad boolean", one("Person", "<attribute name='active'>yes</attribute>"), "boolean");
        body("bad date", one("Person", "<attribute name='born'>yesterday</attribute>"), "date");
        body("bad base64", one("Person", "<attribute name='photo'>@@@</attribute>"), "base 64");
        body("odd utf-16", one("Person", "<attribute name='note' encoding='base64'>YQ==</attribute>"), "UTF-16");
        body("wrong encoding", one("Badge", "<attribute name='code' encoding='base64'>MQ==</attribute>"), "encoding");
        body("nested element", one("Tag", "<attribute name='label'>a<b/>c</attribute>"), "not well-formed");
        body("extra xml attribute", u"<object entity='Tag' id='1' colour='red'/>"_s, "colour");
        body("text in object", one("Tag", "words"), "words");
        body("unknown relationship", one("Tag", "<relationship name='friends'/>"), "friends");
        body("dangling link", one("Person", "<relationship name='group'>Group/99</relationship>"), "Group/99");
        const QString tag2 = u"<object entity='Tag' id='2'/>"_s;
        body("link names wrong entity", one("Person", "<relationship name='group'>Group/2</relationship>") + tag2, "Tag");
        body("link to wrong destination", one("Person", "<relationship name='group'>Tag/2</relationship>") + tag2,
             "Group");
        body("two on a to-one",
             one("Person", "<relationship name='group'>Group/2 Group/3</relationship>")
                 + u"<object entity='Group' id='2'/><object entity='Group' id='3'/>"_s,
             "to-one");
        body("relationship kind mismatch", one("Person", "<relationship name='group' type='to-many'/>"), "to-one");
        body("bad reference", one("Person", "<relationship name='tags'>Tag/01</relationship>"), "Tag/01");
        body("undeclared entity", one("Tag", "<attribute name='label'>&nbsp;</attribute>"), "nbsp");
        body("invalid character reference", one("Tag", "<attribute name='label'>&#1;</attribute>"), "");
    }

    void badFiles()
    {
        QFETCH(QString, body);
        QFETCH(QString, mentions);
        const QString fingerprint = QString::fromLatin1(m_model.fingerprint());
        QByteArray xml = body.startsWith(u'!')
                             ? body.mid(1).replace(u"%1"_s, fingerprint).toUtf8()
                             : u"<?xml version='1.0'?>\n<store version='1' model='%1'>\n%2\n</store>\n"_s
                                   .arg(fingerprint, body)
                                   .toUtf8();
        if (QByteArray(QTest::currentDataTag()) == "binary")
            xml = QByteArray("\x01\x02\xff\xfe\x00", 5);
        const auto store = XmlStore::read(m_model, xml);
        QVERIFY(!store);
        QCOMPARE(store.error().code, ZEM_Error::ParseFailed);
        const QString message = store.error().message;
        QVERIFY2(message.contains(u"line"_s) && message.contains(u"column"_s), qPrintable(message));
        QVERIFY2(message.contains(mentions), qPrintable(message));
    }

    void errorsNameTheFile()
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

    void everyTruncationIsAnErrorOrTheWholeFile()
    {
        StoreContext context;
        auto store = openStore(&context);
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
        const QByteArray full = fileBytes(m_path);
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

    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<QString>("cause");
        for (const char *cause : {"read-only folder", "full disk", "vanished folder"})
            QTest::newRow(cause) << QString::fromLatin1(cause);
    }

    void failedWriteKeepsOldFile()
    {
        QFETCH(QString, cause);
        if (cause == u"read-only folder" && ::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        const QString folder = m_dir->filePath(u"sub"_s);
        QVERIFY(QDir().mkpath(folder));
        m_path = folder + u"/store.xml"_s;
        StoreContext context;
        auto store = openStore(&context);
        PersistentObject *ada = person(context, u"Ada"_s);
        QVERIFY(context.save());
        const QByteArray before = fileBytes(m_path);

        ada->setValueForKey(u"Ada L."_s, u"name"_s);
        PersistentObject *big = person(context, u"Big"_s);
        big->setValueForKey(QByteArray(64 * 1024, 'x'), u"photo"_s);
        const QFile::Permissions permissions = QFile::permissions(folder);
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (cause == u"read-only folder") {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else if (cause == u"full disk") {
            // A file size limit makes writes fail the way a full disk does.
            rlimit limited = old;
            limited.rlim_cur = rlim_t(before.size() + 4096);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        } else {
            QVERIFY(QDir(folder).removeRecursively());
        }
        const auto saved = context.save();
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QFile::setPermissions(folder, permissions);

        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
        QVERIFY2(saved.error().message.contains(m_path), why(saved));
        QCOMPARE(store->recordCount(), 1);
        QCOMPARE(store->loadValues(*ada)->value(u"name"_s).toString(), u"Ada"_s);
        QVERIFY(big->objectID().startsWith(u"x-temp/"_s));
        QVERIFY(context.hasChanges());
        if (cause == u"vanished folder") {
            QVERIFY(!QFileInfo::exists(folder));
            return;
        }
        QCOMPARE(left, QStringList{u"store.xml"_s}); // no temporary file stays behind
        QCOMPARE(fileBytes(m_path), before);
        // Nothing was lost: once the file can be written the same changes go through.
        QVERIFY(context.save());
        QCOMPARE(big->objectID(), u"Person/2"_s);
        auto reread = openStore();
        QVERIFY(reread && reread->hasSameContents(*store));
    }

private:
    std::unique_ptr<XmlStore> openStore(StoreContext *context = nullptr);
    PersistentObject *person(StoreContext &context, const QString &name, int age = 0);

    DataModel m_model = testModel();
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

// The store at m_path, with \a context on it.
std::unique_ptr<XmlStore> tst_XmlStore::openStore(StoreContext *context)
{
    auto store = XmlStore::open(m_model, m_path, {});
    if (!store) {
        qWarning() << store.error().message;
        return nullptr;
    }
    if (context)
        context->setPersistentStore(store->get());
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

ZEM_TEST_MAIN(tst_XmlStore)
#include "tst_XmlStore.moc"
