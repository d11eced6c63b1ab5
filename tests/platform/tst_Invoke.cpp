#include "ZemTestEnv.h"

#include "platform/Invoke.h"

#include <QPointer>

namespace {
int g_dyingCalls = 0;
}

class Target : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    QStringList calls;
    QVariant lastValue;

    Q_INVOKABLE void reloadData() { calls << QStringLiteral("reloadData"); }
    Q_INVOKABLE bool dropContacts(const QVariantList &records, int row)
    {
        calls << QStringLiteral("dropContacts %1 %2").arg(records.size()).arg(row);
        return row >= 0;
    }
    Q_INVOKABLE void removeObserver(QObject *) { calls << QStringLiteral("removeObserver"); }
    Q_INVOKABLE void removeObserverNameObject(QObject *, const QString &name, const QVariant &)
    {
        calls << QStringLiteral("removeObserverNameObject ") + name;
    }
    Q_INVOKABLE QString describe(int n) { return QStringLiteral("int %1").arg(n); }
    Q_INVOKABLE QString describe(const QString &s) { return QStringLiteral("string ") + s; }
    Q_INVOKABLE QString describe(int a, int b) { return QStringLiteral("pair %1").arg(a + b); }
    Q_INVOKABLE QVariant echo(const QVariant &v) { return v; }
    Q_INVOKABLE double half(double x) { return x / 2; }
    Q_INVOKABLE int onlyInt(int n)
    {
        calls << QStringLiteral("onlyInt");
        return n;
    }
    Q_INVOKABLE void takeTarget(Target *t)
    {
        calls << (t ? QStringLiteral("target ") + t->objectName() : QStringLiteral("target null"));
    }
    Q_INVOKABLE void mark(const QString &what) { calls << what; }
    Q_INVOKABLE void dying() { ++g_dyingCalls; }
    Q_INVOKABLE void deleteOther(QObject *other) { delete other; }

public slots:
    void plainSlot() { calls << QStringLiteral("plainSlot"); }

signals:
    void changed();
};

class Derived : public Target
{
    Q_OBJECT
public:
    using Target::Target;
    Q_INVOKABLE QString describe(int n) { return QStringLiteral("derived %1").arg(n); }
};

class tst_Invoke : public QObject
{
    Q_OBJECT
private slots:
    void selectors_data()
    {
        QTest::addColumn<QByteArray>("selector");
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<bool>("answers");
        const auto row = [](const char *name, const char *selector, const char *member, bool answers) {
            QTest::newRow(name) << QByteArray(selector) << QByteArray(member) << answers;
        };
        row("plain name", "reloadData", "reloadData", true);
        row("selector with colon", "reloadData:", "reloadData", true);
        row("one keyword", "removeObserver:", "removeObserver", true);
        row("all keywords exist", "removeObserver:name:object:", "removeObserverNameObject", true);
        row("only the first exists", "dropContacts:row:", "dropContacts", true);
        row("slot", "plainSlot", "plainSlot", true);
        row("neither exists", "dropPeople:row:", "dropPeople", false);
        row("signal is not callable", "changed", "changed", false);
        row("empty", "", "", false);
        row("colons only", "::", "", false);
    }

    void selectors()
    {
        QFETCH(QByteArray, selector);
        QFETCH(QByteArray, member);
        QFETCH(bool, answers);
        Target t;
        QCOMPARE(platform::memberNameForSelector(&t, selector), member);
        QCOMPARE(platform::respondsTo(&t, selector), answers);
        QVERIFY(!platform::respondsTo(nullptr, selector));
    }

    void performConvertsArguments()
    {
        Target t;
        bool ok = false;
        const QVariant r = platform::perform(&t, "dropContacts:row:",
                                             {QVariantList{1, 2, 3}, QStringLiteral("4")}, &ok);
        QVERIFY(ok);
        QCOMPARE(r, QVariant(true));
        QCOMPARE(t.calls, QStringList{QStringLiteral("dropContacts 3 4")});

        const QVariant h = platform::perform(&t, "half", {QStringLiteral("5")}, &ok);
        QVERIFY(ok);
        QCOMPARE(h.metaType(), QMetaType::fromType<double>());
        QCOMPARE(h.toDouble(), 2.5);

        // An invalid argument gives the parameter's default value.
        QCOMPARE(platform::perform(&t, "onlyInt", {QVariant()}, &ok), QVariant(0));
        QVERIFY(ok);

        // Void members answer nothing but succeed.
        QVERIFY(!platform::perform(&t, "reloadData", {}, &ok).isValid());
        QVERIFY(ok);

        // A QVariant parameter takes the value as it is, type and all, even an invalid one.
        const QVariant list = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        const QVariant echoed = platform::perform(&t, "echo", {list}, &ok);
        QVERIFY(ok);
        QCOMPARE(echoed.metaType(), QMetaType::fromType<QStringList>());
        QCOMPARE(echoed, list);
        QVERIFY(!platform::perform(&t, "echo", {QVariant()}, &ok).isValid());
        QVERIFY(ok);
    }

    void performChoosesOverload_data()
    {
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("int") << QVariantList{7} << QStringLiteral("int 7");
        QTest::newRow("string") << QVariantList{QStringLiteral("x")} << QStringLiteral("string x");
        QTest::newRow("two arguments") << QVariantList{2, 3} << QStringLiteral("pair 5");
        QTest::newRow("two strings converted") << QVariantList{QStringLiteral("2"), QStringLiteral("3")} << QStringLiteral("pair 5");
    }

    void performChoosesOverload()
    {
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        Target t;
        bool ok = false;
        QCOMPARE(platform::perform(&t, "describe", args, &ok).toString(), expected);
        QVERIFY(ok);

        // A subclass's member comes before the one it hides.
        Derived d;
        if (args.size() == 1 && args.first().metaType() == QMetaType::fromType<int>())
            QCOMPARE(platform::perform(&d, "describe:", args).toString(),
                     QStringLiteral("derived %1").arg(args.first().toInt()));
    }

    void performObjectArguments()
    {
        Target t;
        Target other;
        other.setObjectName(QStringLiteral("other"));
        QObject plain;
        bool ok = false;
        // Every keyword of a camel-case selector names the member; the first alone, another.
        platform::perform(&t, "removeObserver:name:object:",
                          {QVariant::fromValue<QObject *>(&other), QStringLiteral("ResetMenu"), {}}, &ok);
        QVERIFY(ok);
        platform::perform(&t, "removeObserver:", {QVariant::fromValue<QObject *>(&other)}, &ok);
        QVERIFY(ok);
        platform::perform(&t, "takeTarget:", {QVariant::fromValue<QObject *>(&other)}, &ok);
        QVERIFY(ok);
        platform::perform(&t, "takeTarget:", {QVariant::fromValue<QObject *>(nullptr)}, &ok);
        QVERIFY(ok);
        // An object of the wrong class is refused rather than passed as a Target.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("has no member.*takeTarget"));
        platform::perform(&t, "takeTarget:", {QVariant::fromValue<QObject *>(&plain)}, &ok);
        QVERIFY(!ok);
        QCOMPARE(t.calls, (QStringList{QStringLiteral("removeObserverNameObject ResetMenu"),
                                       QStringLiteral("removeObserver"), QStringLiteral("target other"),
                                       QStringLiteral("target null")}));
    }

    void performFailures_data()
    {
        QTest::addColumn<QByteArray>("selector");
        QTest::addColumn<QVariantList>("args");
        QTest::newRow("missing member") << QByteArray("noSuchThing") << QVariantList{};
        QTest::newRow("too many arguments") << QByteArray("reloadData") << QVariantList{1};
        QTest::newRow("too few arguments") << QByteArray("dropContacts:row:") << QVariantList{1};
        QTest::newRow("unconvertible") << QByteArray("onlyInt") << QVariantList{QStringLiteral("abc")};
        QTest::newRow("signal") << QByteArray("changed") << QVariantList{};
    }

    void performFailures()
    {
        QFETCH(QByteArray, selector);
        QFETCH(QVariantList, args);
        Target t;
        bool ok = true;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("has no member"));
        QVERIFY(!platform::perform(&t, selector, args, &ok).isValid());
        QVERIFY(!ok);
        QVERIFY(t.calls.isEmpty());

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sent to no object"));
        ok = true;
        platform::perform(nullptr, selector, args, &ok);
        QVERIFY(!ok);
    }

    void delayedCallWaitsForTheLoop()
    {
        Target t;
        platform::performAfterDelay(&t, "mark:", {QStringLiteral("late")}, 0.05);
        platform::performAfterDelay(&t, "mark:", {QStringLiteral("soon")}, 0);
        QVERIFY(t.calls.isEmpty());
        QTRY_COMPARE(t.calls, (QStringList{QStringLiteral("soon"), QStringLiteral("late")}));
    }

    void delayedCallsNeverReachDeletedTargets()
    {
        g_dyingCalls = 0;
        auto *early = new Target;
        platform::performAfterDelay(early, "dying", {}, 0);
        delete early;

        // Destroyed during the same pass of the loop, by a call queued just before its own.
        Target killer;
        QPointer<Target> victim = new Target;
        platform::performAfterDelay(&killer, "deleteOther:",
                                    {QVariant::fromValue<QObject *>(victim.data())}, 0);
        platform::performAfterDelay(victim, "dying", {}, 0);

        Target witness;
        platform::performAfterDelay(&witness, "mark:", {QStringLiteral("done")}, 0.02);
        QTRY_COMPARE(witness.calls.size(), 1);
        QVERIFY(victim.isNull());
        QCOMPARE(g_dyingCalls, 0);
    }
};

ZEM_TEST_MAIN(tst_Invoke)
#include "tst_Invoke.moc"
