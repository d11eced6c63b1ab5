// Another program edits, deletes and renames cards and events while the kit loads, edits and
// saves them. At the end every edit of both sides is on disk, or the kit reported a conflict
// for it. ZEM_STRESS_SECONDS sets how long (CI runs it briefly; run it for minutes by hand).
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/addressbook/AddressBook.h"
#include "platform/calendarstore/CalendarStore.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;
using namespace Qt::StringLiterals;
using zemtest::readFile;
using zemtest::writeFile;

namespace {

constexpr int kShared = 10; // items both sides edit; the next ten only the other program touches
constexpr int kItems = 20;

QByteArray cardFile(int i)
{
    return u"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%1\r\nFN:Person %1\r\nN:%1;Person;;;\r\nORG:start\r\nEND:VCARD\r\n"_s
        .arg(i)
        .toUtf8();
}

QByteArray eventFile(int i)
{
    const QByteArray hour = QByteArray::number(10 + i % 10);
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//stress//EN\r\nBEGIN:VEVENT\r\nUID:e" + QByteArray::number(i)
           + "\r\nDTSTAMP:20270101T000000Z\r\nDTSTART:20270101T" + hour + "0000Z\r\nDTEND:20270101T" + hour
           + "3000Z\r\nSUMMARY:start\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// uid -> the bytes of every file under \a folder holding it.
QMultiHash<QString, QByteArray> filesByUid(const QString &folder, const QString &suffix)
{
    QMultiHash<QString, QByteArray> out;
    QDirIterator it(folder, {u"*"_s + suffix}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray bytes = readFile(it.next());
        for (const QByteArray &line : zemtest::unfoldedLines(bytes))
            if (line.startsWith("UID:"))
                out.insert(QString::fromUtf8(line.mid(4)), bytes);
    }
    return out;
}

struct Journal
{
    QHash<QString, QStringList> otherTokens; // edits the other program landed
    QSet<QString> displaced;                 // items where it overwrote what it had not read
    QHash<QString, QString> lastStep;        // deleted or renamed, for items only it touches
};

Journal readJournal(const QString &path)
{
    Journal j;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString uid = o.value(u"uid"_s).toString();
        const QString step = o.value(u"step"_s).toString();
        if (step == u"edited")
            j.otherTokens[uid].append(o.value(u"token"_s).toString());
        else if (step == u"displaced")
            j.displaced.insert(uid);
        else if (!step.isEmpty())
            j.lastStep.insert(uid, step);
    }
    return j;
}

} // namespace

class tst_SharedFolderStress : public QObject
{
    Q_OBJECT

private slots:
    void bothSidesEditsSurvive()
    {
        QTemporaryDir dir;
        const QString contacts = dir.filePath(u"contacts"_s);
        const QString calendars = dir.filePath(u"calendars"_s);
        QVERIFY(writeFile(calendars + u"/home/displayname"_s, "Home"));
        for (int i = 0; i < kItems; ++i) {
            QVERIFY(writeFile(u"%1/c%2.vcf"_s.arg(contacts).arg(i), cardFile(i)));
            QVERIFY(writeFile(u"%1/home/e%2.ics"_s.arg(calendars).arg(i), eventFile(i)));
        }

        const QString seconds = qEnvironmentVariable("ZEM_STRESS_SECONDS", u"3"_s);
        const QString journalPath = dir.filePath(u"journal"_s);
        QProcess other;
        other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        other.start(u"python3"_s, {QStringLiteral(ZEM_SOURCE_DIR "/tests/stress/other_program.py"), contacts, calendars + u"/home"_s,
                                   seconds, journalPath});
        QVERIFY(other.waitForStarted());

        QHash<QString, QString> kitLast; // the kit's last saved token of each shared item
        int saves = 0, conflicts = 0;
        auto *rng = QRandomGenerator::global();
        std::unique_ptr<AddressBook> book;
        std::unique_ptr<CalendarStore> store;
        for (int n = 0; other.state() != QProcess::NotRunning; ++n) {
            // Keep a book or store across several saves, so edits land between its read and its save.
            if (n % 5 == 0 || !book) {
                book = std::make_unique<AddressBook>(contacts);
                store = std::make_unique<CalendarStore>(calendars);
            }
            const QString token = u"k%1"_s.arg(n);
            const int i = int(rng->bounded(kShared));
            ZEM_Result<void> saved;
            QString uid;
            if (n % 2 == 0) {
                uid = u"c%1"_s.arg(i);
                auto *person = dynamic_cast<ABPerson *>(book->recordForUniqueId(uid + kABPersonSuffix));
                QVERIFY2(person, qPrintable(uid + u": "_s + book->problems().join(u'\n')));
                person->setValue(token, kABOrganizationProperty);
                saved = book->save();
            } else {
                uid = u"e%1"_s.arg(i);
                auto e = store->eventWithUID(uid);
                QVERIFY2(e, qPrintable(uid));
                e->setTitle(token);
                saved = store->saveEvent(*e, CalSpanThisEvent);
            }
            if (saved) {
                ++saves;
                kitLast.insert(uid, token);
            } else {
                QVERIFY2(saved.error().code == ZEM_Error::Conflict, qPrintable(saved.error().message));
                ++conflicts;
                book.reset(); // read afresh
                store.reset();
            }
            QCoreApplication::processEvents();
        }
        QCOMPARE(other.exitStatus(), QProcess::NormalExit);
        QCOMPARE(other.exitCode(), 0);
        const Journal journal = readJournal(journalPath);
        qInfo("kit: %d saves, %d conflicts; other program: %lld items edited", saves, conflicts,
              qlonglong(journal.otherTokens.size()));

        const auto cards = filesByUid(contacts, u".vcf"_s);
        const auto events = filesByUid(calendars, u".ics"_s);
        for (int i = 0; i < kItems; ++i) {
            for (const auto &[uid, files, field] : {std::tuple(u"c%1"_s.arg(i), &cards, QByteArray("ORG:")),
                                                    std::tuple(u"e%1"_s.arg(i), &events, QByteArray("SUMMARY:"))}) {
                const QList<QByteArray> held = files->values(uid);
                if (i >= kShared) {
                    // A deletion by the other program wins; a renamed item stays once.
                    QCOMPARE(held.size(), journal.lastStep.value(uid) == u"deleted" ? 0 : 1);
                    continue;
                }
                QCOMPARE(held.size(), 1);
                const QList<QByteArray> lines = zemtest::unfoldedLines(held.first());
                for (const QString &token : journal.otherTokens.value(uid))
                    QVERIFY2(lines.contains("X-OTHER:" + token.toUtf8()),
                             qPrintable(uid + u": the other program's "_s + token + u" is lost"_s));
                if (kitLast.contains(uid) && !journal.displaced.contains(uid))
                    QVERIFY2(lines.contains(field + kitLast.value(uid).toUtf8()),
                             qPrintable(uid + u": the kit's "_s + kitLast.value(uid) + u" is lost"_s));
            }
        }
        // What is left reads back whole.
        AddressBook again(contacts);
        QVERIFY(again.problems().isEmpty());
        CalendarStore againStore(calendars);
        QVERIFY2(againStore.problems().isEmpty(), qPrintable(againStore.problems().join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(tst_SharedFolderStress)
#include "tst_SharedFolderStress.moc"
