#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Clock.h"
#include "platform/store/ValueTransformer.h"
#include "records/ZEM_A_E_ManagedObject.h"

#include <QSettings>
#include <QTimeZone>

using platform::AttributedString;
using platform::Clock;

namespace {
QDateTime local(int y, int mo, int d, int h = 12, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}
} // namespace

// Auckland: a zone far from UTC whose summer time spans the turn of the year.
class tst_ZEM_A_E_ManagedObject : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Clock::reset(); }

    void checkMark_data()
    {
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<bool>("checked");
        QTest::newRow("no value") << QVariant() << false;
        QTest::newRow("0") << QVariant(0) << false;
        QTest::newRow("1") << QVariant(1) << true;
        QTest::newRow("2") << QVariant(2) << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("true") << QVariant(true) << true;
    }

    void checkMark()
    {
        QFETCH(QVariant, flag);
        QFETCH(bool, checked);
        const QString mark = ZEM_A_E_ManagedObject::shared()->getCheckMark(flag);
        QCOMPARE(mark, checked ? QString::fromUtf8("\xE2\x9C\x93") : QString(""));
        QVERIFY(!mark.isNull());
    }

    void setAccessor_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("accessor");
        QTest::newRow("one letter") << "x" << "setX:";
        QTest::newRow("camel case kept") << "homeAddressCity" << "setHomeAddressCity:";
        QTest::newRow("url") << "url" << "setUrl:";
        QTest::newRow("already capital") << "URLString" << "setURLString:";
        QTest::newRow("digit first") << "2nd" << "set2nd:";
        QTest::newRow("accented") << QString::fromUtf8("élan") << QString::fromUtf8("setÉlan:");
        QTest::newRow("sharp s") << QString::fromUtf8("ßtr") << QString::fromUtf8("setSstr:");
    }

    void setAccessor()
    {
        QFETCH(QString, key);
        QFETCH(QString, accessor);
        QCOMPARE(ZEM_A_E_ManagedObject::shared()->getSetAccessor(key), accessor);
    }

    void relativeDates_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("text");

        const QDateTime midday = local(2024, 3, 15);
        QTest::newRow("same day") << midday << local(2024, 3, 15, 0, 0) << "Today";
        QTest::newRow("23:59 today") << midday << local(2024, 3, 15, 23, 59) << "Today";
        QTest::newRow("00:00 tomorrow") << midday << local(2024, 3, 16, 0, 0) << "Tomorrow";
        QTest::newRow("yesterday 23:59") << midday << local(2024, 3, 14, 23, 59) << "Yesterday";
        QTest::newRow("two days ahead") << midday << local(2024, 3, 17) << "Mar 17, 2024";
        QTest::newRow("two days back, padded day") << midday << local(2024, 3, 3, 8) << "Mar 03, 2024";
        QTest::newRow("month end to next month") << local(2024, 4, 30, 23, 59) << local(2024, 5, 1) << "Tomorrow";
        QTest::newRow("leap day") << local(2024, 2, 28, 0, 0) << local(2024, 2, 29, 22) << "Tomorrow";
        QTest::newRow("1 March after leap day") << local(2024, 3, 1, 0, 1) << local(2024, 2, 29) << "Yesterday";
        QTest::newRow("new year back") << local(2025, 1, 1, 0, 0) << local(2024, 12, 31, 23, 59) << "Yesterday";
        QTest::newRow("new year ahead") << local(2024, 12, 31, 23, 59) << local(2025, 1, 1, 0, 0) << "Tomorrow";
        QTest::newRow("same day, other year") << midday << local(2023, 3, 15) << "Mar 15, 2023";
        QTest::newRow("same day, other month") << midday << local(2024, 4, 15) << "Apr 15, 2024";
        // 11:00 UTC on 15 March is 00:00 on 16 March in Auckland (summer time, +13).
        QTest::newRow("UTC instant, local day") << midday << QDateTime(QDate(2024, 3, 15), QTime(11, 0), QTimeZone::utc()) << "Tomorrow";
        QTest::newRow("no date") << midday << QDateTime() << QString();
    }

    void relativeDates()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, date);
        QFETCH(QString, text);
        Clock::setNowForTesting(now);
        const QString result = ZEM_A_E_ManagedObject::shared()->convertedDateString(date);
        QCOMPARE(result, text);
        QCOMPARE(result.isNull(), text.isNull());
    }

    void dateColours_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("today") << local(2024, 12, 31, 23, 59) << QColor(Qt::red);
        QTest::newRow("tomorrow") << local(2025, 1, 1, 0, 0) << QColor(Qt::green);
        QTest::newRow("yesterday") << local(2024, 12, 30, 0, 0) << QColor(Qt::blue);
        QTest::newRow("two days ahead") << local(2025, 1, 2) << QColor(Qt::black);
        QTest::newRow("no date") << QDateTime() << QColor(Qt::black);
    }

    void dateColours()
    {
        QFETCH(QDateTime, date);
        QFETCH(QColor, colour);
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/colours.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("DateTodayColor"), QStringLiteral("#ff0000"));
        settings.setValue(QStringLiteral("DateTomorrowColor"), QStringLiteral("#00ff00"));
        settings.setValue(QStringLiteral("DateYesterdayColor"), QStringLiteral("#0000ff"));
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Test"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        Clock::setNowForTesting(local(2024, 12, 31, 12));
        QCOMPARE(ZEM_A_E_ManagedObject::shared()->todayOverDueDateColor(date), colour);
        ZEM_F_Host::setDelegate(nullptr);
    }

    void overDue()
    {
        auto *engine = ZEM_A_E_ManagedObject::shared();
        const QDateTime now = local(2024, 6, 1, 9, 30);
        Clock::setNowForTesting(now);
        QVERIFY(engine->overDueDate(now));
        QVERIFY(engine->overDueDate(now.addSecs(-1)));
        QVERIFY(!engine->overDueDate(now.addMSecs(1)));
        QVERIFY(!engine->overDueDate(QDateTime()));
        // Compared as instants, whatever zone a date was written in.
        QVERIFY(engine->overDueDate(now.toUTC()));
    }

    void restrictString_data()
    {
        QTest::addColumn<QString>("string");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("result");
        QTest::newRow("no string") << QString() << qint64(3) << QString();
        QTest::newRow("empty") << QString("") << qint64(3) << QString("");
        QTest::newRow("limit 0 keeps all") << QString("abcdef") << qint64(0) << QString("abcdef");
        QTest::newRow("cut") << QString("abcdef") << qint64(4) << QString("abcd");
        QTest::newRow("limit above length") << QString("abc") << qint64(50) << QString("abc");
        QTest::newRow("negative limit") << QString("abc") << qint64(-2) << QString("");
    }

    void restrictString()
    {
        QFETCH(QString, string);
        QFETCH(qint64, limit);
        QFETCH(QString, result);
        const QString r = ZEM_A_E_ManagedObject::shared()->restrictStringLength(string, limit);
        QCOMPARE(r, result);
        QCOMPARE(r.isNull(), result.isNull());
    }

    void attributedText()
    {
        auto *engine = ZEM_A_E_ManagedObject::shared();
        QVERIFY(engine->getAttributedString(QString()).isNull());
        QVERIFY(engine->getAttributedString(QStringLiteral("")).isNull());
        const AttributedString s = engine->getAttributedString(QStringLiteral("Notes here"));
        QCOMPARE(s.string(), QStringLiteral("Notes here"));
        QCOMPARE(s.runs().size(), 1);
        QCOMPARE(s.runs().first().format.font.pointSizeF(), 11.0);
        QVERIFY(!s.runs().first().format.foreground.isValid());
    }

    void restrictAttributed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("kept");
        QTest::newRow("limit 0") << "Hello world" << qint64(0) << "Hello world";
        QTest::newRow("5 of 11") << "Hello world" << qint64(5) << "Hello";
        QTest::newRow("8 of 11, across runs") << "Hello world" << qint64(8) << "Hello wo";
        QTest::newRow("50 of 10") << "0123456789" << qint64(50) << "0123456789";
    }

    void restrictAttributed()
    {
        QFETCH(QString, text);
        QFETCH(qint64, limit);
        QFETCH(QString, kept);
        QFont bold(QStringLiteral("Serif"), 9);
        bold.setBold(true);
        const AttributedString::Format first{QFont(QStringLiteral("Serif"), 14), QColor(Qt::red)};
        const AttributedString::Format second{bold, {}};
        AttributedString s(text.left(6), first);
        s.append(text.mid(6), second);

        const AttributedString r = ZEM_A_E_ManagedObject::shared()->restrictAttributedStringLength(s, limit);
        QCOMPARE(r.string(), kept);
        for (int i = 0; i < r.length(); ++i)
            QCOMPARE(r.formatAt(i), i < 6 ? first : second);

        QVERIFY(ZEM_A_E_ManagedObject::shared()->restrictAttributedStringLength({}, limit).isNull());
        const AttributedString empty(QStringLiteral(""));
        QCOMPARE(ZEM_A_E_ManagedObject::shared()->restrictAttributedStringLength(empty, limit), empty);
    }

    void archivedRichText()
    {
        auto *engine = ZEM_A_E_ManagedObject::shared();
        const QByteArray rtf("{\\rtf1{\\fonttbl\\f0 Courier;}\\f0\\b Bold\\b0  text}");
        auto *transformer = platform::ValueTransformer::valueTransformerForName(QStringLiteral("NSUnarchiveFromData"));
        const QByteArray archived = transformer->reverseTransformedValue(rtf).toByteArray();

        const AttributedString fromArchive = engine->dataAttributedString(archived);
        QCOMPARE(fromArchive.string(), QStringLiteral("Bold text"));
        QVERIFY(fromArchive.formatAt(0).font.bold());
        QCOMPARE(fromArchive.formatAt(0).font.family(), QStringLiteral("Courier"));
        QVERIFY(!fromArchive.formatAt(5).font.bold());
        // Plain RTF bytes, as other programs store them, read the same.
        QCOMPARE(engine->dataAttributedString(rtf), fromArchive);

        QVERIFY(engine->dataAttributedString(QByteArray()).isNull());
        QVERIFY(engine->dataAttributedString(QByteArray("")).isNull());
        QVERIFY(engine->dataAttributedString("not rich text").isNull());
        QVERIFY(engine->dataAttributedString(platform::ValueTransformer::archive(QByteArray("plain"))).isNull());
        QVERIFY(engine->dataAttributedString(platform::ValueTransformer::archive(17)).isNull());
        QVERIFY(engine->dataAttributedString(archived.left(archived.size() - 3)).isNull());
    }
};

ZEM_TEST_MAIN_TZ(tst_ZEM_A_E_ManagedObject, "Pacific/Auckland")
#include "tst_ZEM_A_E_ManagedObject.moc"
