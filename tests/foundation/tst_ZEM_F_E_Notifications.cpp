#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"

#include <memory>
#include <utility>

namespace {

// An observer in the shape kit classes take: a member told by name.
class Listener : public QObject
{
    Q_OBJECT
public:
    QList<ZEM_F_Notification> received;
    int bare = 0;
    std::function<void(const ZEM_F_Notification &)> onReceive;

public slots:
    void languageCall(const ZEM_F_Notification &n)
    {
        received << n;
        if (onReceive)
            onReceive(n);
    }
    void resetMenu() { ++bare; }
    void notATarget(int) {}
};

} // namespace

class tst_ZEM_F_E_Notifications : public QObject
{
    Q_OBJECT
private slots:
    void init() { centre = std::make_unique<ZEM_F_E_Notifications>(); }
    void cleanup() { centre.reset(); }

    void selectorsByNameOrSelector()
    {
        Listener l;
        QVERIFY(centre->addObserver(&l, "languageCall:", QStringLiteral("LanguageCall")));
        QVERIFY(centre->addObserver(&l, "resetMenu", QStringLiteral("ResetMenu")));
        // A member with the wrong parameters, a missing member, a null observer: refused.
        QVERIFY(!centre->addObserver(&l, "notATarget:", QStringLiteral("X")));
        QVERIFY(!centre->addObserver(&l, "noSuchMember", QStringLiteral("X")));
        QVERIFY(!centre->addObserver(nullptr, "resetMenu", QStringLiteral("X")));
        QCOMPARE(centre->observerCount(), 2);

        const QVariantMap info{{QStringLiteral("k"), 1}};
        centre->postNotificationNameObject(QStringLiteral("LanguageCall"), 2, info);
        centre->postNotificationName(QStringLiteral("ResetMenu"));
        QCOMPARE(l.received.size(), 1);
        QCOMPARE(l.received[0].name, QStringLiteral("LanguageCall"));
        QCOMPARE(l.received[0].object, QVariant(2));
        QCOMPARE(l.received[0].userInfo, info);
        QCOMPARE(l.bare, 1);
    }

    void filtersByNameAndObject_data()
    {
        QTest::addColumn<QString>("filterName");
        QTest::addColumn<int>("filterObject"); // 0 none, 1 sender A, 2 sender B, 3 number 0
        QTest::addColumn<int>("expected");     // of the five posts below

        QTest::newRow("any name, any object") << QString() << 0 << 5;
        QTest::newRow("name, any object") << QStringLiteral("N") << 0 << 4;
        QTest::newRow("name, object A") << QStringLiteral("N") << 1 << 2;
        QTest::newRow("name, object B") << QStringLiteral("N") << 2 << 1;
        QTest::newRow("any name, object A") << QString() << 1 << 3;
        QTest::newRow("name, number 0") << QStringLiteral("N") << 3 << 1;
        QTest::newRow("other name") << QStringLiteral("Other") << 0 << 0;
    }

    void filtersByNameAndObject()
    {
        QFETCH(QString, filterName);
        QFETCH(int, filterObject);
        QFETCH(int, expected);

        QObject a, b;
        const QVariant objects[] = {QVariant(), ZEM_F_Notification::wrap(&a),
                                    ZEM_F_Notification::wrap(&b), QVariant(0)};
        Listener l;
        QVERIFY(centre->addObserver(&l, "languageCall", filterName, objects[filterObject]));

        for (const int object : {1, 2, 3, 1})
            centre->postNotificationNameObject(QStringLiteral("N"), objects[object]);
        centre->postNotificationNameObject(QStringLiteral("M"), objects[1]);
        QCOMPARE(l.received.size(), expected);
        // A filter on a QObject matches that object only, never a plain value.
        for (const ZEM_F_Notification &n : l.received)
            if (filterObject == 1)
                QCOMPARE(n.objectAsQObject(), &a);
    }

    void removal()
    {
        Listener l, other;
        QObject a;
        centre->addObserver(&l, "languageCall", QStringLiteral("N"));
        centre->addObserver(&l, "languageCall", QStringLiteral("M"), ZEM_F_Notification::wrap(&a));
        centre->addObserver(&l, "languageCall", QStringLiteral("M"));
        centre->addObserver(&other, "languageCall", QStringLiteral("N"));

        centre->removeObserver(&l, QStringLiteral("M"), ZEM_F_Notification::wrap(&a));
        QCOMPARE(centre->observerCount(&l), 2);
        centre->postNotificationNameObject(QStringLiteral("M"), ZEM_F_Notification::wrap(&a));
        QCOMPARE(l.received.size(), 1); // the unfiltered "M" registration only

        centre->removeObserver(&l);
        centre->removeObserver(nullptr); // harmless
        QCOMPARE(centre->observerCount(&l), 0);
        centre->postNotificationName(QStringLiteral("N"));
        QCOMPARE(l.received.size(), 1);
        QCOMPARE(other.received.size(), 1);
    }

    void observersHeldWeakly()
    {
        auto doomed = std::make_unique<Listener>();
        Listener survivor;
        centre->addObserver(doomed.get(), "languageCall", QStringLiteral("N"));
        centre->addObserver(&survivor, "languageCall", QStringLiteral("N"));
        // Destroyed without removing itself: must be skipped, not called through a dangling
        // pointer (the sanitizers would catch the call).
        doomed.reset();
        QCOMPARE(centre->observerCount(), 1);
        centre->postNotificationName(QStringLiteral("N"));
        QCOMPARE(survivor.received.size(), 1);
    }

    void changesWhilePosting()
    {
        Listener first, second, late;
        auto victim = std::make_unique<Listener>();
        // The first observer removes the second, deletes a third and adds a fourth while the
        // notification is being delivered.
        bool acted = false;
        first.onReceive = [&](const ZEM_F_Notification &) {
            if (std::exchange(acted, true))
                return;
            centre->removeObserver(&second);
            victim.reset();
            centre->addObserver(&late, "languageCall", QStringLiteral("N"));
        };
        centre->addObserver(&first, "languageCall", QStringLiteral("N"));
        centre->addObserver(&second, "languageCall", QStringLiteral("N"));
        centre->addObserver(victim.get(), "languageCall", QStringLiteral("N"));

        centre->postNotificationName(QStringLiteral("N"));
        QCOMPARE(first.received.size(), 1);
        QCOMPARE(second.received.size(), 0);
        QCOMPARE(late.received.size(), 0); // added during the post: from the next one on
        centre->postNotificationName(QStringLiteral("N"));
        QCOMPARE(late.received.size(), 1);
        QCOMPARE(centre->observerCount(), 2);

        // An observer that posts again from its handler sees the nested post too.
        Listener nested;
        int depth = 0;
        nested.onReceive = [&](const ZEM_F_Notification &) {
            if (++depth < 3)
                centre->postNotificationName(QStringLiteral("Again"));
        };
        centre->addObserver(&nested, "languageCall", QStringLiteral("Again"));
        centre->postNotificationName(QStringLiteral("Again"));
        QCOMPARE(nested.received.size(), 3);
    }

    void workspaceCentreIsSeparate()
    {
        Listener l;
        QVERIFY(ZEM_F_E_Notifications::shared()->addObserverWorkSpace(
            &l, "languageCall", QStringLiteral("ApplicationLaunched")));
        ZEM_F_E_Notifications::shared()->postNotificationName(QStringLiteral("ApplicationLaunched"));
        QCOMPARE(l.received.size(), 0);
        ZEM_F_E_Notifications::workspace()->postNotificationName(QStringLiteral("ApplicationLaunched"));
        QCOMPARE(l.received.size(), 1);
        QVERIFY(ZEM_F_E_Notifications::workspace() != ZEM_F_E_Notifications::shared());
        ZEM_F_E_Notifications::workspace()->removeObserver(&l);
    }

    void functionObserversDieWithContext()
    {
        int calls = 0;
        auto context = std::make_unique<QObject>();
        QVERIFY(centre->addObserver(context.get(), QStringLiteral("N"), {},
                                    [&](const ZEM_F_Notification &) { ++calls; }));
        QVERIFY(!centre->addObserver(context.get(), QStringLiteral("N"), {}, {}));
        centre->postNotificationName(QStringLiteral("N"));
        context.reset();
        centre->postNotificationName(QStringLiteral("N"));
        QCOMPARE(calls, 1);
        QCOMPARE(centre->observerCount(), 0);
    }

private:
    std::unique_ptr<ZEM_F_E_Notifications> centre;
};

ZEM_TEST_MAIN(tst_ZEM_F_E_Notifications)
#include "tst_ZEM_F_E_Notifications.moc"
