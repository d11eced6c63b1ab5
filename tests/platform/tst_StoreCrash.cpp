// A process killed in the middle of a save must leave a store that opens with either the
// state before the save or the state after it: never a mixture, never an unreadable file.
#include "StoreTestSupport.h"
#include "ZemTestEnv.h"

#include "platform/store/StoreCoordinator.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

using namespace platform;

namespace {

const char kModel[] = R"({"entities": [{"name": "Person", "attributes": [
    {"name": "lastName", "type": "string"}, {"name": "notes", "type": "string"}]}]})";

constexpr int kLarge = 10000;

struct Store
{
    QString type;
    QString model;
    QString path;

    // Starts a writer of one generation; answers once its save has begun.
    bool startWriter(QProcess &writer, int count, const QString &tag) const
    {
        writer.start(QStringLiteral(ZEM_STORE_WRITER), {type, model, path, QString::number(count), tag});
        if (!writer.waitForStarted(10000))
            return false;
        while (!writer.canReadLine())
            if (!writer.waitForReadyRead(60000))
                return false;
        return writer.readLine().trimmed() == "saving";
    }

    // How many records of each generation the store holds, opened afresh.
    ZEM_Result<QHash<QString, int>> generations(const QStringList &tags) const
    {
        auto parsed = DataModel::fromFile(model);
        if (!parsed)
            return parsed.error();
        PersistentStoreCoordinator coordinator(*parsed);
        auto store = coordinator.addPersistentStore(type, path, StoreOptions{true});
        if (!store)
            return store.error();
        StoreContext context;
        context.setPersistentStoreCoordinator(&coordinator);
        QHash<QString, int> counts;
        for (const QString &tag : tags) {
            auto count = context.count({u"Person"_qs, *Predicate::parse(u"lastName BEGINSWITH %@"_qs, {tag + u'-'}), {}, 0});
            if (!count)
                return count.error();
            if (*count)
                counts.insert(tag, *count);
        }
        auto all = context.count({u"Person"_qs, {}, {}, 0});
        if (!all)
            return all.error();
        counts.insert(u"all"_qs, *all);
        return counts;
    }
};

} // namespace

class tst_StoreCrash : public QObject
{
    Q_OBJECT
private slots:
    void killedSaveKeepsAWholeState_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("sqlite") << PersistentStoreCoordinator::sqliteStoreType();
        QTest::newRow("xml") << PersistentStoreCoordinator::xmlStoreType();
    }

    void killedSaveKeepsAWholeState()
    {
        QFETCH(QString, type);
        QTemporaryDir dir;
        Store store{type, dir.filePath(u"model.json"_qs), dir.filePath(u"people.store"_qs)};
        QVERIFY(storetest::writeBytes(store.model, kModel));

        // The first generation saves whole; the second shows how long a large save takes.
        QHash<QString, int> expected;
        QElapsedTimer clock;
        qint64 saveTime = 0;
        for (const auto &[tag, count] : {std::pair{u"g0"_qs, 200}, std::pair{u"g1"_qs, kLarge}}) {
            QProcess writer;
            QVERIFY(store.startWriter(writer, count, tag));
            clock.start();
            while (!writer.canReadLine())
                QVERIFY(writer.waitForReadyRead(120000));
            saveTime = clock.elapsed();
            QCOMPARE(writer.readLine().trimmed(), QByteArray("saved"));
            QVERIFY(writer.waitForFinished(120000));
            QCOMPARE(writer.exitCode(), 0);
            expected.insert(tag, count);
        }
        QStringList tags = expected.keys();
        expected.insert(u"all"_qs, 200 + kLarge);
        QCOMPARE(*store.generations(tags), expected);

        // Kills spread across the length of a save: each leaves all of its generation or none.
        int killedMidway = 0;
        for (int step = 1; step <= 3; ++step) {
            const QString tag = u"k"_qs + QString::number(step);
            QProcess writer;
            QVERIFY(store.startWriter(writer, kLarge, tag));
            QTest::qSleep(int(saveTime * (3 * step - 1) / 10)); // 20%, 50%, 80% of a save
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(30000));
            if (!writer.readAllStandardOutput().contains("saved"))
                ++killedMidway;

            tags.append(tag);
            const auto counts = store.generations(tags);
            QVERIFY2(counts, counts ? "" : qPrintable(counts.error().message));
            const int written = counts->value(tag);
            QVERIFY2(written == 0 || written == kLarge, qPrintable(u"%1 of %2"_qs.arg(written).arg(kLarge)));
            if (written) {
                expected.insert(tag, written);
                expected[u"all"_qs] += written;
            }
            QCOMPARE(*counts, expected);
        }
        // At least some of the kills must have landed inside a save for this to mean anything.
        QVERIFY(killedMidway > 0);
    }
};

ZEM_TEST_MAIN(tst_StoreCrash)
#include "tst_StoreCrash.moc"
