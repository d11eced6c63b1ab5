#include "ZemTestEnv.h"

#include "services/ZEM_A_L_Language.h"

#include <QFile>

namespace {

// Rows whose English text is a description rather than a quotation; checked for form.
const QString Described = QStringLiteral("@described");

struct Row
{
    QString key;
    QString text;
};

QList<Row> goldenRows()
{
    QList<Row> rows;
    QFile file(QStringLiteral(ZEM_SOURCE_DIR "/tests/services/data/default_texts.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            continue;
        rows.append({line.left(tab), line.mid(tab + 1).replace(QStringLiteral("\\n"), QStringLiteral("\n"))});
    }
    return rows;
}

} // namespace

class tst_ZEM_A_L_Language : public QObject
{
    Q_OBJECT

private slots:
    void tableMatchesGolden()
    {
        const QList<Row> golden = goldenRows();
        QCOMPARE(golden.size(), 130);
        const ZEM_F_StringTable *lk = ZEM_A_L_Language::shared()->lk();
        QVERIFY(lk);
        QCOMPARE(lk->size(), golden.size());
        for (int i = 0; i < golden.size(); ++i) {
            const Row &row = golden.at(i);
            QCOMPARE(lk->keys().at(i), row.key); // order of the table, one by one
            if (row.text != Described)
                QCOMPARE(lk->value(row.key), row.text);
        }
    }

    void describedTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("paragraphs");
        QTest::addColumn<QStringList>("exactParagraphs"); // "index|text"; index -1 is the last
        QTest::addColumn<QStringList>("contains");
        QTest::addColumn<int>("placeholders");

        QTest::newRow("skype") << "M:SkypeMessage" << 3
            << QStringList{"1|To learn more click on the 'OK' button and you will be taken to the Skype site.",
                           "2|Once you have installed and setup Skype you can dial calls directly from %@!"}
            << QStringList{"Skype", "free", "internet"} << 1;
        QTest::newRow("vonage") << "M:VonageMessage" << 3
            << QStringList{"2|Once you have setup a Vonage account setup you can dial calls directly from %@!"}
            << QStringList{"Vonage", "VoIP", "'OK'", "Vonage site", "Apps", "Phone"} << 1;
        QTest::newRow("webfones") << "M:WebFonesMessage" << 4
            << QStringList{"3|Once you have setup a WebFones account you can dial calls directly from %@!"}
            << QStringList{"PBX", "'OK'", "WebFones site", "you are using %@ from %@"} << 3;
        QTest::newRow("xlite") << "M:XLiteMessage" << 2
            << QStringList{"1|To learn more click on the 'OK' button and you will be taken to the CounterPath site."}
            << QStringList{"X-Lite", "VoIP"} << 0;
    }

    void describedTexts()
    {
        QFETCH(QString, key);
        QFETCH(int, paragraphs);
        QFETCH(QStringList, exactParagraphs);
        QFETCH(QStringList, contains);
        QFETCH(int, placeholders);

        bool inGolden = false;
        for (const Row &row : goldenRows())
            inGolden |= row.key == key && row.text == Described;
        QVERIFY(inGolden);

        const QString text = ZEM_A_L_Language::shared()->lk()->value(key);
        const QStringList parts = text.split(QStringLiteral("\n\n"));
        QCOMPARE(parts.size(), paragraphs);
        for (const QString &p : parts)
            QVERIFY2(!p.trimmed().isEmpty() && !p.contains(u'\n'), qPrintable(key));
        for (const QString &spec : exactParagraphs) {
            const int index = spec.section(u'|', 0, 0).toInt();
            QCOMPARE(parts.at(index < 0 ? parts.size() - 1 : index), spec.section(u'|', 1));
        }
        for (const QString &needle : contains)
            QVERIFY2(text.contains(needle), qPrintable(needle));
        QCOMPARE(int(text.count(QStringLiteral("%@"))), placeholders);
        QCOMPARE(int(text.count(u'%')), placeholders);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_L_Language)
#include "tst_ZEM_A_L_Language.moc"
