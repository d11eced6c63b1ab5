#include "ZemTestEnv.h"

#include "platform/addressbook/VCard.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringDecoder>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

using Parameter = VCardProperty::Parameter;

QString corpusDir()
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/vcard");
}

QString describe(const VCardProperty &p)
{
    QString s = p.group.isEmpty() ? p.name : p.group + u'.' + p.name;
    for (const Parameter &param : p.parameters)
        s += u";[%1]=[%2]"_s.arg(param.name, param.values.join(u"]["_s));
    return s + u":["_s + p.rawValue + u']';
}

// The first thing that differs, or empty: QCOMPARE on the structs would only say "different".
QString difference(const VCard &a, const VCard &b)
{
    if (a.version != b.version)
        return u"version %1 vs %2"_s.arg(a.version, b.version);
    for (qsizetype i = 0; i < qMin(a.properties.size(), b.properties.size()); ++i)
        if (!(a.properties.at(i) == b.properties.at(i)))
            return u"property %1: %2\n   vs %3"_s.arg(i).arg(describe(a.properties.at(i)),
                                                           describe(b.properties.at(i)));
    if (a.properties.size() != b.properties.size())
        return u"%1 vs %2 properties"_s.arg(a.properties.size()).arg(b.properties.size());
    return {};
}

// Writes \a card as \a version and reads it back; empty when the same card came back.
QString roundTripProblem(const VCard &card, const QString &version)
{
    const QByteArray written = writeVCard(card, version);
    const VCardReadResult again = readVCards(written);
    if (!again.problems.isEmpty())
        return u"problems reading back: "_s + again.problems.join(u"; ");
    if (again.cards.size() != 1)
        return u"%1 cards read back"_s.arg(again.cards.size());
    VCard expected = card;
    expected.version = version;
    const QString diff = difference(expected, again.cards.first());
    return diff.isEmpty() ? QString() : diff + u"\nwritten:\n"_s + QString::fromUtf8(written);
}

VCard readOne(const QByteArray &data)
{
    const VCardReadResult result = readVCards(data);
    if (result.cards.size() != 1)
        qWarning("expected one card, read %d: %s", int(result.cards.size()),
                 qPrintable(result.problems.join(u"; ")));
    return result.cards.value(0);
}

VCardProperty makeProperty(const QString &name, const QString &raw, QList<Parameter> parameters = {},
                       const QString &group = {})
{
    VCardProperty p;
    p.group = group;
    p.name = name;
    p.parameters = std::move(parameters);
    p.rawValue = raw;
    return p;
}

QByteArray tinyPng()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

class tst_VCard : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void roundTripFrom21();
    void nameSpellingKept();
    void writeFormat();
    void folding_data();
    void folding();
    void unfolding_data();
    void unfolding();
    void textEscaping_data();
    void textEscaping();
    void components();
    void parameters_data();
    void parameters();
    void typesAndPreference();
    void quotedPrintable();
    void charsets_data();
    void charsets();
    void binary_data();
    void binary();
    void setBinary();
    void problems_data();
    void problems();
    void severalCards();
    void manyCards();
    void corpus_data();
    void corpus();
};

// ---------------------------------------------------------------------------------------

void tst_VCard::roundTrip_data()
{
    QTest::addColumn<VCard>("card");

    VCard plain;
    plain.properties = {makeProperty(u"FN"_s, u"Jane Doe"_s), makeProperty(u"N"_s, u"Doe;Jane;;;"_s),
                        makeProperty(u"UID"_s, u"urn:uuid:1234"_s)};
    QTest::newRow("plain") << plain;

    VCard text;
    VCardProperty note = makeProperty(u"NOTE"_s, {});
    note.setText(u"back\\slash, comma; semicolon\nnew line\r\nand CRLF"_s);
    VCardProperty adr = makeProperty(u"ADR"_s, {}, {{u"TYPE"_s, {u"HOME"_s}}});
    adr.setComponents({{}, u"c/o; Smith"_s, u"Main St 1, Apt 2"_s, u"Town"_s, {}, u"12345"_s, u"Land"_s});
    text.properties = {note, adr, makeProperty(u"X-EMPTY"_s, {})};
    QTest::newRow("escaped text") << text;

    VCard params;
    params.properties = {
        makeProperty(u"TEL"_s, u"+1 555"_s, {{u"TYPE"_s, {u"HOME"_s, u"VOICE"_s}}, {u"PREF"_s, {u"1"_s}}}),
        makeProperty(u"ADR"_s, u";;Street;;;;"_s,
                 {{u"LABEL"_s, {u"Street 1\nTown: \"Centre\"; north, 2^3"_s}}}),
        makeProperty(u"X-LIST"_s, u"x"_s, {{u"TYPE"_s, {u"a,b"_s, u"c:d"_s, u""_s}}}),
        makeProperty(u"X-EMPTY-PARAM"_s, u"x"_s, {{u"X-NONE"_s, {}}, {u"X-BLANK"_s, {u""_s}}}),
        makeProperty(u"TEL"_s, u"123"_s, {{{}, {u"WORK"_s}}, {{}, {u"PREF"_s}}}),
        makeProperty(u"X-BARE"_s, u"y"_s, {{{}, {u"a=b"_s}}}),
        makeProperty(u"X-ABLABEL"_s, u"_$!<HomePage>!$_"_s, {}, u"item1"_s),
        makeProperty(u"URL"_s, u"http://example.com/a?b=c;d"_s, {}, u"item1"_s),
    };
    QTest::newRow("parameters and groups") << params;

    VCard unicode;
    unicode.properties = {makeProperty(u"FN"_s, u"山田太郎 Ünïcødé 😀"_s),
                          makeProperty(u"NOTE"_s, QString(300, QChar(0x00E9)) + u"😀"_s.repeated(40))};
    QTest::newRow("unicode and long lines") << unicode;

    VCard withBinary;
    VCardProperty photo = makeProperty(u"PHOTO"_s, {});
    photo.setBinary(tinyPng(), u"image/png"_s, u"3.0"_s);
    VCardProperty logo = makeProperty(u"LOGO"_s, {});
    logo.setBinary(QByteArray(5000, '\xA5'), u"image/jpeg"_s, u"4.0"_s);
    withBinary.properties = {photo, logo};
    QTest::newRow("binary") << withBinary;

    VCard whitespace;
    whitespace.properties = {makeProperty(u"NOTE"_s, u"  leading and trailing  "_s),
                             makeProperty(u"X-TAB"_s, u"\ttab"_s),
                             makeProperty(u"NOTE"_s, QString(74, u' ') + u"x"_s)};
    QTest::newRow("whitespace kept") << whitespace;
}

void tst_VCard::roundTrip()
{
    QFETCH(VCard, card);
    for (const QString &version : {u"3.0"_s, u"4.0"_s}) {
        const QString problem = roundTripProblem(card, version);
        QVERIFY2(problem.isEmpty(), qPrintable(version + u": "_s + problem));
    }
}

void tst_VCard::roundTripFrom21()
{
    const QByteArray data = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6rg\r\n"
                            "NOTE;ENCODING=QUOTED-PRINTABLE:C:\\dir, more=0D=0Aline two \\; x\r\n"
                            "TEL;WORK;PREF:+49 1\r\n"
                            "ADR;HOME:;;Main St\\; Apt 1;Town, North;;;\r\n"
                            "URL:http://a.example/x,y\r\n"
                            "END:VCARD\r\n";
    const VCard card = readOne(data);
    QCOMPARE(card.version, u"2.1"_s);
    QCOMPARE(card.first(u"N"_s)->components(), QStringList({u"Müller"_s, u"Jörg"_s}));
    QCOMPARE(card.first(u"NOTE"_s)->text(), u"C:\\dir, more\nline two ; x"_s);
    QCOMPARE(card.first(u"ADR"_s)->components().value(2), u"Main St; Apt 1"_s);
    QCOMPARE(card.first(u"ADR"_s)->components().value(3), u"Town, North"_s);
    QCOMPARE(card.first(u"URL"_s)->text(), u"http://a.example/x,y"_s);
    // The value is stored as text, so its 2.1 transfer parameters are gone.
    QCOMPARE(card.first(u"N"_s)->parameters, QList<Parameter>());
    QVERIFY(card.first(u"TEL"_s)->hasType(u"work"_s));
    QVERIFY(card.first(u"TEL"_s)->isPreferred());

    for (const QString &version : {u"3.0"_s, u"4.0"_s}) {
        const QString problem = roundTripProblem(card, version);
        QVERIFY2(problem.isEmpty(), qPrintable(version + u": "_s + problem));
    }
}

void tst_VCard::writeFormat()
{
    VCard card;
    card.version = u"2.1"_s; // the version argument decides, not the card's
    const QString digits = u"0123456789"_s.repeated(8);
    card.properties = {
        makeProperty(u"TEL"_s, u"+1 555 0100"_s,
                     {{u"TYPE"_s, {u"HOME"_s, u"VOICE"_s}}, {u"PREF"_s, {u"1"_s}}}, u"item1"_s),
        makeProperty(u"ADR"_s, u";;Main St 1;Town;;;"_s,
                     {{u"LABEL"_s, {u"Main St 1\nTown \"C\"; north ^"_s}}}),
        makeProperty(u"TEL"_s, u"1"_s, {{{}, {u"WORK"_s}}, {{}, {u"PREF"_s}}}),
        makeProperty(u"X-A"_s, u"x"_s,
                     {{u"TYPE"_s, {u"a,b"_s, u"c"_s}}, {u"X-P"_s, {u"d,e"_s}},
                      {u"X-Q"_s, {u"f:g"_s}}, {u"X-E"_s, {u""_s}}}),
        makeProperty(u"NOTE"_s, digits),
    };
    const QByteArray body = "item1.TEL;TYPE=HOME,VOICE;PREF=1:+1 555 0100\r\n"
                            "ADR;LABEL=\"Main St 1^nTown ^'C^'; north ^^\":;;Main St 1;Town;;;\r\n"
                            "TEL;WORK;PREF:1\r\n"
                            "X-A;TYPE=\"a,b\",c;X-P=d,e;X-Q=\"f:g\";X-E=\"\":x\r\n"
                            "NOTE:" + digits.left(70).toLatin1() + "\r\n " + digits.mid(70).toLatin1() + "\r\n"
                            "END:VCARD\r\n";
    QCOMPARE(writeVCard(card, u"4.0"_s), "BEGIN:VCARD\r\nVERSION:4.0\r\n" + body);
    QCOMPARE(writeVCard(card, u"3.0"_s), "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body);
    QCOMPARE(writeVCard(card, u"2.1"_s), "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body);
}

// ---------------------------------------------------------------------------------------

void tst_VCard::folding_data()
{
    QTest::addColumn<int>("padding");
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("count");

    // "NOTE:" is 5 octets: 70 more make a line of exactly 75, which must stay whole.
    QTest::newRow("ascii exactly 75") << 70 << u"a"_s << 0;
    QTest::newRow("ascii 76") << 71 << u"a"_s << 0;
    QTest::newRow("3-octet exactly 75") << 1 << u"€"_s << 23;
    for (int pad = 0; pad < 4; ++pad) {
        QTest::addRow("2-octet pad %d", pad) << pad << u"é"_s << 200;
        QTest::addRow("3-octet pad %d", pad) << pad << u"€"_s << 150;
        QTest::addRow("4-octet pad %d", pad) << pad << u"😀"_s << 120;
    }
}

void tst_VCard::folding()
{
    QFETCH(int, padding);
    QFETCH(QString, character);
    QFETCH(int, count);

    const QString value = QString(padding, u'a') + character.repeated(count);
    VCard card;
    card.properties = {makeProperty(u"NOTE"_s, value)};
    const QByteArray written = writeVCard(card);
    QVERIFY(written.endsWith("\r\n"));
    QVERIFY(!written.contains("\n\n"));

    const QList<QByteArray> lines = written.chopped(2).split('\n');
    qsizetype noteLines = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].endsWith('\r') || i == lines.size() - 1, lines[i].constData());
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        QVERIFY2(line.size() <= 75, qPrintable(u"line of %1 octets"_s.arg(line.size())));
        // A fold never cuts a character: every physical line is valid UTF-8 by itself.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(line);
        QVERIFY2(!decoder.hasError(), qPrintable(u"line %1 splits a UTF-8 sequence"_s.arg(i)));
        if (line.startsWith("NOTE:") || line.startsWith(' ')) {
            ++noteLines;
            // No fold earlier than needed: a line is only short when the next character
            // would not have fitted.
            const bool last = i + 1 >= lines.size() || !lines[i + 1].startsWith(' ');
            if (!last)
                QVERIFY2(line.size() > 75 - character.toUtf8().size(),
                         qPrintable(u"line %1 folded early at %2 octets"_s.arg(i).arg(line.size())));
        }
    }
    const qsizetype octets = 5 + value.toUtf8().size();
    if (octets <= 75)
        QCOMPARE(noteLines, 1);
    else
        QVERIFY(noteLines > 1);

    QCOMPARE(readOne(written).first(u"NOTE"_s)->rawValue, value);
}

void tst_VCard::unfolding_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("note");

    const QString expected = u"one two three"_s;
    QTest::newRow("CRLF") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:one t\r\n wo three\r\nEND:VCARD\r\n") << expected;
    QTest::newRow("LF") << QByteArray("BEGIN:VCARD\nVERSION:3.0\nNOTE:one t\n wo three\nEND:VCARD\n") << expected;
    QTest::newRow("CR") << QByteArray("BEGIN:VCARD\rVERSION:3.0\rNOTE:one t\r wo three\rEND:VCARD\r") << expected;
    QTest::newRow("tab") << QByteArray("BEGIN:VCARD\nVERSION:3.0\nNOTE:one t\n\two three\nEND:VCARD") << expected;
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\nVERSION:3.0\nNOTE:one two three\nEND:VCARD\n") << expected;
    QTest::newRow("mixed ends") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\nNOTE:one\r  two\n  three\rEND:VCARD") << u"one two three"_s;
    QTest::newRow("fold in name") << QByteArray("BEGIN:VCARD\nVERSION:3.0\nNO\n TE:one two three\nEND:VCARD") << expected;
    QTest::newRow("lower-case begin") << QByteArray("begin:vcard\nversion:3.0\nnote:one two three\nend:vcard") << expected;
    const QString utf16Text = u"BEGIN:VCARD\nVERSION:3.0\nNOTE:one two three\nEND:VCARD\n"_s;
    QTest::newRow("UTF-16 with BOM")
        << QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char *>(utf16Text.utf16()), utf16Text.size() * 2)
        << expected;
}

void tst_VCard::unfolding()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, note);
    const VCardReadResult result = readVCards(data);
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    QCOMPARE(result.cards.size(), 1);
    QCOMPARE(result.cards.first().properties.size(), 1);
    QCOMPARE(result.cards.first().properties.first().name, u"NOTE"_s);
    QCOMPARE(result.cards.first().properties.first().text(), note);
}

// ---------------------------------------------------------------------------------------

void tst_VCard::textEscaping_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written"); // setText(text); empty: same as raw

    QTest::newRow("plain") << u"hello"_s << u"hello"_s << QString();
    QTest::newRow("comma semicolon") << u"a\\, b\\; c"_s << u"a, b; c"_s << QString();
    QTest::newRow("backslash") << u"C:\\\\dir"_s << u"C:\\dir"_s << QString();
    QTest::newRow("newline n") << u"a\\nb"_s << u"a\nb"_s << QString();
    QTest::newRow("newline N") << u"a\\Nb"_s << u"a\nb"_s << u"a\\nb"_s;
    QTest::newRow("escaped backslash before n") << u"a\\\\nb"_s << u"a\\nb"_s << QString();
    QTest::newRow("unknown escape") << u"http\\://x"_s << u"http://x"_s << u"http://x"_s;
    QTest::newRow("trailing backslash") << u"end\\"_s << u"end\\"_s << u"end\\\\"_s;
    QTest::newRow("unescaped separators kept") << u"a,b;c"_s << u"a,b;c"_s << u"a\\,b\\;c"_s;
}

void tst_VCard::textEscaping()
{
    QFETCH(QString, raw);
    QFETCH(QString, text);
    QFETCH(QString, written);

    VCardProperty p = makeProperty(u"NOTE"_s, raw);
    QCOMPARE(p.text(), text);
    p.setText(text);
    QCOMPARE(p.rawValue, written.isEmpty() ? raw : written);
    QCOMPARE(p.text(), text);
}

void tst_VCard::components()
{
    VCardProperty n = makeProperty(u"N"_s, u"van\\; der Berg;Ann\\, Marie;;Dr.\\\\;"_s);
    QCOMPARE(n.components(), QStringList({u"van; der Berg"_s, u"Ann, Marie"_s, {}, u"Dr.\\"_s, {}}));

    const QStringList parts = {u"a;b"_s, u"c,d"_s, u"e\\f"_s, u"g\nh"_s, {}};
    n.setComponents(parts);
    QCOMPARE(n.rawValue, u"a\\;b;c\\,d;e\\\\f;g\\nh;"_s);
    QCOMPARE(n.components(), parts);
    QCOMPARE(makeProperty(u"ORG"_s, u"Only"_s).components(), QStringList({u"Only"_s}));
}

// ---------------------------------------------------------------------------------------

void tst_VCard::parameters_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<Parameter>>("parameters");
    QTest::addColumn<QString>("raw");

    using P = QList<Parameter>;
    QTest::newRow("names upper-cased")
        << QByteArray("item1.tel;type=cell:+1") << u"item1"_s << u"TEL"_s
        << P{{u"TYPE"_s, {u"cell"_s}}} << u"+1"_s;
    QTest::newRow("quoted : and ;")
        << QByteArray("X-A;X-P=\"a:b;c\";Y=d:value:with:colons") << QString() << u"X-A"_s
        << P{{u"X-P"_s, {u"a:b;c"_s}}, {u"Y"_s, {u"d"_s}}} << u"value:with:colons"_s;
    QTest::newRow("caret escapes")
        << QByteArray("ADR;LABEL=\"1 Main^nTown ^'Centre^' ^^ ^x\":;;") << QString() << u"ADR"_s
        << P{{u"LABEL"_s, {u"1 Main\nTown \"Centre\" ^ ^x"_s}}} << u";;"_s;
    QTest::newRow("2.1 bare")
        << QByteArray("TEL;WORK;PREF:1") << QString() << u"TEL"_s
        << P{{{}, {u"WORK"_s}}, {{}, {u"PREF"_s}}} << u"1"_s;
    QTest::newRow("type list")
        << QByteArray("TEL;TYPE=HOME,VOICE:1") << QString() << u"TEL"_s
        << P{{u"TYPE"_s, {u"HOME"_s, u"VOICE"_s}}} << u"1"_s;
    QTest::newRow("repeated type")
        << QByteArray("EMAIL;TYPE=INTERNET;TYPE=HOME:a@b") << QString() << u"EMAIL"_s
        << P{{u"TYPE"_s, {u"INTERNET"_s}}, {u"TYPE"_s, {u"HOME"_s}}} << u"a@b"_s;
    QTest::newRow("quoted comma is one value")
        << QByteArray("TEL;TYPE=\"HOME,VOICE\",x:1") << QString() << u"TEL"_s
        << P{{u"TYPE"_s, {u"HOME,VOICE"_s, u"x"_s}}} << u"1"_s;
    QTest::newRow("html quotes")
        << QByteArray("TEL;TYPE=&quot;HOME,VOICE&quot;:") << QString() << u"TEL"_s
        << P{{u"TYPE"_s, {u"HOME"_s, u"VOICE"_s}}} << QString();
    QTest::newRow("comma in other parameters kept")
        << QByteArray("X-A;X-SERVICE-TYPE=a,b:v") << QString() << u"X-A"_s
        << P{{u"X-SERVICE-TYPE"_s, {u"a,b"_s}}} << u"v"_s;
    QTest::newRow("empty parameters dropped")
        << QByteArray("NOPARAM;;X=1;:v") << QString() << u"NOPARAM"_s
        << P{{u"X"_s, {u"1"_s}}} << u"v"_s;
    QTest::newRow("parameter without value")
        << QByteArray("X-A;X-E=:v") << QString() << u"X-A"_s << P{{u"X-E"_s, {}}} << u"v"_s;
    QTest::newRow("unterminated quote is text")
        << QByteArray("X-A;X-Q=\"abc:v") << QString() << u"X-A"_s
        << P{{u"X-Q"_s, {u"\"abc"_s}}} << u"v"_s;
    QTest::newRow("empty value") << QByteArray("TEL:") << QString() << u"TEL"_s << P{} << QString();
}

void tst_VCard::parameters()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(QList<Parameter>, parameters);
    QFETCH(QString, raw);

    const VCardReadResult result = readVCards("BEGIN:VCARD\nVERSION:4.0\n" + line + "\nEND:VCARD\n");
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    QCOMPARE(result.cards.size(), 1);
    QCOMPARE(result.cards.first().properties.size(), 1);
    const VCardProperty &p = result.cards.first().properties.first();
    QCOMPARE(p.group, group);
    QCOMPARE(p.name, name);
    QVERIFY2(p.parameters == parameters, qPrintable(describe(p)));
    QCOMPARE(p.rawValue, raw);

    // Whatever was read must come back the same from either version.
    for (const QString &version : {u"3.0"_s, u"4.0"_s}) {
        const QString problem = roundTripProblem(result.cards.first(), version);
        QVERIFY2(problem.isEmpty(), qPrintable(version + u": "_s + problem));
    }
}

void tst_VCard::typesAndPreference()
{
    const VCard card = readOne("BEGIN:VCARD\nVERSION:3.0\n"
                               "TEL;WORK;VOICE:1\n"
                               "TEL;TYPE=home;TYPE=pref:2\n"
                               "TEL;TYPE=\"cell,voice\":3\n"
                               "TEL;PREF=1:4\n"
                               "TEL;PREF=2;TYPE=fax:5\n"
                               "END:VCARD\n");
    const auto tels = card.all(u"tel"_s);
    QCOMPARE(tels.size(), 5);
    QVERIFY(tels[0]->hasType(u"work"_s));
    QVERIFY(tels[0]->hasType(u"VOICE"_s));
    QCOMPARE(tels[0]->parameterValues(u"type"_s), QStringList({u"WORK"_s, u"VOICE"_s}));
    QVERIFY(!tels[0]->isPreferred());
    QVERIFY(tels[1]->hasType(u"HOME"_s));
    QVERIFY(tels[1]->isPreferred());
    QVERIFY(tels[2]->hasType(u"cell"_s));
    QVERIFY(tels[2]->hasType(u"voice"_s));
    QVERIFY(!tels[2]->hasType(u"cel"_s));
    QVERIFY(tels[3]->isPreferred());
    QVERIFY(!tels[4]->isPreferred());
    QCOMPARE(tels[4]->parameterValues(u"PREF"_s), QStringList({u"2"_s}));
    QVERIFY(tels[4]->parameterValues(u"X-NONE"_s).isEmpty());
}

void tst_VCard::quotedPrintable()
{
    const QByteArray data = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            // soft breaks, one in the middle of a UTF-8 sequence
                            "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Gr=C3=BC=C3=\r\n"
                            "=9Fe=0D=0Aline 2=\r\n"
                            " indented\r\n"
                            // a value that starts with a soft break, and an empty line after one
                            "ADR;HOME;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:=\r\n"
                            ";;M=FCnzgasse 1;=\r\n"
                            "\r\n"
                            "FN;CHARSET=ISO-8859-1:J\xF6rg \x80\r\n"
                            "ORG;ENCODING=QUOTED-PRINTABLE:A=3DB =XY =4\r\n"
                            "END:VCARD\r\n";
    const VCardReadResult result = readVCards(data);
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    QCOMPARE(result.cards.size(), 1);
    const VCard &card = result.cards.first();
    QCOMPARE(card.properties.size(), 4);
    QCOMPARE(card.first(u"NOTE"_s)->text(), u"Grüße\nline 2 indented"_s);
    QCOMPARE(card.first(u"NOTE"_s)->parameters, QList<Parameter>());
    QCOMPARE(card.first(u"ADR"_s)->components(), QStringList({{}, {}, u"Münzgasse 1"_s, {}}));
    QVERIFY(card.first(u"ADR"_s)->hasType(u"home"_s));
    QCOMPARE(card.first(u"ADR"_s)->parameters.size(), 1);
    QCOMPARE(card.first(u"FN"_s)->text(), u"Jörg €"_s);
    QCOMPARE(card.first(u"FN"_s)->parameters, QList<Parameter>());
    QCOMPARE(card.first(u"ORG"_s)->text(), u"A=B =XY =4"_s);
}

void tst_VCard::charsets_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem"); // empty: none expected

    QTest::newRow("utf-8") << QByteArray("FN;CHARSET=UTF-8:J\xC3\xB6rg") << u"Jörg"_s << QString();
    QTest::newRow("latin-1") << QByteArray("FN;CHARSET=iso-8859-1:J\xF6rg") << u"Jörg"_s << QString();
    QTest::newRow("windows-1252") << QByteArray("FN;CHARSET=WINDOWS-1252:\x80 \x93x\x94") << u"€ “x”"_s << QString();
    QTest::newRow("koi8-r") << QByteArray("FN;CHARSET=KOI8-R;ENCODING=QUOTED-PRINTABLE:=F0=D2=C9=D7=C5=D4")
                            << u"Привет"_s << QString();
    QTest::newRow("unknown") << QByteArray("FN;CHARSET=X-NOTHING:plain") << u"plain"_s << u"unknown CHARSET"_s;
    QTest::newRow("utf-16 lone surrogate")
        << QByteArray("FN;CHARSET=UTF-16LE;ENCODING=QUOTED-PRINTABLE:=3D=D8A=00") << u"\uFFFDA"_s << QString();
}

void tst_VCard::charsets()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    QFETCH(QString, problem);
    if (QTest::currentDataTag() == "koi8-r"_L1 && !QStringDecoder("KOI8-R").isValid())
        QSKIP("this Qt has no KOI8-R converter");

    const VCardReadResult result = readVCards("BEGIN:VCARD\nVERSION:2.1\n" + line + "\nEND:VCARD\n");
    QCOMPARE(result.cards.size(), 1);
    QCOMPARE(result.cards.first().properties.size(), 1);
    QCOMPARE(result.cards.first().properties.first().text(), text);
    QCOMPARE(result.cards.first().properties.first().parameters, QList<Parameter>());
    if (problem.isEmpty())
        QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    else
        QVERIFY2(result.problems.value(0).contains(problem), qPrintable(result.problems.join(u"; ")));
    QVERIFY(roundTripProblem(result.cards.first(), u"4.0"_s).isEmpty());
}

// ---------------------------------------------------------------------------------------

void tst_VCard::binary_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray bytes("\x00\x01\xFEhello\xFF", 9);
    const QByteArray b64 = bytes.toBase64();
    QTest::newRow("ENCODING=b") << "PHOTO;ENCODING=b;TYPE=JPEG:" + b64 << bytes;
    QTest::newRow("ENCODING=BASE64 folded") << "PHOTO;ENCODING=BASE64:\n " + b64.left(5) + "\n  " + b64.mid(5) << bytes;
    QTest::newRow("bare BASE64") << "KEY;BASE64:" + b64 << bytes;
    QTest::newRow("2.1 unindented lines")
        << "VERSION:2.1\nPHOTO;ENCODING=BASE64:" + b64.left(4) + "\n" + b64.mid(4, 4) + "\n" + b64.mid(8) + "\n" << bytes;
    QTest::newRow("data URI") << "PHOTO:data:image/png;base64," + b64 << bytes;
    QTest::newRow("data URI in 3.0 with escapes") << "PHOTO:data:image/JPEG\\;base64\\," + b64 << bytes;
    QTest::newRow("data URI percent") << QByteArray("LOGO:data:text/plain,a%20b") << QByteArray("a b");
    QTest::newRow("bad base64") << QByteArray("PHOTO;ENCODING=b:abc*def") << QByteArray();
    QTest::newRow("bad data URI base64") << QByteArray("PHOTO:data:image/png;base64,!!!!") << QByteArray();
    QTest::newRow("data URI without comma") << QByteArray("PHOTO:data:image/png;base64") << QByteArray();
    QTest::newRow("plain URL") << QByteArray("PHOTO;VALUE=uri:http://example.com/a.png") << QByteArray();
}

void tst_VCard::binary()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const QByteArray version = line.startsWith("VERSION:") ? QByteArray() : QByteArray("VERSION:3.0\n");
    const VCardReadResult result = readVCards("BEGIN:VCARD\n" + version + line + "\nEND:VCARD\n");
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    QCOMPARE(result.cards.size(), 1);
    QCOMPARE(result.cards.first().properties.size(), 1);
    QCOMPARE(result.cards.first().properties.first().binary(), expected);
}

void tst_VCard::setBinary()
{
    const QByteArray png = tinyPng();
    VCardProperty photo = makeProperty(u"PHOTO"_s, u"http://old"_s,
                                   {{u"VALUE"_s, {u"uri"_s}}, {u"X-KEEP"_s, {u"1"_s}}, {{}, {u"GIF"_s}}});

    photo.setBinary(png, u"image/png"_s, u"3.0"_s);
    QCOMPARE(photo.parameters, QList<Parameter>({{u"X-KEEP"_s, {u"1"_s}}, {u"ENCODING"_s, {u"b"_s}}, {u"TYPE"_s, {u"PNG"_s}}}));
    QCOMPARE(photo.rawValue, QString::fromLatin1(png.toBase64()));
    QCOMPARE(photo.binary(), png);

    photo.setBinary(png, u"image/png"_s, u"4.0"_s);
    QCOMPARE(photo.parameters, QList<Parameter>({{u"X-KEEP"_s, {u"1"_s}}}));
    QCOMPARE(photo.rawValue, u"data:image/png;base64,"_s + QString::fromLatin1(png.toBase64()));
    QCOMPARE(photo.binary(), png);

    VCard card;
    card.properties = {photo};
    const VCard again = readOne(writeVCard(card, u"4.0"_s));
    QCOMPARE(QImage::fromData(again.first(u"PHOTO"_s)->binary()).size(), QSize(3, 2));
}

// ---------------------------------------------------------------------------------------

void tst_VCard::problems_data()
{
    static const char kGarbage[] = "\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR\xFF\xD8\xFF\x00:::;;;\"\"\"";
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("cards");
    QTest::addColumn<QString>("problem");  // a problem must contain this
    QTest::addColumn<QStringList>("names"); // property names of the first card

    QTest::newRow("no END")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:A\nTEL:1\n") << 1 << u"line 1: the card has no END"_s
        << QStringList{u"FN"_s, u"TEL"_s};
    QTest::newRow("BEGIN before END")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:A\nBEGIN:VCARD\nVERSION:3.0\nFN:B\nEND:VCARD\n") << 2
        << u"line 4: the card from line 1 has no END"_s << QStringList{u"FN"_s};
    QTest::newRow("unknown VERSION")
        << QByteArray("BEGIN:VCARD\nVERSION:5.7\nFN:A\nEND:VCARD\n") << 1
        << u"line 2: unknown VERSION \"5.7\", read as 3.0"_s << QStringList{u"FN"_s};
    QTest::newRow("no VERSION")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\n") << 1 << u"no VERSION"_s << QStringList{u"FN"_s};
    QTest::newRow("line without colon")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:A\nthis line has no colon\nTEL:1\nEND:VCARD\n") << 1
        << u"line 4: no ':'"_s << QStringList{u"FN"_s, u"TEL"_s};
    QTest::newRow("bad name")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:A\nbad name:x\nEND:VCARD\n") << 1
        << u"line 4: not a property name"_s << QStringList{u"FN"_s};
    QTest::newRow("nested AGENT")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN:A\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nFN:Agent\n"
                      "BEGIN:VCARD\nEND:VCARD\nEND:VCARD\nTEL:1\nEND:VCARD\n")
        << 1 << u"line 5: nested AGENT card skipped"_s << QStringList{u"FN"_s, u"TEL"_s};
    QTest::newRow("binary garbage")
        << QByteArray(kGarbage, sizeof kGarbage - 1) << 0
        << u"outside a vCard"_s << QStringList{};
    QTest::newRow("text that is no vCard")
        << QByteArray("Dear Sir,\nplease find attached: nothing.\n") << 0 << u"line 1: text outside a vCard"_s
        << QStringList{};
    QTest::newRow("invalid UTF-8")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:M\xFCller\nEND:VCARD\n") << 1
        << u"line 3: value is not UTF-8"_s << QStringList{u"FN"_s};
}

void tst_VCard::problems()
{
    QFETCH(QByteArray, data);
    QFETCH(int, cards);
    QFETCH(QString, problem);
    QFETCH(QStringList, names);

    const VCardReadResult result = readVCards(data);
    QCOMPARE(result.cards.size(), cards);
    bool found = false;
    for (const QString &p : result.problems)
        found = found || p.contains(problem);
    QVERIFY2(found, qPrintable(u"wanted \"%1\" in: %2"_s.arg(problem, result.problems.join(u" | "))));
    if (cards > 0) {
        QStringList read;
        for (const VCardProperty &p : result.cards.first().properties)
            read << p.name;
        QCOMPARE(read, names);
        for (const VCard &card : result.cards)
            QVERIFY(roundTripProblem(card, u"3.0"_s).isEmpty());
    }
}

void tst_VCard::severalCards()
{
    const VCardReadResult result = readVCards("BEGIN:VCARD\nVERSION:4.0\nUID:a\nEND:VCARD\n"
                                              "\n\n"
                                              "BEGIN:VCARD\nVERSION:3.0\nUID:b\nitem1.TEL:1\nitem1.X-ABLABEL:x\nEND:VCARD");
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    QCOMPARE(result.cards.size(), 2);
    QCOMPARE(result.cards[0].version, u"4.0"_s);
    QCOMPARE(result.cards[0].uid(), u"a"_s);
    QCOMPARE(result.cards[1].version, u"3.0"_s);
    QCOMPARE(result.cards[1].uid(), u"b"_s);
    QCOMPARE(result.cards[1].inGroup(u"ITEM1"_s).size(), 2);
    QCOMPARE(result.cards[1].inGroup(u"item1"_s).at(1)->name, u"X-ABLABEL"_s);
    QVERIFY(result.cards[1].inGroup(QString()).isEmpty());
    QVERIFY(result.cards[1].first(u"NOTE"_s) == nullptr);
}

void tst_VCard::manyCards()
{
    // A big address book export, and one enormous folded line: both read completely.
    QByteArray data;
    for (int i = 0; i < 10000; ++i)
        data += "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + QByteArray::number(i)
                + "\r\nFN:Person " + QByteArray::number(i) + "\r\nTEL;TYPE=HOME:+1 555 "
                + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
    VCard big;
    big.properties = {makeProperty(u"NOTE"_s, QString(1 << 20, u'x') + u"end"_s)};
    data += writeVCard(big);

    const VCardReadResult result = readVCards(data);
    QVERIFY(result.problems.isEmpty());
    QCOMPARE(result.cards.size(), 10001);
    QCOMPARE(result.cards.at(9999).uid(), u"9999"_s);
    QCOMPARE(result.cards.last().first(u"NOTE"_s)->rawValue.size(), (1 << 20) + 3);
}

// ---------------------------------------------------------------------------------------

void tst_VCard::corpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cards");
    const QStringList files = QDir(corpusDir()).entryList({u"*.vcf"_s}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 8);
    const QHash<QString, int> cardCounts{{u"gmail-list.vcf"_s, 3}};
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file << cardCounts.value(file, 1);
}

void tst_VCard::corpus()
{
    QFETCH(QString, file);
    QFETCH(int, cards);

    QFile f(corpusDir() + u'/' + file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const VCardReadResult result = readVCards(f.readAll());
    QCOMPARE(result.cards.size(), cards);
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
    for (const VCard &card : result.cards) {
        QVERIFY(!card.properties.isEmpty());
        for (const QString &version : {u"3.0"_s, u"4.0"_s}) {
            const QString problem = roundTripProblem(card, version);
            QVERIFY2(problem.isEmpty(), qPrintable(version + u": "_s + problem));
        }
    }

    const VCard &card = result.cards.first();
    auto text = [&card](const QString &name) {
        const VCardProperty *p = card.first(name);
        return p ? p->text() : u"<missing %1>"_s.arg(name);
    };
    auto image = [&card](const QString &name) {
        const VCardProperty *p = card.first(name);
        return p ? QImage::fromData(p->binary()).size() : QSize();
    };

    if (file == "outlook-2007.vcf"_L1) {
        QCOMPARE(card.version, u"2.1"_s);
        QCOMPARE(text(u"FN"_s), u"Mr. Michael Angstadt Jr."_s);
        QCOMPARE(card.first(u"N"_s)->components(),
                 QStringList({u"Angstadt"_s, u"Michael"_s, {}, u"Mr."_s, u"Jr."_s}));
        const auto tels = card.all(u"TEL"_s);
        QCOMPARE(tels.size(), 4);
        QVERIFY(tels[3]->hasType(u"FAX"_s) && tels[3]->hasType(u"work"_s));
        QCOMPARE(tels[3]->text(), u"(111) 555-3333"_s);
        QVERIFY(text(u"NOTE"_s).startsWith(u"This is the NOTE field\t\nI assume it encodes"_s));
        QVERIFY(text(u"NOTE"_s).endsWith(u"here.\nIt does not preserve the formatting"_s));
        QCOMPARE(text(u"LABEL"_s), u"222 Broadway\nNew York, NY 99999\nUSA"_s);
        QVERIFY(card.first(u"ADR"_s)->isPreferred());
        QCOMPARE(card.first(u"KEY"_s)->binary().size(), 514);
        QCOMPARE(image(u"PHOTO"_s), QSize(72, 86));
        QVERIFY(text(u"X-MS-OL-DESIGN"_s).endsWith(u"</card>"_s));
        QCOMPARE(text(u"REV"_s), u"20120801T184631Z"_s);
    } else if (file == "photo-test.vcf"_L1) {
        QCOMPARE(text(u"FN"_s), u"should be ok to share"_s);
        QCOMPARE(text(u"TEL"_s), u"+49123456789"_s);
        QVERIFY(card.first(u"PHOTO"_s)->hasType(u"JPEG"_s));
        QCOMPARE(image(u"PHOTO"_s), QSize(72, 83));
    } else if (file == "v2_1.vcf"_L1) {
        QCOMPARE(card.first(u"ORG"_s)->components(), QStringList({u"Firma"_s, u"Führungsetage"_s}));
        const QStringList lines = text(u"NOTE"_s).split(u'\n');
        QCOMPARE(lines.size(), 6);
        for (const QString &line : lines)
            QCOMPARE(line, u"Kommentar ÄÄÄÄÄÄ ääääää ÖÖÖÖÖÖ öööööö ÜÜÜÜÜÜ üüüüüü ßßßßßß"_s);
        QCOMPARE(text(u"LABEL"_s), u"1\nFirmenstraße\nOrt Firma, Bundesland Firma PLZFirma\nLand Firma"_s);
        QCOMPARE(card.all(u"TEL"_s).first()->text(), u"Tel geschäftlich"_s);
        QVERIFY(card.all(u"EMAIL"_s).first()->isPreferred());
    } else if (file == "gmail-single2.vcf"_L1) {
        QCOMPARE(text(u"FN"_s), u"VCard Test"_s);
        QCOMPARE(card.all(u"TEL"_s).size(), 11);
        QVERIFY(card.all(u"TEL"_s).at(7)->hasType(u"WORK"_s) && card.all(u"TEL"_s).at(7)->hasType(u"FAX"_s));
        QCOMPARE(text(u"URL"_s), u"http://www.example1.com"_s);
        QCOMPARE(card.inGroup(u"item7"_s).size(), 2);
        QCOMPARE(card.inGroup(u"item7"_s).at(1)->text(), u"_$!<HomePage>!$_"_s);
        QCOMPARE(text(u"NOTE"_s), u"note line 1\nnote line 2\nCustomField: field value"_s);
    } else if (file == "gmail-list.vcf"_L1) {
        QCOMPARE(result.cards.at(2).first(u"FN"_s)->text(), u"Doug White"_s);
        QCOMPARE(result.cards.at(1).first(u"EMAIL"_s)->text(), u"chrisy55d@yahoo.com"_s);
    } else if (file == "John_Doe_EVOLUTION.vcf"_L1) {
        QCOMPARE(text(u"FN"_s), u"Mr. John Richter, James Doe Sr."_s);
        QCOMPARE(card.first(u"N"_s)->components().value(2), u"Richter, James"_s);
        QCOMPARE(text(u"X-AIM"_s), u"johnny5@aol.com"_s);
        const auto tels = card.all(u"TEL"_s);
        QCOMPARE(tels.at(1)->text(), u"905-555-1234"_s);
        QVERIFY(tels.at(1)->hasType(u"voice"_s));
        QCOMPARE(tels.at(1)->parameterValues(u"X-COUCHDB-UUID"_s),
                 QStringList({u"fbfb2722-4fd8-4dbf-9abd-eeb24072fd8e"_s}));
        QCOMPARE(card.first(u"ADR"_s)->components().value(6), u"United States of America"_s);
        QVERIFY(text(u"NOTE"_s).contains(u"SERVICES; LOSS OF USE, DATA, OR PROFITS;"_s));
    } else if (file == "issue114.vcf"_L1) {
        QCOMPARE(text(u"FN"_s), u"Dummy, Dummy"_s);
        QVERIFY(card.first(u"TEL"_s)->isPreferred());
        QCOMPARE(text(u"TEL"_s), u"+49 1234 56789"_s);
        QVERIFY(card.first(u"ADR"_s)->parameterValues(u"LABEL"_s).value(0).startsWith(
            u"Dummy-Dummy-Strasse 1 61352 Bad Homburg\nGERMANY\""_s));
        QCOMPARE(card.uid(), u"8b574c60-fd7f-4e99-b584-c5db131ae687"_s);
    } else if (file == "vcard40_group.vcf"_L1) {
        QCOMPARE(text(u"KIND"_s), u"group"_s);
        QCOMPARE(card.all(u"MEMBER"_s).size(), 3);
        QCOMPARE(card.all(u"MEMBER"_s).at(2)->text(), u"mailto:kid@example.com"_s);
    } else if (file == "vcard40_multilang.vcf"_L1) {
        QCOMPARE(card.all(u"FN"_s).at(1)->text(), u"山田太郎"_s);
        QCOMPARE(card.all(u"FN"_s).at(1)->parameterValues(u"language"_s), QStringList({u"ja"_s}));
        QCOMPARE(card.all(u"N"_s).at(1)->components().first(), u"山田"_s);
    } else {
        QFAIL("no spot checks for this file");
    }
}

void tst_VCard::nameSpellingKept()
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nitem1.X-ABLabel:Cottage\r\nFn:Jo\r\nEND:VCARD\r\n";
    const platform::VCardReadResult read = platform::readVCards(card);
    QCOMPARE(read.cards.size(), 1);
    const platform::VCardProperty *label = read.cards.first().first(u"x-ablabel"_qs);
    QVERIFY(label);
    QCOMPARE(label->name, u"X-ABLABEL"_qs);
    // Written back as the file spelled it; a renamed property takes its new name.
    const QByteArray written = platform::writeVCard(read.cards.first());
    QVERIFY2(written.contains("\r\nitem1.X-ABLabel:Cottage\r\n"), written.constData());
    QVERIFY(written.contains("\r\nFn:Jo\r\n"));
    platform::VCard renamed = read.cards.first();
    renamed.first(u"FN"_qs)->name = u"NICKNAME"_qs;
    QVERIFY(platform::writeVCard(renamed).contains("\r\nNICKNAME:Jo\r\n"));
}

ZEM_TEST_MAIN(tst_VCard)
#include "tst_VCard.moc"
