#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_PropertyList.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {

QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body
           + "\n</plist>\n";
}

QVariant readBack(const QVariant &value)
{
    return ZEM_F_PropertyList::read(ZEM_F_PropertyList::write(value)).value_or(u"<read failed>"_qs);
}

} // namespace

class tst_ZEM_F_PropertyList : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        // Values that come back as they went.
        const auto same = [](const char *tag, const QVariant &value) {
            QTest::newRow(tag) << value << value;
        };

        const QString unicode = QStringLiteral("Fran\u00e7ais \u65e5\u672c\u8a9e \U0001F600 \u00a0!");
        same("string", QStringLiteral("plain"));
        QTest::newRow("empty string") << QVariant(QString()) << QVariant(QString(""));
        same("xml specials", QStringLiteral("a < b && c > d; \"q\" 'a' ]]> <![CDATA[x]]> &amp;"));
        same("non-ascii", unicode);
        same("whitespace kept", QStringLiteral("  lead\ttab\nline\r\ncrlf\rcr trail  "));
        QTest::newRow("integer") << QVariant(42) << QVariant(qlonglong(42));
        same("negative", qlonglong(-7));
        same("int64 min", std::numeric_limits<qlonglong>::min());
        same("uint64 max", std::numeric_limits<qulonglong>::max());
        same("real", 0.1);
        same("real tiny", 5e-324);
        same("real big", 1.7976931348623157e308);
        QTest::newRow("float") << QVariant(1.5f) << QVariant(1.5);
        same("true", true);
        same("false", false);
        const QDateTime utc(QDate(2011, 3, 27), QTime(1, 30, 5), QTimeZone::utc());
        same("date utc", utc);
        const QDateTime berlin(QDate(2011, 7, 1), QTime(12, 0, 0), QTimeZone("Europe/Berlin"));
        QTest::newRow("date other zone") << QVariant(berlin) << QVariant(berlin.toUTC());
        same("date with ms", QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc()));
        QTest::newRow("plain date") << QVariant(QDate(2020, 2, 29))
                                    << QVariant(QDateTime(QDate(2020, 2, 29), QTime(0, 0), QTimeZone::utc()));
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
        same("data", bytes);
        QTest::newRow("empty data") << QVariant(QByteArray()) << QVariant(QByteArray(""));
        same("empty array", QVariantList());
        same("empty dict", QVariantMap());
        QTest::newRow("string list") << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("<b>")})
                                     << QVariant(QVariantList{QStringLiteral("a"), QStringLiteral("<b>")});

        // Integers as they are read back: the "integer" row has an int become a qlonglong.
        const QVariantMap inner{{QStringLiteral("k&<>"), QVariantList{qlonglong(1), QStringLiteral("x"), true}},
                                {QString(), QVariantMap()},
                                {unicode, bytes}};
        same("nested", QVariantMap{{QStringLiteral("inner"), inner},
                                   {QStringLiteral("list"), QVariantList{QVariantList{QVariantList{}}, inner}},
                                   {QStringLiteral("date"), utc}});
        QVariantHash hash{{QStringLiteral("b"), 2}, {QStringLiteral("a"), 1}};
        QTest::newRow("hash as dict") << QVariant(hash) << QVariant(QVariantMap{{QStringLiteral("a"), qlonglong(1)},
                                                              {QStringLiteral("b"), qlonglong(2)}});
    }

    void roundTrip()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        QVERIFY(ZEM_F_PropertyList::canWrite(value));
        const QVariant back = readBack(value);
        QCOMPARE(back.typeId(), expected.typeId());
        QCOMPARE(back, expected);
        // Writing what was read gives the same bytes: the writer is deterministic.
        QCOMPARE(ZEM_F_PropertyList::write(back), ZEM_F_PropertyList::write(expected));
    }

    void specialReals()
    {
        const QVariant list = readBack(QVariantList{std::numeric_limits<double>::quiet_NaN(),
                                                    std::numeric_limits<double>::infinity(),
                                                    -std::numeric_limits<double>::infinity(), -0.0});
        const QVariantList values = list.toList();
        QCOMPARE(values.size(), 4);
        QVERIFY(std::isnan(values[0].toDouble()));
        QCOMPARE(values[1].toDouble(), std::numeric_limits<double>::infinity());
        QCOMPARE(values[2].toDouble(), -std::numeric_limits<double>::infinity());
        QVERIFY(std::signbit(values[3].toDouble()));
    }

    void readsForms_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("no declaration, no doctype") << QByteArray("<plist><string>x</string></plist>") << QVariant(QStringLiteral("x"));
        QTest::newRow("doctype") << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"plist.dtd\">\n"
                          "<plist version=\"1.0\"><integer>3</integer></plist>")
            << QVariant(qlonglong(3));
        QTest::newRow("bare value") << QByteArray("<array><true/><false/></array>") << QVariant(QVariantList{true, false});
        QTest::newRow("comments everywhere")
            << plist("<!-- a --><dict><!-- b --><key>k</key><!-- c --><string>v<!-- d -->w</string></dict><!-- e -->")
            << QVariant(QVariantMap{{QStringLiteral("k"), QStringLiteral("vw")}});
        QTest::newRow("cdata and entities") << plist("<string><![CDATA[<a&b>]]> &lt;&#65;&#x42;&amp;</string>")
            << QVariant(QStringLiteral("<a&b> <AB&"));
        QTest::newRow("integer spaces and plus") << plist("<integer>\n +12 \n</integer>") << QVariant(qlonglong(12));
        QTest::newRow("real exponent") << plist("<real>-1.25e3</real>") << QVariant(-1250.0);
        QTest::newRow("real integer form") << plist("<real>7</real>") << QVariant(7.0);
        QTest::newRow("date offset") << plist("<date>2011-03-27T03:30:00+02:00</date>")
                                     << QVariant(QDateTime(QDate(2011, 3, 27), QTime(1, 30), QTimeZone::utc()));
        QTest::newRow("date without zone is utc") << plist("<date>2011-03-27T02:30:00</date>")
            << QVariant(QDateTime(QDate(2011, 3, 27), QTime(2, 30), QTimeZone::utc()));
        QTest::newRow("data with line breaks") << plist("<data>\n\tAAEC\n\tAwQ=\n</data>")
                                               << QVariant(QByteArray("\x00\x01\x02\x03\x04", 5));
        QTest::newRow("empty elements") << plist("<array><string/><data/><dict/><array/></array>")
                                        << QVariant(QVariantList{QString(""), QByteArray(""),
                                                                 QVariantMap(), QVariantList()});
        const QString utf16 = QStringLiteral("<plist><string>\u00e9\U0001F600</string></plist>");
        QTest::newRow("utf-16 document")
            << QByteArray("\xff\xfe", 2) + QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2)
            << QVariant(QStringLiteral("\u00e9\U0001F600"));
    }

    void readsForms()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected);
        auto r = ZEM_F_PropertyList::read(xml);
        QVERIFY2(r, r ? "" : qPrintable(r.error().message));
        QCOMPARE(*r, expected);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("mentions");

        QTest::newRow("empty input") << QByteArray() << QString();
        QTest::newRow("not xml") << QByteArray("hello") << QString();
        QTest::newRow("empty plist") << plist("") << QStringLiteral("empty");
        QTest::newRow("two values") << plist("<true/><false/>") << QStringLiteral("one value");
        QTest::newRow("unknown element") << plist("<strin>x</strin>") << QStringLiteral("<strin>");
        QTest::newRow("unknown in array") << plist("<array><nil/></array>") << QStringLiteral("<nil>");
        QTest::newRow("mismatched tags") << plist("<string>x</integer>") << QString();
        QTest::newRow("unterminated") << QByteArray("<plist><array><string>x</string>") << QString();
        QTest::newRow("key without value") << plist("<dict><key>a</key></dict>") << QStringLiteral("\"a\" has no value");
        QTest::newRow("two keys") << plist("<dict><key>a</key><key>b</key><true/></dict>") << QStringLiteral("\"a\" has no value");
        QTest::newRow("value without key") << plist("<dict><string>x</string></dict>") << QStringLiteral("<key>");
        QTest::newRow("duplicate key") << plist("<dict><key>a</key><true/><key>a</key><false/></dict>") << QStringLiteral("twice");
        QTest::newRow("key outside dict") << plist("<array><key>a</key></array>") << QStringLiteral("<key>");
        QTest::newRow("element in string") << plist("<string>a<b/>c</string>") << QStringLiteral("<b>");
        QTest::newRow("text in array") << plist("<array>loose</array>") << QStringLiteral("loose");
        QTest::newRow("text in true") << plist("<true>yes</true>") << QStringLiteral("empty");
        QTest::newRow("integer letters") << plist("<integer>12a</integer>") << QStringLiteral("12a");
        QTest::newRow("integer empty") << plist("<integer></integer>") << QStringLiteral("integer");
        QTest::newRow("integer hex") << plist("<integer>0x10</integer>") << QStringLiteral("integer");
        QTest::newRow("integer sign only") << plist("<integer>-</integer>") << QStringLiteral("integer");
        QTest::newRow("integer overflow") << plist("<integer>18446744073709551616</integer>") << QStringLiteral("integer");
        QTest::newRow("integer negative overflow") << plist("<integer>-9223372036854775809</integer>") << QStringLiteral("integer");
        QTest::newRow("real letters") << plist("<real>1.5x</real>") << QStringLiteral("real");
        QTest::newRow("real overflow") << plist("<real>1e999</real>") << QStringLiteral("real");
        QTest::newRow("real comma") << plist("<real>1,5</real>") << QStringLiteral("real");
        QTest::newRow("base64 bad char") << plist("<data>AA*=</data>") << QStringLiteral("base64");
        QTest::newRow("base64 non-ascii") << plist("<data>AA\xc3\xa9=</data>") << QStringLiteral("base64");
        QTest::newRow("date no time") << plist("<date>2011-03-27</date>") << QStringLiteral("date");
        QTest::newRow("date bad month") << plist("<date>2011-13-01T00:00:00Z</date>") << QStringLiteral("date");
        QTest::newRow("date leap second") << plist("<date>2011-12-31T23:59:60Z</date>") << QStringLiteral("date");
        QTest::newRow("date hour 24") << plist("<date>2011-12-31T24:00:00Z</date>") << QStringLiteral("date");
        QTest::newRow("date bad offset") << plist("<date>2011-03-27T00:00:00+25:00</date>") << QStringLiteral("date");
        QTest::newRow("date before year 1") << plist("<date>0001-01-01T00:30:00+01:00</date>") << QStringLiteral("date");
        QTest::newRow("undeclared entity") << plist("<string>&nbsp;</string>") << QString();
        QTest::newRow("content after plist") << QByteArray("<plist><true/></plist><plist/>") << QString();
        QTest::newRow("text after value") << QByteArray("<true/> junk") << QString();
        QTest::newRow("control character") << plist("<string>&#1;</string>") << QString();
    }

    void malformed()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, mentions);
        auto r = ZEM_F_PropertyList::read(xml);
        QVERIFY(!r);
        QCOMPARE(r.error().code, ZEM_Error::ParseFailed);
        QVERIFY2(r.error().message.contains(mentions), qPrintable(r.error().message));
        QVERIFY(r.error().message.startsWith(QStringLiteral("line ")));
        // The string-table reader meets the same faults the same way.
        QVERIFY(!ZEM_F_PropertyList::readStringTable(xml));
    }

    void errorNamesPosition()
    {
        auto r = ZEM_F_PropertyList::read("<plist>\n<array>\n  <integer>x</integer>\n</array>\n</plist>");
        QVERIFY(!r);
        QVERIFY2(r.error().message.startsWith(QStringLiteral("line 3, column ")),
                 qPrintable(r.error().message));
        QCOMPARE(r.error().arguments.value(0), QStringLiteral("3"));
    }

    void depthBound()
    {
        const int limit = ZEM_F_PropertyList::MaxDepth;
        auto nested = [](int depth) {
            return plist(QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth));
        };
        auto atLimit = ZEM_F_PropertyList::read(nested(limit));
        QVERIFY2(atLimit, atLimit ? "" : qPrintable(atLimit.error().message));
        QVariant expected = QVariantList();
        for (int depth = 1; depth < limit; ++depth)
            expected = QVariantList{expected};
        QCOMPARE(*atLimit, expected);

        auto beyond = ZEM_F_PropertyList::read(nested(limit + 1));
        QVERIFY(!beyond);
        QVERIFY(beyond.error().message.contains(QStringLiteral("nesting")));

        // Far beyond, unterminated and mixing dicts: still a plain error, no crash.
        QByteArray hostile = "<plist>";
        for (int i = 0; i < 100000; ++i)
            hostile += (i % 2) ? "<array>" : "<dict><key>k</key>";
        QVERIFY(!ZEM_F_PropertyList::read(hostile));
    }

    void stringTableKeepsOrder()
    {
        ZEM_F_StringTable table;
        const QStringList keys{QStringLiteral("Z:last"), QStringLiteral("A:first"),
                               QStringLiteral("NL:Add New Record"), QStringLiteral("M:Tab&<>\"")};
        for (const QString &key : keys)
            table.insert(key, key + QStringLiteral(" \u00e9t\u00e9 %@\n"));
        const QByteArray xml = ZEM_F_PropertyList::writeStringTable(table);
        auto back = ZEM_F_PropertyList::readStringTable(xml);
        QVERIFY(back);
        QCOMPARE(back->keys(), keys);
        for (const QString &key : keys)
            QCOMPARE(back->value(key), table.value(key));
        // The generic reader sees the same pairs.
        auto map = ZEM_F_PropertyList::read(xml);
        QVERIFY(map);
        QCOMPARE(map->toMap().size(), keys.size());
        QCOMPARE(map->toMap().value(keys[3]).toString(), table.value(keys[3]));

        auto empty = ZEM_F_PropertyList::readStringTable(ZEM_F_PropertyList::writeStringTable({}));
        QVERIFY(empty);
        QVERIFY(empty->isEmpty());
    }

    void stringTableRefusesNonStrings_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("root array") << plist("<array/>") << QStringLiteral("root");
        QTest::newRow("integer value") << plist("<dict><key>a</key><string>x</string><key>b</key><integer>1</integer></dict>")
                                       << QStringLiteral("\"b\" is not a string");
        QTest::newRow("nested dict") << plist("<dict><key>a</key><dict/></dict>") << QStringLiteral("\"a\" is not a string");
        QTest::newRow("duplicate") << plist("<dict><key>a</key><string>x</string><key>a</key><string>y</string></dict>")
                                   << QStringLiteral("twice");
    }

    void stringTableRefusesNonStrings()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, mentions);
        auto r = ZEM_F_PropertyList::readStringTable(xml);
        QVERIFY(!r);
        QVERIFY2(r.error().message.contains(mentions), qPrintable(r.error().message));
        QVERIFY(r.error().message.startsWith(QStringLiteral("line ")));
    }

    void unwritableValues()
    {
        const QString control = QStringLiteral("a") + QChar(0x1) + QStringLiteral("b");
        const QString loneSurrogate = QStringLiteral("x") + QChar(0xD800);
        QVERIFY(!ZEM_F_PropertyList::canWrite(control));
        QVERIFY(!ZEM_F_PropertyList::canWrite(loneSurrogate));
        QVERIFY(!ZEM_F_PropertyList::canWrite(QVariantMap{{control, 1}}));
        QVERIFY(!ZEM_F_PropertyList::canWrite(QVariant()));
        QVERIFY(!ZEM_F_PropertyList::canWrite(QDateTime()));
        QVERIFY(!ZEM_F_PropertyList::canWrite(QVariantList{1, QVariant::fromValue(QSize(1, 2))}));

        // What write() makes of them is still a readable property list.
        auto r = ZEM_F_PropertyList::read(ZEM_F_PropertyList::write(QVariantList{control, loneSurrogate}));
        QVERIFY(r);
        QCOMPARE(r->toList().value(0).toString(), QStringLiteral("a\ufffdb"));
        QCOMPARE(r->toList().value(1).toString(), QStringLiteral("x\ufffd"));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.plist"));
        auto w = ZEM_F_PropertyList::writeFile(path, control);
        QVERIFY(!w);
        QCOMPARE(w.error().code, ZEM_Error::InvalidArgument);
        QVERIFY(!QFile::exists(path));
        ZEM_F_StringTable table;
        table.insert(QStringLiteral("k"), control);
        QVERIFY(!ZEM_F_PropertyList::writeStringTableFile(path, table));
        QVERIFY(!QFile::exists(path));
    }

    void files()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Settings.plist"));
        const QVariantMap value{{QStringLiteral("a"), QStringLiteral("\u00e9")}};
        QVERIFY(ZEM_F_PropertyList::writeFile(path, value));
        auto r = ZEM_F_PropertyList::readFile(path);
        QVERIFY(r);
        QCOMPARE(r->toMap(), value);

        // A failed write leaves the old file whole.
        QVERIFY(!ZEM_F_PropertyList::writeFile(path, QVariant()));
        QCOMPARE(ZEM_F_PropertyList::readFile(path)->toMap(), value);

        ZEM_F_StringTable table;
        table.insert(QStringLiteral("B:Hide"), QStringLiteral("Masquer"));
        QVERIFY(ZEM_F_PropertyList::writeStringTableFile(path, table));
        QCOMPARE(ZEM_F_PropertyList::readStringTableFile(path)->value(u"B:Hide"_qs), u"Masquer"_qs);

        auto missing = ZEM_F_PropertyList::readFile(dir.filePath(QStringLiteral("none.plist")));
        QVERIFY(!missing);
        QCOMPARE(missing.error().code, ZEM_Error::ReadFailed);

        const QString broken = dir.filePath(QStringLiteral("broken.plist"));
        QVERIFY(zemtest::writeFile(broken, "<plist><dict><key>a</key></dict></plist>"));
        auto bad = ZEM_F_PropertyList::readStringTableFile(broken);
        QVERIFY(!bad);
        QCOMPARE(bad.error().code, ZEM_Error::ParseFailed);
        QVERIFY2(bad.error().message.startsWith(broken), qPrintable(bad.error().message));

        QVERIFY(!ZEM_F_PropertyList::writeFile(dir.filePath(QStringLiteral("no/such/dir/x.plist")), value));
    }
};

ZEM_TEST_MAIN(tst_ZEM_F_PropertyList)
#include "tst_ZEM_F_PropertyList.moc"
