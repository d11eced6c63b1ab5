// The calendar store's folder index: an unchanged file is listed from it, a file changed in
// any way is read again, and an index that cannot be used, or that other processes are
// making at the same time, is never trusted over the files.
#include "CalendarFixture.h"

#include "platform/calendarstore/detail/ItemCache.h"
#include "platform/detail/FolderIndex.h"

#include <QApplication>
#include <QDataStream>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

using namespace caltest;
using platform::detail::FolderIndex;
namespace itemcache = platform::detail::itemcache;

namespace {

QByteArray calendar(const QByteArray &body)
{
    return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//Test//EN\n" + body + "END:VCALENDAR\n");
}

QByteArray eventFile(const QByteArray &uid, const QByteArray &title, const QByteArray &rule = {})
{
    return calendar("BEGIN:VEVENT\nUID:" + uid + "\nDTSTAMP:20250101T000000Z\nDTSTART:20250310T090000Z\n"
                    "DTEND:20250310T100000Z\nSUMMARY:" + title + "\n" + rule + "END:VEVENT\n");
}

QByteArray todoFile(const QByteArray &uid, const QByteArray &title)
{
    return calendar("BEGIN:VTODO\nUID:" + uid + "\nDTSTAMP:20250101T000000Z\nSUMMARY:" + title + "\nEND:VTODO\n");
}

// What a host sees: the titles of 2025's occurrences and of the open to-dos.
QString titles(const CalendarStore &store)
{
    QStringList out;
    const auto year = CalendarStore::eventPredicateWithStartDate(QDateTime(QDate(2025, 1, 1), QTime(0, 0)),
                                                                 QDateTime(QDate(2026, 1, 1), QTime(0, 0)), {});
    for (const CalEvent &e : store.eventsWithPredicate(year))
        out << e.title();
    for (const CalTask &t : store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks({})))
        out << t.title();
    out.sort();
    return out.join(u'|');
}

// Writes \a bytes over \a path and gives it back its modification time, so that only its
// change time tells; with \a rename, a new file (a new inode) is put in its place.
bool rewriteKeepingTime(const QString &path, const QByteArray &bytes, bool rename)
{
    struct stat before;
    if (lstat(QFile::encodeName(path).constData(), &before) != 0)
        return false;
    const QString target = rename ? path + u".new"_s : path;
    if (!writeFile(target, bytes))
        return false;
    const timespec times[2] = {before.st_atim, before.st_mtim};
    return utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0) == 0
           && (!rename || std::rename(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0);
}

QByteArray utf16(const QString &s)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    stream << s;
    return out.mid(4); // without the length
}

} // namespace

class tst_CalendarStoreIndex : public QObject
{
    Q_OBJECT

    OneCalendar m_dir;
    OneCalendar m_samples; // every sample file of other programs
    const QString kAllThere = u"Choir|Choir|Choir|Lunch|Pay bills"_s;

    QString path(const QString &name) const { return m_dir.filePath(u"cal/"_s + name); }
    QString indexPath() const { return FolderIndex::pathFor(m_dir.path(), itemcache::indexKind()); }
    std::unique_ptr<FolderIndex> openIndex() const
    {
        return FolderIndex::open(m_dir.path(), itemcache::indexKind(), itemcache::kVersion);
    }
    QString listed() const { return titles(CalendarStore(m_dir.path(), false)); }

private slots:
    void initTestCase()
    {
        QVERIFY(writeFile(path(u"a.ics"_s), eventFile("a", "Lunch")));
        QVERIFY(writeFile(path(u"b.ics"_s), todoFile("b", "Pay bills")));
        QVERIFY(writeFile(path(u"c.ics"_s), eventFile("c", "Choir", "RRULE:FREQ=WEEKLY;COUNT=3\n")));
        for (const QFileInfo &f : QDir(sample({})).entryInfoList({u"*.ics"_s}, QDir::Files))
            QVERIFY(QFile::copy(f.filePath(), m_samples.filePath(u"cal/"_s + f.fileName())));
        // A file changed in the last two seconds is never indexed: these age as a user's have.
        QThread::msleep(2100);
    }

    void unusableIndexIsMadeAnew()
    {
        QCOMPARE(listed(), kAllThere);
        QCOMPARE(openIndex()->entries().size(), 3);
        const QByteArray good = readFile(indexPath());
        for (const QByteArray &bad : {QByteArray("not an index at all"), QByteArray(), good.left(good.size() / 2)}) {
            QVERIFY(writeFile(indexPath(), bad));
            QFile::remove(indexPath() + u"-wal"_s);
            QCOMPARE(listed(), kAllThere);
            QCOMPARE(openIndex()->entries().size(), 3);
        }
        // One that cannot be written still serves, and the files stay the truth.
        const QString dir = QFileInfo(indexPath()).path();
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(listed(), kAllThere);
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void severalProcessesMakeOneIndex()
    {
        QFile::remove(indexPath());
        QList<QProcess *> children;
        for (int i = 0; i < 3; ++i) {
            auto *child = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"ZEM_INDEX_CHILD"_s, m_dir.path());
            child->setProcessEnvironment(env);
            child->start(QCoreApplication::applicationFilePath(), {});
            children << child;
        }
        QCOMPARE(listed(), kAllThere);
        for (QProcess *child : children) {
            QVERIFY(child->waitForFinished(60000));
            QCOMPARE(QString::fromUtf8(child->readAllStandardOutput().trimmed()), kAllThere);
        }
        QCOMPARE(listed(), kAllThere);
    }

    // What a listing hands out from the index is what it hands out from the files.
    void cachedItemsAreThoseOfTheFiles()
    {
        const auto everything = [this] {
            const CalendarStore store(m_samples.path(), false);
            QList<QVariantMap> out;
            const auto range = CalendarStore::eventPredicateWithStartDate(QDateTime(QDate(2000, 1, 1), QTime(0, 0)),
                                                                          QDateTime(QDate(2030, 1, 1), QTime(0, 0)), {});
            for (const CalEvent &e : store.eventsWithPredicate(range))
                out << describe(e);
            for (const CalTask &t : store.tasksWithPredicate(CalendarStore::taskPredicateWithCalendars({})))
                out << describe(t);
            return out;
        };
        // With no index at all (none is kept in the folder itself), every item is read from
        // its components.
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_samples.filePath(u".cache"_s)));
        const QList<QVariantMap> fromFiles = everything();
        qputenv("XDG_CACHE_HOME", cache);
        QVERIFY(fromFiles.size() > 20);
        QVERIFY(!QFile::exists(m_samples.filePath(u".cache/zemappkit/folder-index"_s) + u'/'
                               + QFileInfo(FolderIndex::pathFor(m_samples.path(), itemcache::indexKind())).fileName()));
        // Read and indexed, then listed from the index (the series from what the listing before
        // kept of them).
        QCOMPARE(everything(), fromFiles);
        QVERIFY(!FolderIndex::open(m_samples.path(), itemcache::indexKind(), itemcache::kVersion)->entries().isEmpty());
        QCOMPARE(everything(), fromFiles);
    }

    void listsFromTheIndexOnlyWhatDidNotChange()
    {
        QCOMPARE(listed(), kAllThere);
        // What an unchanged file is listed from: a title changed in its entry shows.
        auto index = openIndex();
        // The series' occurrences are kept for the range a listing expanded it in.
        for (const auto &[file, from, to] : {std::tuple(u"cal/a.ics"_s, u"Lunch"_s, u"Lurch"_s),
                                             std::tuple(u"cal/b.ics"_s, u"Pay bills"_s, u"Pay bells"_s),
                                             std::tuple(u"cal/c.ics"_s, u"Choir"_s, u"Chair"_s)}) {
            const FolderIndex::Entry entry = index->entries().value(file);
            QByteArray doctored = entry.payload;
            doctored.replace(utf16(from), utf16(to));
            QVERIFY(doctored != entry.payload);
            index->put(file, entry.key, doctored);
        }
        QVERIFY(index->commit());
        QCOMPARE(listed(), u"Chair|Chair|Chair|Lurch|Pay bells"_s);
        {
            // A range the index does not hold the series for is expanded from its file.
            const CalendarStore store(m_dir.path(), false);
            QStringList series;
            for (const CalEvent &e : store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
                     QDateTime(QDate(2025, 3, 1), QTime(0, 0)), QDateTime(QDate(2026, 3, 1), QTime(0, 0)), {})))
                series << e.title();
            QCOMPARE(series.join(u'|'), u"Lurch|Choir|Choir|Choir"_s);
        }

        // Edited behind it: the same size and time, and a new file renamed over the old one.
        QVERIFY(rewriteKeepingTime(path(u"a.ics"_s), eventFile("a", "Munch"), false));
        QVERIFY(rewriteKeepingTime(path(u"b.ics"_s), todoFile("b", "Pay bills"), true));
        QVERIFY(QFile::remove(path(u"c.ics"_s)));
        QVERIFY(writeFile(path(u"d.ics"_s), todoFile("d", "Tea")));
        QCOMPARE(listed(), u"Munch|Pay bills|Tea"_s);
        QVERIFY(!openIndex()->entries().contains(u"cal/c.ics"_s)); // gone from the folder, gone here
    }
};

int main(int argc, char **argv)
{
    // A second process sharing the parent's folders and cache.
    if (const QByteArray folder = qgetenv("ZEM_INDEX_CHILD"); !folder.isEmpty()) {
        QCoreApplication app(argc, argv);
        std::puts(qPrintable(titles(CalendarStore(QString::fromLocal8Bit(folder), false))));
        return 0;
    }
    ZemTestEnv zemEnv("Europe/Berlin");
    QApplication app(argc, argv);
    tst_CalendarStoreIndex tc;
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_CalendarStoreIndex.moc"
