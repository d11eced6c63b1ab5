#include "ZemTestEnv.h"

#include "platform/AttributedString.h"
#include "platform/RtfReader.h"
#include "platform/store/ValueTransformer.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTextDocument>

using namespace platform;

namespace {
AttributedString::Format fmt(const QString &family, bool bold = false)
{
    QFont f(family, 12);
    f.setBold(bold);
    return {f, {}};
}

AttributedString readOk(const QByteArray &rtf)
{
    const ZEM_Result<AttributedString> r = RtfReader::read(rtf);
    if (!r)
        qWarning() << r.error().message;
    return r ? *r : AttributedString();
}
} // namespace

class tst_AttributedString : public QObject
{
    Q_OBJECT
private slots:
    void nullIsNotEmpty()
    {
        const AttributedString none;
        const AttributedString empty(QString{});
        QVERIFY(none.isNull());
        QVERIFY(none.string().isNull());
        QVERIFY(!empty.isNull());
        QVERIFY(empty.isEmpty());
        QVERIFY(!empty.string().isNull());
        QVERIFY(none != empty);
        QVERIFY(none.mid(0, 3).isNull());
        QVERIFY(!empty.left(3).isNull());
    }

    void midKeepsRuns_data()
    {
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("runLengths");

        // "Hello" plain + " big" bold + " end" plain
        QTest::newRow("inside one run") << 1 << 3 << "ell" << QList<int>{3};
        QTest::newRow("across runs") << 3 << 5 << "lo bi" << QList<int>{2, 3};
        QTest::newRow("all runs") << 0 << -1 << "Hello big end" << QList<int>{5, 4, 4};
        QTest::newRow("past the end") << 10 << 100 << "end" << QList<int>{3};
        QTest::newRow("negative start clamps") << -4 << 2 << "He" << QList<int>{2};
        QTest::newRow("nothing") << 13 << 5 << "" << QList<int>{};
    }

    void midKeepsRuns()
    {
        QFETCH(int, pos);
        QFETCH(int, n);
        QFETCH(QString, text);
        QFETCH(QList<int>, runLengths);

        AttributedString s(QStringLiteral("Hello"), fmt(QStringLiteral("Serif")));
        s.append(QStringLiteral(" big"), fmt(QStringLiteral("Serif"), true));
        s.append(QStringLiteral(" end"), fmt(QStringLiteral("Serif")));
        const AttributedString part = s.mid(pos, n);
        QCOMPARE(part.string(), text);
        QList<int> lengths;
        int expectedStart = 0;
        for (const AttributedString::Run &r : part.runs()) {
            QCOMPARE(r.start, expectedStart);
            expectedStart += r.length;
            lengths.append(r.length);
            // Every kept character keeps the format it had.
            QCOMPARE(r.format, s.formatAt(std::max(pos, 0) + r.start));
        }
        QCOMPARE(lengths, runLengths);
    }

    void setFormatSplitsRuns()
    {
        AttributedString s(QStringLiteral("abcdef"), fmt(QStringLiteral("A")));
        s.setFormat(2, 2, fmt(QStringLiteral("B")));
        QCOMPARE(s.runs().size(), 3);
        QCOMPARE(s.formatAt(1), fmt(QStringLiteral("A")));
        QCOMPARE(s.formatAt(2), fmt(QStringLiteral("B")));
        QCOMPARE(s.formatAt(4), fmt(QStringLiteral("A")));
        // Putting the first format back joins everything into one run again.
        s.setFormat(0, 10, fmt(QStringLiteral("A")));
        QCOMPARE(s.runs().size(), 1);
        QCOMPARE(s.runs().first().length, 6);
    }

    void documentRoundTrip()
    {
        AttributedString s(QStringLiteral("one\n"), fmt(QStringLiteral("Serif")));
        s.append(QStringLiteral("two"), {fmt(QStringLiteral("Serif"), true).font, QColor(Qt::red)});
        const auto doc = s.toTextDocument();
        QCOMPARE(doc->toPlainText(), QStringLiteral("one\ntwo"));
        const AttributedString back = AttributedString::fromTextDocument(*doc);
        QCOMPARE(back.string(), s.string());
        QVERIFY(back.formatAt(5).font.bold());
        QCOMPARE(back.formatAt(5).foreground, QColor(Qt::red));
        QVERIFY(!back.formatAt(0).font.bold());
        QVERIFY(s.toHtml().contains(QStringLiteral("two")));
    }

    void rtfText_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");

        QTest::newRow("plain") << QByteArray("{\\rtf1\\ansi Hello}") << "Hello";
        QTest::newRow("par line tab") << QByteArray("{\\rtf1 a\\par b\\line c\\tab d}") << "a\nb\nc\td";
        QTest::newRow("escapes") << QByteArray("{\\rtf1 \\{x\\} \\\\ y}") << "{x} \\ y";
        QTest::newRow("hex cp1252") << QByteArray("{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}") << QString::fromUtf8("café € “q”");
        QTest::newRow("unicode, one fallback") << QByteArray("{\\rtf1 \\u8364?x}") << QString::fromUtf8("€x");
        QTest::newRow("unicode, uc2 fallback") << QByteArray("{\\rtf1\\uc2 \\u8364\\'80\\'80x}") << QString::fromUtf8("€x");
        QTest::newRow("unicode, uc0") << QByteArray("{\\rtf1\\uc0 \\u8364 x}") << QString::fromUtf8("€x");
        QTest::newRow("negative unicode") << QByteArray("{\\rtf1 \\u-3971?}") << QString(QChar(char16_t(65536 - 3971)));
        QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << QString::fromUtf8("😀");
        QTest::newRow("fallback ends at group") << QByteArray("{\\rtf1\\uc3 {\\u8364}ab}") << QString::fromUtf8("€ab");
        QTest::newRow("skipped destinations") << QByteArray("{\\rtf1{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}{\\*\\generator W;}"
                          "{\\pict\\pngblip 89504e47}{\\*\\unknown zz}Body}")
            << "Body";
        QTest::newRow("bin data skipped") << QByteArray("{\\rtf1 a{\\*\\blob\\bin3 }}}}b}") << "ab";
        QTest::newRow("text after root ignored") << QByteArray("{\\rtf1 x}trailing\0", 19) << "x";
        QTest::newRow("symbols") << QByteArray("{\\rtf1 \\emdash\\bullet\\~\\lquote}") << QString::fromUtf8("—•\u00a0‘");
        QTest::newRow("vendor header words")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\vendorrtf2639\n\\vendortextscaling0\\vendorplatform0"
                          "{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;}\n{\\colortbl;\\red255\\green255\\blue255;}\n"
                          "{\\*\\expandedcolortbl;;}\n\\paperw11900\\paperh16840\\margl1440\\margr1440\\vieww11520"
                          "\\viewh8400\\viewkind0\n\\pard\\tx566\\pardirnatural\\partightenfactor0\n\n\\f0\\fs24 "
                          "\\cf0 Line one\\\nLine two}")
            << "Line one\nLine two";
        QTest::newRow("empty document") << QByteArray("{\\rtf1}") << "";
    }

    void rtfText()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        const AttributedString s = readOk(rtf);
        QVERIFY(!s.isNull());
        QCOMPARE(s.string(), text);
    }

    void rtfFormats()
    {
        const AttributedString s = readOk(
            "{\\rtf1\\deff1{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Helvetica;}}"
            "plain {\\b bold {\\i both}} \\f0\\fs36 big \\ul under\\ulnone  \\plain reset}");
        QCOMPARE(s.string(), QStringLiteral("plain bold both big under reset"));
        // The font of a word as "family size" and its bold, italic and underline.
        const auto at = [&s](const char *word) {
            const QFont f = s.formatAt(int(s.string().indexOf(QLatin1String(word)))).font;
            return QStringLiteral("%1 %2%3%4%5").arg(f.family()).arg(f.pointSizeF())
                .arg(f.bold() ? " bold" : "", f.italic() ? " italic" : "", f.underline() ? " underline" : "");
        };
        QCOMPARE(at("plain"), u"Helvetica 12"_qs);
        QCOMPARE(at("bold"), u"Helvetica 12 bold"_qs);
        QCOMPARE(at("both"), u"Helvetica 12 bold italic"_qs);
        // The group ended, so bold ended with it.
        QCOMPARE(at("big"), u"Times New Roman 18"_qs);
        QCOMPARE(at("under"), u"Times New Roman 18 underline"_qs);
        QCOMPARE(at("reset"), u"Helvetica 12"_qs);
    }

    void rtfColours()
    {
        const AttributedString s = readOk("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                                          "a\\cf1 b\\cf2 c\\cf9 d\\cf0 e}");
        QCOMPARE(s.string(), QStringLiteral("abcde"));
        QList<QColor> colours;
        for (int i = 0; i < 5; ++i)
            colours.append(s.formatAt(i).foreground);
        QCOMPARE(colours, (QList<QColor>{QColor(), QColor(255, 0, 0), QColor(0, 0, 255), QColor(), QColor()}));
    }

    void rtfRejects_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("plain text") << QByteArray("Hello {\\rtf1 x}");
        QTest::newRow("unclosed") << QByteArray("{\\rtf1 {\\b open}");
        QTest::newRow("truncated escape") << QByteArray("{\\rtf1 x\\");
        QTest::newRow("too deep") << QByteArray("{\\rtf1 ") + QByteArray(RtfReader::maxDepth() + 5, '{')
                                         + QByteArray(RtfReader::maxDepth() + 6, '}');
    }

    void rtfRejects()
    {
        QFETCH(QByteArray, data);
        const auto r = RtfReader::read(data);
        QVERIFY(!r);
        QCOMPARE(r.error().code, ZEM_Error::ParseFailed);
    }

    void rtfGarbageNeverCrashes()
    {
        // Mutations of a valid document: the reader must answer without crashing or hanging.
        const QByteArray seed("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
                              "\\f0\\fs20\\b x\\u955?\\'e9{\\*\\x y}\\bin2 ab\\par}");
        QRandomGenerator rng(1234);
        int accepted = 0;
        for (int i = 0; i < 3000; ++i) {
            QByteArray data = seed;
            const int edits = 1 + int(rng.bounded(6));
            for (int e = 0; e < edits; ++e)
                data[int(rng.bounded(int(data.size())))] = char(rng.bounded(256));
            if (RtfReader::read(data))
                ++accepted;
        }
        QVERIFY(accepted > 0);
        QVERIFY(accepted < 3000);
    }

    void rtfCorpusReads()
    {
        const QDir dir(QStringLiteral(ZEM_SOURCE_DIR "/fuzz/corpus/rtf"));
        const QStringList files = dir.entryList({QStringLiteral("*.rtf")}, QDir::Files);
        QVERIFY(files.size() >= 3);
        for (const QString &name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const auto r = RtfReader::read(f.readAll());
            QVERIFY2(r, qPrintable(name));
            QVERIFY2(r->string().contains(QStringLiteral("Meeting")), qPrintable(name));
        }
    }

    void archiveRoundTrip_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("rtf bytes") << QVariant(QByteArray("{\\rtf1 x}"));
        QTest::newRow("string") << QVariant(QStringLiteral("text"));
        QTest::newRow("number") << QVariant(42);
        QTest::newRow("empty bytes") << QVariant(QByteArray(""));
    }

    void archiveRoundTrip()
    {
        QFETCH(QVariant, value);
        ValueTransformer *t = ValueTransformer::valueTransformerForName(QStringLiteral("NSUnarchiveFromData"));
        QVERIFY(t);
        QVERIFY(t->allowsReverseTransformation());
        const QVariant archived = t->reverseTransformedValue(value);
        QCOMPARE(archived.metaType(), QMetaType::fromType<QByteArray>());
        QVERIFY(archived.toByteArray().startsWith("ZEMA\x01"));
        QCOMPARE(t->transformedValue(archived), value);
    }

    void unarchiveRejectsDamage()
    {
        const QByteArray good = ValueTransformer::archive(QVariant(QByteArray("{\\rtf1 hello}")));
        QVERIFY(ValueTransformer::unarchive(good).isValid());
        QVERIFY(!ValueTransformer::unarchive(QByteArray()).isValid());
        QVERIFY(!ValueTransformer::unarchive("{\\rtf1 hello}").isValid());
        QByteArray badVersion = good;
        badVersion[4] = 2;
        QVERIFY(!ValueTransformer::unarchive(badVersion).isValid());
        for (qsizetype cut = 5; cut < good.size(); ++cut)
            QVERIFY2(!ValueTransformer::unarchive(good.left(cut)).isValid(), qPrintable(QString::number(cut)));
        QVERIFY(!ValueTransformer::valueTransformerForName(QStringLiteral("NoSuchTransformer")));
    }
};

ZEM_TEST_MAIN(tst_AttributedString)
#include "tst_AttributedString.moc"
