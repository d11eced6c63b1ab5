// The calendar folder shared with khal and todoman: each side lists what the other wrote,
// and the kit's edits of their files leave them readable with every line it did not change.

#include "CalendarFixture.h"
#include "ContentLines.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

using namespace caltest;

namespace {

const QDate kMarch(2026, 3, 1);

} // namespace

class tst_CalendarPeers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root, m_khalConf, m_todoConf;

    QByteArray run(const QString &program, QStringList args)
    {
        args.prepend(program == u"khal" ? m_khalConf : m_todoConf);
        args.prepend(program == u"khal" ? u"-c"_s : u"--config"_s);
        QProcess p;
        p.start(program, args);
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            qWarning() << program << args << p.readAllStandardError();
        return ok ? p.readAllStandardOutput() : QByteArray("failed");
    }

    // khal's occurrences of March as "uid start title", sorted.
    QStringList khalMarch()
    {
        const QByteArray out = run(u"khal"_s, {u"list"_s, u"-df"_s, QString(), u"-f"_s, u"{uid} {start} {title}"_s,
                                               u"2026-03-01"_s, u"2026-03-31"_s});
        QStringList lines = QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
        lines.removeDuplicates(); // khal lists an event once for each day it spans
        lines.sort();
        return lines;
    }

    // The kit's occurrences of March in the same form.
    QStringList kitMarch()
    {
        CalendarStore store(m_root);
        const QDateTime from(kMarch, QTime(0, 0)), to(kMarch.addMonths(1), QTime(0, 0));
        QStringList lines;
        for (const CalEvent &e : store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(from, to, store.calendars())))
            lines << u"%1 %2 %3"_s.arg(e.uid(), e.startDate().toString(e.isAllDay() ? u"yyyy-MM-dd"_s
                                                                                     : u"yyyy-MM-dd HH:mm"_s),
                                       e.title());
        lines.sort();
        return lines;
    }

    // todoman's open to-dos as "summary due".
    QStringList todomanOpen()
    {
        QStringList out;
        const QJsonArray todos = QJsonDocument::fromJson(run(u"todoman"_s, {u"--porcelain"_s, u"list"_s})).array();
        for (const QJsonValue &t : todos)
            out << t[u"summary"].toString() + u' '
                       + QDateTime::fromSecsSinceEpoch(t[u"due"].toInteger()).toString(u"yyyy-MM-dd"_s);
        out.sort();
        return out;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"khal", "todoman"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("khal and todoman are not both installed");
    }

    void init()
    {
        m_root = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        QVERIFY(!makeCalendar(m_dir, QFileInfo(m_root).fileName() + u"/work"_s, "Work").isEmpty());
        m_khalConf = m_root + u".khal.conf"_s;
        m_todoConf = m_root + u".todoman.py"_s;
        const QByteArray root = m_root.toUtf8();
        QVERIFY(writeFile(m_khalConf, "[calendars]\n[[all]]\npath = " + root + "/*\ntype = discover\n"
                                      "[locale]\nlocal_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n"
                                      "timeformat = %H:%M\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
                                      "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n"
                                      "[sqlite]\npath = " + root + ".khal.db\n"));
        QVERIFY(writeFile(m_todoConf, "path = \"" + root + "/*\"\ndate_format = \"%Y-%m-%d\"\n"
                                      "time_format = \"%H:%M\"\ncache_path = \"" + root + ".todoman.db\"\n"));
    }

    void peersListWhatTheKitSaved()
    {
        CalendarStore store(m_root);
        const CalCalendar work = *store.calendarWithUID(u"work"_s);
        const auto event = [&](const char *title, const QDateTime &start, const QDateTime &end) {
            CalEvent e = CalEvent::event();
            e.setCalendar(work);
            e.setTitle(QString::fromUtf8(title));
            e.setStartDate(start);
            e.setEndDate(end);
            return e;
        };
        const QDate day14(2026, 3, 14), day20(2026, 3, 20), monday(2026, 3, 2);
        CalEvent dentist = event("Dentist", QDateTime(day14, QTime(9, 0)), QDateTime(day14, QTime(10, 0)));
        CalEvent holiday = event("Holiday", QDateTime(day20, QTime(0, 0)), QDateTime(day20, QTime(0, 0)));
        holiday.setIsAllDay(true);
        // Mondays, across the change of clocks
        CalEvent standup = event("Standup", QDateTime(monday, QTime(8, 0)), QDateTime(monday, QTime(8, 30)));
        standup.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Weekly, 1, CalRecurrenceEnd::endWithOccurrenceCount(5)));
        for (CalEvent *e : {&dentist, &holiday, &standup})
            QVERIFY(store.saveEvent(*e, CalSpanThisEvent));
        const auto third = eventsOf(store, standup.uid()).value(2);
        QCOMPARE(third.startDate().date(), QDate(2026, 3, 16));
        QVERIFY(store.removeEvent(third, CalSpanThisEvent));
        CalTask milk = CalTask::task(), done = CalTask::task();
        for (CalTask *t : {&milk, &done}) {
            t->setCalendar(work);
            t->setDueDate(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
        }
        milk.setTitle(u"Buy milk"_s);
        done.setTitle(u"Done already"_s);
        done.setIsCompleted(true);
        QVERIFY(store.saveTask(milk) && store.saveTask(done));

        const QStringList kit = kitMarch();
        QCOMPARE(kit.size(), 6); // dentist, holiday, four of five stand-ups
        QCOMPARE(khalMarch(), kit);
        QCOMPARE(todomanOpen(), QStringList{u"Buy milk 2026-03-20"_s});
    }

    void theKitListsWhatPeersSaved()
    {
        run(u"khal"_s, {u"new"_s, u"-a"_s, u"Work"_s, u"2026-03-14"_s, u"09:00"_s, u"10:00"_s, u"Dentist"_s});
        run(u"khal"_s, {u"new"_s, u"-a"_s, u"Work"_s, u"-r"_s, u"weekly"_s, u"2026-03-02"_s, u"08:00"_s, u"08:30"_s,
                        u"Standup"_s});
        run(u"khal"_s, {u"new"_s, u"-a"_s, u"Work"_s, u"2026-03-20"_s, u"Holiday"_s});
        run(u"todoman"_s, {u"new"_s, u"-l"_s, u"work"_s, u"--due"_s, u"2026-03-20"_s, u"Buy milk"_s});
        run(u"todoman"_s, {u"new"_s, u"-l"_s, u"work"_s, u"--due"_s, u"2026-03-21"_s, u"Done already"_s});
        run(u"todoman"_s, {u"done"_s, u"2"_s});

        const QStringList khal = khalMarch();
        QCOMPARE(khal.size(), 7); // dentist, holiday, five stand-ups
        QCOMPARE(kitMarch(), khal);
        CalendarStore store(m_root);
        QStringList open;
        for (const CalTask &t : store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks(store.calendars())))
            open << t.title() + u' ' + t.dueDate().toString(u"yyyy-MM-dd"_s);
        QCOMPARE(open, todomanOpen());
        QCOMPARE(open, QStringList{u"Buy milk 2026-03-20"_s});
    }

    void peersReadTheKitsEditsOfTheirFiles()
    {
        run(u"khal"_s, {u"new"_s, u"-a"_s, u"Work"_s, u"2026-03-14"_s, u"09:00"_s, u"10:00"_s, u"Dentist"_s});
        run(u"todoman"_s, {u"new"_s, u"-l"_s, u"work"_s, u"--due"_s, u"2026-03-20"_s, u"Buy milk"_s});
        QMap<QString, QByteArray> before;
        for (const QString &name : QDir(m_root + u"/work"_s).entryList({u"*.ics"_s}))
            before.insert(name, readFile(m_root + u"/work/"_s + name));
        QCOMPARE(before.size(), 2);

        CalendarStore store(m_root);
        CalEvent dentist = eventsOf(store).value(0);
        dentist.setTitle(u"Dentist, moved room"_s);
        QVERIFY(store.saveEvent(dentist, CalSpanThisEvent));
        CalTask milk = store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks(store.calendars())).value(0);
        milk.setIsCompleted(true);
        QVERIFY(store.saveTask(milk));

        QCOMPARE(khalMarch(), QStringList{dentist.uid() + u" 2026-03-14 09:00 Dentist, moved room"_s});
        QCOMPARE(todomanOpen(), QStringList());
        // What changed is the title, the completion and the stamps of a change; nothing else.
        static const QList<QByteArray> changing = {"SUMMARY", "STATUS", "COMPLETED", "PERCENT-COMPLETE",
                                                   "DTSTAMP", "LAST-MODIFIED", "SEQUENCE"};
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QByteArray after = readFile(m_root + u"/work/"_s + it.key());
            const auto [gone, added] = zemtest::lineDiff(zemtest::rawLines(it.value()), zemtest::rawLines(after));
            for (const QByteArray &line : gone + added)
                QVERIFY2(changing.contains(zemtest::propertyName(line)), line);
        }
    }
};

ZEM_TEST_MAIN(tst_CalendarPeers)
#include "tst_CalendarPeers.moc"
