// Address books and calendars hold tens of thousands of records: saving, searching and
// opening a store must cost little more than the database calls underneath. Each kit
// benchmark has a plain sqlite3 twin doing the same work on the same schema shape.
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

using namespace platform;

namespace {

constexpr int kRecords = 100000;

const char kModel[] = R"({"entities": [{"name": "Person", "attributes": [
    {"name": "firstName", "type": "string"}, {"name": "lastName", "type": "string"},
    {"name": "email", "type": "string"}, {"name": "phone", "type": "string"},
    {"name": "birthday", "type": "date"}, {"name": "notes", "type": "string"}]}]})";

const char *const kLastNames[] = {"Berg",   "Adler",  "brandt", "Cole",   "Dahl",  "Engel", "Fischer", "Graf",
                                  "Hahn",   "Ibsen",  "Jung",   "Koch",   "Lang",  "Meyer", "Nagel",   "Otto",
                                  "Peters", "Quandt", "Roth",   "Schulz", "Thiel", "Ulrich", "Vogel",  "Wolf",
                                  "Bauer",  "Zimmer"};
const char *const kFirstNames[] = {"Anna", "Ben", "Clara", "David", "Emma", "Felix", "Greta", "Hugo"};

struct Person
{
    QString first, last, email, phone, notes;
    QDateTime birthday;
};

const std::vector<Person> &people()
{
    static const std::vector<Person> all = [] {
        std::vector<Person> v;
        v.reserve(kRecords);
        const QDateTime base(QDate(1950, 1, 1), QTime(0, 0));
        for (int i = 0; i < kRecords; ++i) {
            Person p;
            p.first = QString::fromLatin1(kFirstNames[i % 8]);
            p.last = QString::fromLatin1(kLastNames[(i * 7) % 26]) + QString::number(i);
            p.email = p.first.toLower() + u'.' + QString::number(i) + QStringLiteral("@example.org");
            p.phone = QStringLiteral("+49 30 ") + QString::number(1000000 + i);
            p.notes = QStringLiteral("Met at the conference, follows up in spring. ") + QString::number(i);
            p.birthday = base.addDays(i % 20000);
            v.push_back(std::move(p));
        }
        return v;
    }();
    return all;
}

DataModel model()
{
    static const DataModel m = *DataModel::fromJson(kModel);
    return m;
}

const QString kFirst = QStringLiteral("firstName"), kLast = QStringLiteral("lastName"),
              kEmail = QStringLiteral("email"), kPhone = QStringLiteral("phone"),
              kBirthday = QStringLiteral("birthday"), kNotes = QStringLiteral("notes");

void kitWrite(const QString &type, const QString &path, bool undo)
{
    PersistentStoreCoordinator coordinator(model());
    if (!coordinator.addPersistentStore(type, path))
        qFatal("cannot open %s", qPrintable(path));
    StoreContext context;
    context.setPersistentStoreCoordinator(&coordinator);
    context.setUndoEnabled(undo);
    for (const Person &p : people()) {
        PersistentObject *r = context.insertNewObject(QStringLiteral("Person"));
        r->setValueForKey(p.first, kFirst);
        r->setValueForKey(p.last, kLast);
        r->setValueForKey(p.email, kEmail);
        r->setValueForKey(p.phone, kPhone);
        r->setValueForKey(p.birthday, kBirthday);
        r->setValueForKey(p.notes, kNotes);
    }
    if (!context.save())
        qFatal("save failed");
}

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        qFatal("sqlite: %s", sqlite3_errmsg(db));
}

void bindText(sqlite3_stmt *s, int i, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void plainWrite(const QString &path)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                           "CREATE TABLE person (pk INTEGER PRIMARY KEY, firstName TEXT, lastName TEXT,"
                           " email TEXT, phone TEXT, birthday INTEGER, notes TEXT)",
                       nullptr, nullptr, nullptr),
          db);
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO person VALUES (?,?,?,?,?,?,?)", -1, &insert, nullptr), db);
    check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
    sqlite3_int64 pk = 0;
    for (const Person &p : people()) {
        sqlite3_bind_int64(insert, 1, ++pk);
        bindText(insert, 2, p.first);
        bindText(insert, 3, p.last);
        bindText(insert, 4, p.email);
        bindText(insert, 5, p.phone);
        sqlite3_bind_int64(insert, 6, p.birthday.toMSecsSinceEpoch());
        bindText(insert, 7, p.notes);
        check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
    }
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_finalize(insert);
    sqlite3_close(db);
}

// Stores of 100,000 records written once for the read benchmarks.
struct Filled
{
    QTemporaryDir dir;
    QString kit = dir.filePath(QStringLiteral("kit.sql"));
    QString plain = dir.filePath(QStringLiteral("plain.sqlite"));
    Filled()
    {
        kitWrite(PersistentStoreCoordinator::sqliteStoreType(), kit, false);
        plainWrite(plain);
    }
};

const Filled &filled()
{
    static const Filled f;
    return f;
}

void BM_Kit_InsertSave(benchmark::State &state)
{
    people();
    const bool undo = state.range(0) != 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        kitWrite(PersistentStoreCoordinator::sqliteStoreType(), dir.filePath(QStringLiteral("s.sql")), undo);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetLabel(undo ? "undo on" : "undo off");
}
BENCHMARK(BM_Kit_InsertSave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Plain_InsertSave(benchmark::State &state)
{
    people();
    for (auto _ : state) {
        QTemporaryDir dir;
        plainWrite(dir.filePath(QStringLiteral("p.sqlite")));
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Plain_InsertSave)->Unit(benchmark::kMillisecond);

void BM_Kit_Fetch(benchmark::State &state)
{
    PersistentStoreCoordinator coordinator(model());
    StoreOptions readOnly;
    readOnly.readOnly = true;
    if (!coordinator.addPersistentStore(PersistentStoreCoordinator::sqliteStoreType(), filled().kit, readOnly))
        qFatal("cannot open");
    FetchRequest request;
    request.entityName = QStringLiteral("Person");
    request.predicate = *Predicate::parse(QStringLiteral("lastName BEGINSWITH[c] \"b\""));
    request.sortDescriptors = {SortDescriptor{kLast}};
    qsizetype found = 0;
    for (auto _ : state) {
        StoreContext context;
        context.setPersistentStoreCoordinator(&coordinator);
        auto records = context.fetch(request);
        found = records->size();
        benchmark::DoNotOptimize(records->data());
    }
    state.counters["records"] = double(found);
}
BENCHMARK(BM_Kit_Fetch)->Unit(benchmark::kMillisecond);

void BM_Plain_Fetch(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open_v2(filled().plain.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), db);
    sqlite3_stmt *select = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT pk FROM person WHERE lastName LIKE 'b%' ORDER BY lastName, pk", -1,
                             &select, nullptr),
          db);
    std::vector<sqlite3_int64> ids;
    for (auto _ : state) {
        ids.clear();
        while (sqlite3_step(select) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(select, 0));
        sqlite3_reset(select);
        benchmark::DoNotOptimize(ids.data());
    }
    state.counters["records"] = double(ids.size());
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BM_Plain_Fetch)->Unit(benchmark::kMillisecond);

void BM_Kit_OpenReadOne(benchmark::State &state)
{
    filled();
    StoreOptions readOnly;
    readOnly.readOnly = true;
    for (auto _ : state) {
        PersistentStoreCoordinator coordinator(model());
        if (!coordinator.addPersistentStore(PersistentStoreCoordinator::sqliteStoreType(), filled().kit, readOnly))
            qFatal("cannot open");
        StoreContext context;
        context.setPersistentStoreCoordinator(&coordinator);
        FetchRequest request;
        request.entityName = QStringLiteral("Person");
        request.fetchLimit = 1;
        auto records = context.fetch(request);
        PersistentObject *r = records->first();
        for (const QString &key : {kFirst, kLast, kEmail, kPhone, kBirthday, kNotes})
            benchmark::DoNotOptimize(r->valueForKey(key));
    }
}
BENCHMARK(BM_Kit_OpenReadOne)->Unit(benchmark::kMicrosecond);

void BM_Plain_OpenReadOne(benchmark::State &state)
{
    filled();
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        check(sqlite3_open_v2(filled().plain.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), db);
        sqlite3_stmt *select = nullptr;
        check(sqlite3_prepare_v2(db, "SELECT * FROM person ORDER BY pk LIMIT 1", -1, &select, nullptr), db);
        check(sqlite3_step(select), db);
        for (int c = 1; c < 7; ++c) {
            if (c == 5)
                benchmark::DoNotOptimize(QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(select, c)));
            else
                benchmark::DoNotOptimize(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(select, c)), sqlite3_column_bytes(select, c)));
        }
        sqlite3_finalize(select);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_Plain_OpenReadOne)->Unit(benchmark::kMicrosecond);

// For scale: the XML store writes and reads the whole graph.
void BM_Kit_XmlInsertSave(benchmark::State &state)
{
    people();
    for (auto _ : state) {
        QTemporaryDir dir;
        kitWrite(PersistentStoreCoordinator::xmlStoreType(), dir.filePath(QStringLiteral("s.xml")), false);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Kit_XmlInsertSave)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
