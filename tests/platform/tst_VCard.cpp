#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/addressbook/VCard.h"

#include <QDir>
#include <QStringDecoder>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

using Parameter = VCardProperty::Parameter;

QString corpusDir()
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/vcard");
}

// One line per property: group.NAME;[PARAM]=[value][value]:[raw value]. A parameter
// without values shows no '='.
QString describe(const VCardProperty &p)
{
    QString s = p.group.isEmpty() ? p.name : p.group + u'.' + p.name;
    for (const Parameter &param : p.parameters)
        s += u";["_s + param.name + (param.values.isEmpty() ? u"]"_s : u"]=["_s + param.values.join(u"]["_s) + u']');
    return s + u":["_s + p.rawValue + u']';
}

// Writes \a card as \a version and reads it back; empty when the same card came back, else
// the first difference (QCOMPARE on the structs would only say "different").
QString roundTripProblem(const VCard &card, const QString &version)
{
    const QByteArray written = writeVCard(card, version);
    const VCardReadResult again = readVCards(written);
    if (!again.problems.isEmpty())
        return u"problems reading back: "_s + again.problems.join(u"; ");
    if (again.cards.size() != 1)
        return u"%1 cards read back"_s.arg(again.cards.size());
    const VCard &b = again.cards.first();
    QString diff;
    if (b.version != version)
        diff = u"version %1"_s.arg(b.version);
    for (qsizetype i = 0; diff.isEmpty() && i < qMin(card.properties.size(), b.properties.size()); ++i)
        if (!(card.properties.at(i) == b.properties.at(i)))
            diff = u"property %1: %2\n   vs %3"_s.arg(i).arg(describe(card.properties.at(i)), describe(b.properties.at(i)));
    if (diff.isEmpty() && card.properties.size() != b.properties.size())
        diff = u"%1 vs %2 properties"_s.arg(card.properties.size()).arg(b.properties.size());
    return diff.isEmpty() ? QString() : version + u": "_s + diff + u"\nwritten:\n"_s + QString::fromUtf8(written);
}

#define VERIFY_ROUND_TRIPS(card)                                                                 \
    for (const QString &version : {u"3.0"_s, u"4.0"_s}) {                                        \
        const QString problem = roundTripProblem((card), version);                              \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                        \
    }

// A card holding \a lines, in \a version unless they start with a VERSION line of their own.
QByteArray card(const QByteArray &lines, const QByteArray &version = "3.0")
{
    return "BEGIN:VCARD\n" + (lines.startsWith("VERSION:") ? QByteArray() : "VERSION:" + version + '\n') + lines
           + "\nEND:VCARD\n";
}

VCard readOne(const QByteArray &data)
{
    const VCardReadResult result = readVCards(data);
    if (result.cards.size() != 1 || !result.problems.isEmpty())
        qWarning("expected one card and no problem, read %d: %s", int(result.cards.size()),
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

} // namespace

class tst_VCard : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<VCard>("card");

        // Plain values are in every card of corpus(), which round-trips them too.
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
            makeProperty(u"ADR"_s, u";;Street;;;;"_s, {{u"LABEL"_s, {u"Street 1\nTown: \"Centre\"; north, 2^3"_s}}}),
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
        photo.setBinary(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), u"image/png"_s, u"3.0"_s);
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

    void roundTrip()
    {
        QFETCH(VCard, card);
        VERIFY_ROUND_TRIPS(card);
    }

    void writeFormat()
    {
        VCard card;
        card.version = u"2.1"_s; // the version argument decides, not the card's
        const QString digits = u"0123456789"_s.repeated(8);
        card.properties = {
            makeProperty(u"TEL"_s, u"+1 555 0100"_s,
                         {{u"TYPE"_s, {u"HOME"_s, u"VOICE"_s}}, {u"PREF"_s, {u"1"_s}}}, u"item1"_s),
            makeProperty(u"ADR"_s, u";;Main St 1;Town;;;"_s, {{u"LABEL"_s, {u"Main St 1\nTown \"C\"; north ^"_s}}}),
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

    void nameSpellingKept()
    {
        VCard card = readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nitem1.X-ABLabel:Cottage\r\nFn:Jo\r\nEND:VCARD\r\n");
        QCOMPARE(card.first(u"x-ablabel"_s)->name, u"X-ABLABEL"_s);
        // Written back as the file spelled it; a renamed property takes its new name.
        const QByteArray written = writeVCard(card);
        QVERIFY2(written.contains("\r\nitem1.X-ABLabel:Cottage\r\n"), written.constData());
        QVERIFY(written.contains("\r\nFn:Jo\r\n"));
        card.first(u"FN"_s)->name = u"NICKNAME"_s;
        QVERIFY(writeVCard(card).contains("\r\nNICKNAME:Jo\r\n"));
    }

    void folding_data()
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

    void folding()
    {
        QFETCH(int, padding);
        QFETCH(QString, character);
        QFETCH(int, count);

        const QString value = QString(padding, u'a') + character.repeated(count);
        VCard card;
        card.properties = {makeProperty(u"NOTE"_s, value)};
        const QByteArray written = writeVCard(card);
        QVERIFY(written.endsWith("\r\n"));

        const QList<QByteArray> lines = written.chopped(2).split('\n');
        qsizetype noteLines = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].endsWith('\r') || i == lines.size() - 1, lines[i].constData());
            const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
            QVERIFY2(line.size() <= 75, qPrintable(u"line of %1 octets"_s.arg(line.size())));
            // A fold never cuts a character: every physical line is valid UTF-8 by itself.
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = decoder.decode(line); // decodes only when converted
            QVERIFY2(!decoder.hasError(), qPrintable(u"line %1 splits a UTF-8 sequence"_s.arg(i)));
            if (line.startsWith("NOTE:") || line.startsWith(' ')) {
                ++noteLines;
                // No fold earlier than needed: a line is only short when the next character would not have fitted.
                const bool last = i + 1 >= lines.size() || !lines[i + 1].startsWith(' ');
                if (!last)
                    QVERIFY2(line.size() > 75 - character.toUtf8().size(),
                             qPrintable(u"line %1 folded early at %2 octets"_s.arg(i).arg(line.size())));
            }
        }
        QCOMPARE(noteLines > 1, 5 + value.toUtf8().size() > 75);
        QCOMPARE(readOne(written).first(u"NOTE"_s)->rawValue, value);
    }

    void readsAProperty_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("property"); // describe() of the one property read
        QTest::addColumn<QString>("problem");  // empty: none expected

        const auto row = [](const char *name, const QByteArray &data, const char *property,
                            const char *problem = "") {
            QTest::newRow(name) << data << QString::fromUtf8(property) << QString::fromUtf8(problem);
        };
        // Line ends, folds and encodings of the file.
        const char *note = "NOTE:[one two three]";
        row("CRLF", "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:one t\r\n wo three\r\nEND:VCARD\r\n", note);
        row("LF", "BEGIN:VCARD\nVERSION:3.0\nNOTE:one t\n wo three\nEND:VCARD\n", note);
        row("CR", "BEGIN:VCARD\rVERSION:3.0\rNOTE:one t\r wo three\rEND:VCARD\r", note);
        row("tab fold", "BEGIN:VCARD\nVERSION:3.0\nNOTE:one t\n\two three\nEND:VCARD", note);
        row("mixed ends", "BEGIN:VCARD\r\nVERSION:3.0\nNOTE:one\r  two\n  three\rEND:VCARD", note);
        row("fold in name", "BEGIN:VCARD\nVERSION:3.0\nNO\n TE:one two three\nEND:VCARD", note);
        row("lower case", "begin:vcard\nversion:3.0\nnote:one two three\nend:vcard", note);
        row("BOM", "\xEF\xBB\xBF" "BEGIN:VCARD\nVERSION:3.0\nNOTE:one two three\nEND:VCARD\n", note);
        const QString utf16 = u"BEGIN:VCARD\nVERSION:3.0\nNOTE:one two three\nEND:VCARD\n"_s;
        // A continuation after an empty line still belongs to the line before it.
        row("blank line before a fold", card("GEO:37.386013;\r\n\r\n -122.082932"_ba), "GEO:[37.386013;-122.082932]");
        row("UTF-16 with BOM",
            "\xFF\xFE"_ba + QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2), note);

        const auto v4 = [](const QByteArray &lines) { return card(lines, "4.0"); };
        // Parameters.
        row("names upper-cased", v4("item1.tel;type=cell:+1"), "item1.TEL;[TYPE]=[cell]:[+1]");
        row("quoted : and ;", v4("X-A;X-P=\"a:b;c\";Y=d:value:with:colons"),
            "X-A;[X-P]=[a:b;c];[Y]=[d]:[value:with:colons]");
        row("caret escapes", v4("ADR;LABEL=\"1 Main^nTown ^'Centre^' ^^ ^x\":;;"),
            "ADR;[LABEL]=[1 Main\nTown \"Centre\" ^ ^x]:[;;]");
        row("2.1 bare", v4("TEL;WORK;PREF:1"), "TEL;[]=[WORK];[]=[PREF]:[1]");
        row("type list", v4("TEL;TYPE=HOME,VOICE:1"), "TEL;[TYPE]=[HOME][VOICE]:[1]");
        row("repeated type", v4("EMAIL;TYPE=INTERNET;TYPE=HOME:a@b"), "EMAIL;[TYPE]=[INTERNET];[TYPE]=[HOME]:[a@b]");
        row("quoted comma is one value", v4("TEL;TYPE=\"HOME,VOICE\",x:1"), "TEL;[TYPE]=[HOME,VOICE][x]:[1]");
        row("html quotes", v4("TEL;TYPE=&quot;HOME,VOICE&quot;:"), "TEL;[TYPE]=[HOME][VOICE]:[]");
        row("comma in other parameters kept", v4("X-A;X-SERVICE-TYPE=a,b:v"), "X-A;[X-SERVICE-TYPE]=[a,b]:[v]");
        row("empty parameters dropped", v4("NOPARAM;;X=1;:v"), "NOPARAM;[X]=[1]:[v]");
        row("parameter without value", v4("X-A;X-E=:v"), "X-A;[X-E]:[v]");
        row("unterminated quote is text", v4("X-A;X-Q=\"abc:v"), "X-A;[X-Q]=[\"abc]:[v]");
        row("empty value", v4("TEL:"), "TEL:[]");

        // Character sets, applied and dropped.
        const auto v21 = [](const QByteArray &lines) { return card("VERSION:2.1\n" + lines); };
        row("utf-8", v21("FN;CHARSET=UTF-8:J\xC3\xB6rg"), "FN:[Jörg]");
        row("latin-1", v21("FN;CHARSET=iso-8859-1:J\xF6rg"), "FN:[Jörg]");
        row("windows-1252", v21("FN;CHARSET=WINDOWS-1252:\x80 \x93x\x94"), "FN:[€ “x”]");
        row("koi8-r", v21("FN;CHARSET=KOI8-R;ENCODING=QUOTED-PRINTABLE:=F0=D2=C9=D7=C5=D4"), "FN:[Привет]");
        row("unknown charset", v21("FN;CHARSET=X-NOTHING:plain"), "FN:[plain]", "unknown CHARSET");
        // A file that is not UTF-8 is read as Windows-1252, parameters too, with a problem.
        row("latin-1 file", card("FN:Tv\xE5"_ba), "FN:[Två]", "line 3: value is not UTF-8");
        row("latin-1 parameter", card("ADR;LABEL=Tv\xE5:;;"_ba), "ADR;[LABEL]=[Två]:[;;]",
            "line 3: parameter is not UTF-8");
        row("utf-16 lone surrogate", v21("FN;CHARSET=UTF-16LE;ENCODING=QUOTED-PRINTABLE:=3D=D8A=00"), "FN:[\uFFFDA]");
    }

    void readsAProperty()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, property);
        QFETCH(QString, problem);
        if (QTest::currentDataTag() == "koi8-r"_L1 && !QStringDecoder("KOI8-R").isValid())
            QSKIP("this Qt has no KOI8-R converter");

        const VCardReadResult result = readVCards(data);
        QCOMPARE(result.cards.size(), 1);
        QCOMPARE(result.cards.first().properties.size(), 1);
        QCOMPARE(describe(result.cards.first().properties.first()), property);
        const QString problems = result.problems.join(u"; ");
        QVERIFY2(problem.isEmpty() ? problems.isEmpty() : problems.contains(problem), qPrintable(problems));
        // Whatever was read comes back the same from either version.
        VERIFY_ROUND_TRIPS(result.cards.first());
    }

    void textEscaping_data()
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

    void textEscaping()
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

    void components()
    {
        VCardProperty n = makeProperty(u"N"_s, u"van\\; der Berg;Ann\\, Marie;;Dr.\\\\;"_s);
        QCOMPARE(n.components(), QStringList({u"van; der Berg"_s, u"Ann, Marie"_s, {}, u"Dr.\\"_s, {}}));

        const QStringList parts = {u"a;b"_s, u"c,d"_s, u"e\\f"_s, u"g\nh"_s, {}};
        n.setComponents(parts);
        QCOMPARE(n.rawValue, u"a\\;b;c\\,d;e\\\\f;g\\nh;"_s);
        QCOMPARE(n.components(), parts);
        QCOMPARE(makeProperty(u"ORG"_s, u"Only"_s).components(), QStringList({u"Only"_s}));
    }

    void typesAndPreference()
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
        QVERIFY(tels[0]->hasType(u"work"_s) && tels[0]->hasType(u"VOICE"_s));
        QCOMPARE(tels[0]->parameterValues(u"type"_s), QStringList({u"WORK"_s, u"VOICE"_s}));
        QVERIFY(!tels[0]->isPreferred());
        QVERIFY(tels[1]->hasType(u"HOME"_s));
        QVERIFY(tels[1]->isPreferred());
        QVERIFY(tels[2]->hasType(u"cell"_s) && tels[2]->hasType(u"voice"_s));
        QVERIFY(!tels[2]->hasType(u"cel"_s));
        QVERIFY(tels[3]->isPreferred());
        QVERIFY(!tels[4]->isPreferred());
        QCOMPARE(tels[4]->parameterValues(u"PREF"_s), QStringList({u"2"_s}));
    }

    void version21()
    {
        const VCard card = readOne(
            "BEGIN:VCARD\r\nVERSION:2.1\r\n"
            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6rg\r\n"
            // soft breaks, one in the middle of a UTF-8 sequence, one before an indented line
            "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:C:\\dir=C3=\r\n"
            "=9F, more=0D=0Aline two \\; x=\r\n"
            " indented\r\n"
            // a value that starts with a soft break, and an empty line after one
            "ADR;HOME;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:=\r\n"
            ";;M=FCnzgasse 1\\; Apt 1;Town, North;=\r\n"
            "\r\n"
            "FN;CHARSET=ISO-8859-1:J\xF6rg \x80\r\n"
            "ORG;ENCODING=QUOTED-PRINTABLE:A=3DB =XY =4\r\n"
            "TEL;WORK;PREF:+49 1\r\n"
            "URL:http://a.example/x,y\r\n"
            "END:VCARD\r\n");
        QCOMPARE(card.version, u"2.1"_s);
        QCOMPARE(card.properties.size(), 7);
        QCOMPARE(card.first(u"N"_s)->components(), QStringList({u"Müller"_s, u"Jörg"_s}));
        // A 2.1 backslash escapes only ';'.
        QCOMPARE(card.first(u"NOTE"_s)->text(), u"C:\\dirß, more\nline two ; x indented"_s);
        QCOMPARE(card.first(u"ADR"_s)->components(), QStringList({{}, {}, u"Münzgasse 1; Apt 1"_s, u"Town, North"_s, {}}));
        QCOMPARE(card.first(u"FN"_s)->text(), u"Jörg €"_s);
        QCOMPARE(card.first(u"ORG"_s)->text(), u"A=B =XY =4"_s);
        QCOMPARE(card.first(u"URL"_s)->text(), u"http://a.example/x,y"_s);
        // Values are kept as text, so their transfer parameters are gone; the others stay.
        QCOMPARE(describe(*card.first(u"N"_s)), u"N:[M\u00FCller;J\u00F6rg]"_s);
        QCOMPARE(card.first(u"ADR"_s)->parameters, QList<Parameter>({{{}, {u"HOME"_s}}}));
        QVERIFY(card.first(u"TEL"_s)->hasType(u"work"_s) && card.first(u"TEL"_s)->isPreferred());
        VERIFY_ROUND_TRIPS(card);
    }

    void binary_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray bytes("\x00\x01\xFEhello\xFF", 9);
        const QByteArray b64 = bytes.toBase64();
        QTest::newRow("ENCODING=b") << card("PHOTO;ENCODING=b;TYPE=JPEG:" + b64) << bytes;
        QTest::newRow("ENCODING=BASE64 folded") << card("PHOTO;ENCODING=BASE64:\n " + b64.left(5) + "\n  " + b64.mid(5)) << bytes;
        QTest::newRow("bare BASE64") << card("KEY;BASE64:" + b64) << bytes;
        QTest::newRow("2.1 unindented lines")
            << card("VERSION:2.1\nPHOTO;ENCODING=BASE64:" + b64.left(4) + "\n" + b64.mid(4, 4) + "\n" + b64.mid(8) + "\n") << bytes;
        QTest::newRow("data URI") << card("PHOTO:data:image/png;base64," + b64) << bytes;
        QTest::newRow("data URI in 3.0 with escapes") << card("PHOTO:data:image/JPEG\\;base64\\," + b64) << bytes;
        QTest::newRow("data URI percent") << card("LOGO:data:text/plain,a%20b"_ba) << "a b"_ba;
        QTest::newRow("bad base64") << card("PHOTO;ENCODING=b:abc*def"_ba) << QByteArray();
        QTest::newRow("bad data URI base64") << card("PHOTO:data:image/png;base64,!!!!"_ba) << QByteArray();
        QTest::newRow("data URI without comma") << card("PHOTO:data:image/png;base64"_ba) << QByteArray();
        QTest::newRow("plain URL") << card("PHOTO;VALUE=uri:http://example.com/a.png"_ba) << QByteArray();
    }

    void binary()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        const VCardReadResult result = readVCards(line);
        QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
        QCOMPARE(result.cards.size(), 1);
        QCOMPARE(result.cards.first().properties.size(), 1);
        QCOMPARE(result.cards.first().properties.first().binary(), expected);
    }

    void setBinary()
    {
        const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
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
    }

    void problems_data()
    {
        static const char kGarbage[] = "\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR\xFF\xD8\xFF\x00:::;;;\"\"\"";
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("cards");
        QTest::addColumn<QString>("problem");  // a problem must contain this
        QTest::addColumn<QStringList>("names"); // property names of the first card

        const auto row = [](const char *name, const QByteArray &data, int cards, const char *problem,
                            const QStringList &names) {
            QTest::newRow(name) << data << cards << QString::fromUtf8(problem) << names;
        };
        row("no END", "BEGIN:VCARD\nVERSION:3.0\nFN:A\nTEL:1\n", 1, "line 1: the card has no END", {"FN", "TEL"});
        row("BEGIN before END", "BEGIN:VCARD\nVERSION:3.0\nFN:A\n" + card("FN:B"), 2, "line 4: the card from line 1 has no END",
            {"FN"});
        row("unknown VERSION", card("VERSION:5.7\nFN:A"), 1, "line 2: unknown VERSION \"5.7\", read as 3.0", {"FN"});
        row("no VERSION", "BEGIN:VCARD\nFN:A\nEND:VCARD\n", 1, "no VERSION", {"FN"});
        row("line without colon", card("FN:A\nthis line has no colon\nTEL:1"), 1, "line 4: no ':'", {"FN", "TEL"});
        row("bad name", card("FN:A\nbad name:x"), 1, "line 4: not a property name", {"FN"});
        row("nested AGENT", card("VERSION:2.1\nFN:A\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nFN:Agent\nBEGIN:VCARD\n"
                                 "END:VCARD\nEND:VCARD\nTEL:1"), 1, "line 5: nested AGENT card skipped", {"FN", "TEL"});
        row("binary garbage", QByteArray(kGarbage, sizeof kGarbage - 1), 0, "outside a vCard", {});
        row("text that is no vCard", "Dear Sir,\nplease find attached: nothing.\n", 0, "line 1: text outside a vCard", {});
        row("invalid UTF-8", card("FN:M\xFCller"), 1, "line 3: value is not UTF-8", {"FN"});
    }

    void problems()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, cards);
        QFETCH(QString, problem);
        QFETCH(QStringList, names);

        const VCardReadResult result = readVCards(data);
        QCOMPARE(result.cards.size(), cards);
        QVERIFY2(result.problems.join(u" | ").contains(problem), qPrintable(result.problems.join(u" | ")));
        if (cards > 0) {
            QStringList read;
            for (const VCardProperty &p : result.cards.first().properties)
                read << p.name;
            QCOMPARE(read, names);
        }
        for (const VCard &card : result.cards)
            VERIFY_ROUND_TRIPS(card);
    }

    void severalCards()
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
        QVERIFY(!result.cards[1].first(u"NOTE"_s));
    }

    void manyCards()
    {
        // A big address book export, and one enormous folded line: both read completely.
        QByteArray data;
        for (int i = 0; i < 10000; ++i)
            data += "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + QByteArray::number(i) + "\r\nFN:Person " + QByteArray::number(i)
                    + "\r\nTEL;TYPE=HOME:+1 555 " + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
        VCard big;
        big.properties = {makeProperty(u"NOTE"_s, QString(1 << 20, u'x') + u"end"_s)};
        data += writeVCard(big);

        const VCardReadResult result = readVCards(data);
        QVERIFY(result.problems.isEmpty());
        QCOMPARE(result.cards.size(), 10001);
        QCOMPARE(result.cards.at(9999).uid(), u"9999"_s);
        QCOMPARE(result.cards.last().first(u"NOTE"_s)->rawValue.size(), (1 << 20) + 3);
    }

    void corpus_data()
    {
        QTest::addColumn<QString>("file");
        const QStringList files = QDir(corpusDir()).entryList({u"*.vcf"_s}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 9);
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << corpusDir() + u'/' + file;
    }

    // Each real-world sample reads without a problem, every card comes back the same from either
    // version, and the cards as the kit writes them back (each in its own version) are the
    // golden file beside the sample.
    void corpus()
    {
        QFETCH(QString, file);
        const VCardReadResult result = readVCards(zemtest::readFile(file));
        QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(u"; ")));
        QVERIFY(!result.cards.isEmpty());
        QByteArray written;
        for (const VCard &card : result.cards) {
            VERIFY_ROUND_TRIPS(card);
            written += writeVCard(card, card.version);
        }
        ZEM_COMPARE_GOLDEN(written, file + u".expected"_s);
    }
};

ZEM_TEST_MAIN(tst_VCard)
#include "tst_VCard.moc"
