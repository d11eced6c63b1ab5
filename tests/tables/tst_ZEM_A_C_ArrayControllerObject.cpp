#include "TableRows.h"
#include "ZemTestEnv.h"

#include <QDateTime>

class tst_ZEM_A_C_ArrayControllerObject : public QObject
{
    Q_OBJECT
private slots:
    void keysReachGettersAndSetters()
    {
        Person p;
        QVERIFY(p.setObject(QStringLiteral("Ann"), QStringLiteral("firstName")));
        QCOMPARE(p.firstName(), QStringLiteral("Ann"));
        QCOMPARE(p.objectForKey(QStringLiteral("firstName")), QVariant(QStringLiteral("Ann")));
        QVERIFY(!p.setObject(1, QStringLiteral("nickname")));
        QVERIFY(!p.objectForKey(QStringLiteral("nickname")).isValid());
        p.setRecordValuesFromDict({{QStringLiteral("lastName"), QStringLiteral("Bell")}, {QStringLiteral("age"), 41}});
        QCOMPARE(p.lastName(), QStringLiteral("Bell"));
        QCOMPARE(p.age(), 41);
    }

    void countFollowsKeysNotValues()
    {
        Person p(QStringLiteral("Ann"), QStringLiteral("Bell"), 3);
        QCOMPARE(p.count(), 0);
        p.setAddToAllKeys({QStringLiteral("firstName")});
        p.setAddToAllKeys({QStringLiteral("nickname"), QStringLiteral("age")});
        QCOMPARE(p.keyEnumerator(), (QStringList{QStringLiteral("firstName"), QStringLiteral("nickname"), QStringLiteral("age")}));
        QCOMPARE(p.count(), 3);
    }

    void initialValuesFillOnlyMissingOnes()
    {
        Person p(QStringLiteral("Ann"), QString(), 0);
        p.setInitialVales({QStringLiteral("firstName"), QStringLiteral("lastName")}, QStringLiteral("NSString"));
        QCOMPARE(p.firstName(), QStringLiteral("Ann"));
        QVERIFY(!p.lastName().isNull());
        QVERIFY(p.lastName().isEmpty());
        p.setInitialVales({QStringLiteral("birthday")}, QStringLiteral("NSNumber"));
        QCOMPARE(p.birthday(), QVariant(0));
        Person q;
        q.setInitialVales({QStringLiteral("birthday")}, QStringLiteral("NSColor"));
        QVERIFY(!q.birthday().isValid());
        QCOMPARE(q.count(), 1);
    }

    void removingLeavesEmptyValueOfItsKind()
    {
        Person p(QStringLiteral("Ann"), QStringLiteral("Bell"), 41);
        p.removeObjectForKey(QStringLiteral("age"));
        QCOMPARE(p.objectForKey(QStringLiteral("age")), QVariant(0));
        p.setBirthday(QDateTime::currentDateTime());
        p.removeObjectForKey(QStringLiteral("birthday"));
        QCOMPARE(p.birthday(), QVariant(QStringLiteral("")));
        p.setBirthday(QByteArray("x"));
        p.removeObjectForKey(QStringLiteral("birthday"));
        QCOMPARE(p.birthday(), QVariant(QByteArray("")));
        p.setBirthday(QVariant());
        p.removeObjectForKey(QStringLiteral("birthday"));
        QVERIFY(!p.birthday().isValid());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ArrayControllerObject)
#include "tst_ZEM_A_C_ArrayControllerObject.moc"
