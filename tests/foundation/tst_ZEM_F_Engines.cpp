#include "TestFiles.h"
#include "TestImages.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Colors.h"
#include "foundation/ZEM_F_E_DebugMachine.h"
#include "foundation/ZEM_F_E_EmailAddress.h"
#include "foundation/ZEM_F_E_GetPID.h"
#include "foundation/ZEM_F_Format.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

using zemtest::filled;

class tst_ZEM_F_Engines : public QObject
{
    Q_OBJECT
private slots:
    void emailValidity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        for (const char *t : {"john@example.org", "john.doe@mail.example.co.uk", "j+tag_x-y@ex-ample.org",
                              "o'brien@example.ie", "  john@example.org  ", "John Doe <john@example.org>",
                              "mailto:john@example.org", "user@bücher.de"})
            QTest::newRow(t) << QString::fromUtf8(t) << true;
        for (const char *t : {"", "john", "john@", "@example.org", "john@@example.org", "john@example@org",
                              "john@localhost", ".john@example.org", "john.@example.org", "jo..hn@example.org",
                              "john@example..org", "john@.example.org", "john@example.org.", "john@-example.org",
                              "john@example-.org", "john@1.2.3.4", "jo hn@example.org", "john@exa mple.org",
                              "jöhn@example.org", "john(at)example.org", "John Doe <>"})
            QTest::newRow(t) << QString::fromUtf8(t) << false;
        QTest::newRow("local part too long") << QString(65, u'a') + QStringLiteral("@example.org") << false;
        QTest::newRow("local part at the limit") << QString(64, u'a') + QStringLiteral("@example.org") << true;
        QTest::newRow("label too long") << QStringLiteral("a@") + QString(64, u'b') + QStringLiteral(".org") << false;
    }

    void emailValidity()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(ZEM_F_E_EmailAddress::shared()->doesEmailLookValid(text), valid);
    }

    // An address cleaned of what people write around it, and a web address made usable.
    void addressTexts_data()
    {
        QTest::addColumn<bool>("web"); // checkWebAddress, else stripEmail
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare") << false << "john@x.org" << "john@x.org";
        QTest::newRow("spaces") << false << "  john@x.org\t" << "john@x.org";
        QTest::newRow("name and angle brackets") << false << "John Doe <john@x.org>" << "john@x.org";
        QTest::newRow("quoted name with @") << false << "\"jd@y.org\" <john@x.org>" << "john@x.org";
        QTest::newRow("mailto") << false << "mailto:john@x.org" << "john@x.org";
        QTest::newRow("MAILTO with query") << false << "MAILTO:john@x.org?subject=Hi" << "john@x.org";
        QTest::newRow("mailto percent-encoded") << false << "mailto:john%2Bx@x.org" << "john+x@x.org";
        QTest::newRow("angle mailto") << false << "<mailto:john@x.org>" << "john@x.org";
        QTest::newRow("quotes") << false << "'john@x.org'" << "john@x.org";
        QTest::newRow("comment after") << false << "john@x.org (John Doe)" << "john@x.org";
        QTest::newRow("trailing comma") << false << "john@x.org," << "john@x.org";
        QTest::newRow("unclosed bracket") << false << "John <john@x.org" << "john@x.org";
        QTest::newRow("no address kept as text") << false << "John Doe" << "John Doe";
        QTest::newRow("inner space kept") << false << "jo hn@x.org" << "jo hn@x.org";
        QTest::newRow("empty") << false << "" << "";
        QTest::newRow("decoration only") << false << " \"<>\" " << "";
        QTest::newRow("host") << true << "www.example.org" << "http://www.example.org";
        QTest::newRow("trimmed") << true << "  example.org/path?q=1 " << "http://example.org/path?q=1";
        QTest::newRow("http kept") << true << "http://example.org" << "http://example.org";
        QTest::newRow("https kept") << true << "https://example.org/x" << "https://example.org/x";
        QTest::newRow("ftp kept") << true << "ftp://ftp.example.org" << "ftp://ftp.example.org";
        QTest::newRow("file kept") << true << "file:///home/john/a.html" << "file:///home/john/a.html";
        QTest::newRow("mailto kept") << true << "mailto:john@x.org" << "mailto:john@x.org";
        QTest::newRow("scheme lower-cased") << true << "HTTPS://Example.org" << "https://Example.org";
        QTest::newRow("missing slashes") << true << "http:example.org" << "http://example.org";
        QTest::newRow("host and port") << true << "localhost:8080/app" << "http://localhost:8080/app";
        QTest::newRow("network path") << true << "//example.org" << "http://example.org";
        QTest::newRow("angle brackets") << true << "<https://example.org>" << "https://example.org";
        QTest::newRow("quoted") << true << "\"example.org\"" << "http://example.org";
        QTest::newRow("empty web address") << true << "" << "";
        QTest::newRow("blank web address") << true << "   " << "";
    }

    void addressTexts()
    {
        QFETCH(bool, web);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        auto *engine = ZEM_F_E_EmailAddress::shared();
        const QString result = web ? engine->checkWebAddress(text) : engine->stripEmail(text);
        QCOMPARE(result, expected);
        if (web && !expected.isEmpty())
            QVERIFY(QUrl(result).isValid());
    }

    void mailPreferences()
    {
        writeMailSettings("; delivery accounts\n"
                          "[General]\nEmailAddress=not-an-account@x.org\n\n"
                          "[Account2]\n# second in name, first in the file\n"
                          "AccountType = SMTPAccount\nHostname = smtp.example.org\nPort = 587\n"
                          "Username = john\n"
                          "[Account1]\nAccountType=SMTPAccount\nHostname=\"mail.example.net\"\n"
                          "Port=submission\nUsername=jd, work\nEmailAddress=john@example.net\n"
                          "this line is not a setting\n");
        const QVariantMap prefs = ZEM_F_E_EmailAddress::shared()->getUsersEmailPreferences();
        QCOMPARE(prefs.keys(), QStringList{QStringLiteral("DeliveryAccounts")});
        const QVariantList accounts = prefs.value(QStringLiteral("DeliveryAccounts")).toList();
        const QVariantMap first{{u"AccountType"_qs, u"SMTPAccount"_qs}, {u"Hostname"_qs, u"smtp.example.org"_qs},
                                {u"Port"_qs, 587}, {u"Username"_qs, u"john"_qs}};
        const QVariantMap second{{u"AccountType"_qs, u"SMTPAccount"_qs}, {u"Hostname"_qs, u"mail.example.net"_qs},
                                 {u"Port"_qs, u"submission"_qs}, {u"Username"_qs, u"jd, work"_qs},
                                 {u"EmailAddress"_qs, u"john@example.net"_qs}};
        QCOMPARE(accounts, (QVariantList{first, second}));
        // A numeric port is a number: QVariant would find 587 equal to "587".
        QCOMPARE(accounts.at(0).toMap().value(u"Port"_qs).metaType(), QMetaType::fromType<int>());

        // The first account that names an address; the [General] section is not an account.
        qputenv("EMAIL", "env@example.org");
        QCOMPARE(ZEM_F_E_EmailAddress::shared()->getMailUserName(), QStringLiteral("john@example.net"));

        writeMailSettings("[Account1]\nHostname=a\n[Account2]\nAddress=other@example.org\n");
        QCOMPARE(ZEM_F_E_EmailAddress::shared()->getMailUserName(), QStringLiteral("other@example.org"));
        qunsetenv("EMAIL");
    }

    void mailPreferencesUnusable_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("empty") << true << QByteArray();
        static const char garbage[] = "\x00\xff\xfe[[[=\n\x01\x02=\x03]\n";
        QTest::newRow("garbage") << true << QByteArray(garbage, sizeof garbage - 1);
        QTest::newRow("no account sections") << true << QByteArray("[Mail]\nHostname=x\n");
        QTest::newRow("keys outside a section") << true << QByteArray("Hostname=x\nPort=25\n");
    }

    void mailPreferencesUnusable()
    {
        QFETCH(bool, present);
        QFETCH(QByteArray, bytes);
        QFile::remove(ZEM_F_E_EmailAddress::mailSettingsPath());
        if (present)
            writeMailSettings(bytes);
        auto *engine = ZEM_F_E_EmailAddress::shared();
        QVERIFY(engine->getUsersEmailPreferences().isEmpty());

        qunsetenv("EMAIL");
        QVERIFY(engine->getMailUserName().isNull());
        qputenv("EMAIL", "John <john@example.org>");
        QCOMPARE(engine->getMailUserName(), QStringLiteral("john@example.org"));
        qunsetenv("EMAIL");
    }

    void debugMachine()
    {
        auto *engine = ZEM_F_E_DebugMachine::shared();
        QVERIFY(!engine->checkIsDebugMachine());
        qputenv("ZEM_DEBUG_MACHINE", "1");
        QVERIFY(engine->checkIsDebugMachine());
        for (const char *other : {"0", "true", "yes", "1 ", ""}) {
            qputenv("ZEM_DEBUG_MACHINE", other);
            QVERIFY2(!engine->checkIsDebugMachine(), other);
        }
        qunsetenv("ZEM_DEBUG_MACHINE");
        QVERIFY(!engine->checkIsDebugMachine());
    }

    void shippedImages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        const std::pair<const char *, QSize> images[] = {
            {"BlankCell", {12, 12}},        {"BorderCell", {12, 12}},  {"MetalColumnHeader", {1, 17}},
            {"NumbersDragImage", {24, 16}}, {"PhotoPicker", {32, 32}}, {"ResizeCorner", {15, 15}},
            {"VCard", {32, 32}}};
        for (const auto &[name, size] : images)
            QTest::newRow(name) << QString::fromLatin1(name) << size;
    }

    void shippedImages()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QVERIFY(ZEM_F_C_StoreGroup::shippedImageNames().contains(name));
        const QImage image = ZEM_F_C_StoreGroup::shared()->imageForKey(name);
        QCOMPARE(image.size(), size);
        // Every shipped image draws something.
        bool painted = false;
        for (int y = 0; y < image.height() && !painted; ++y)
            for (int x = 0; x < image.width() && !painted; ++x)
                painted = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY(painted);
    }

    void hostImages()
    {
        ZEM_F_C_StoreGroup store;
        const QImage shippedCard = store.imageForKey(QStringLiteral("VCard"));
        QVERIFY(!shippedCard.isNull());
        QVERIFY(store.imageForKey(QStringLiteral("NoSuchImage")).isNull());
        QVERIFY(store.imageForKey(QString()).isNull());

        QTemporaryDir first, second;
        QVERIFY(filled(QSize(5, 5), Qt::red).save(first.filePath(QStringLiteral("VCard.png"))));
        QVERIFY(filled(QSize(6, 6), Qt::green).save(first.filePath(QStringLiteral("HostOnly.jpg"))));
        QVERIFY(filled(QSize(7, 7), Qt::blue).save(second.filePath(QStringLiteral("VCard.png"))));
        QVERIFY(zemtest::writeFile(first.filePath(QStringLiteral("Broken.png")), "not an image"));

        // A miss is remembered, but adding a folder makes the store look again.
        QVERIFY(store.imageForKey(QStringLiteral("HostOnly")).isNull());
        QVERIFY(store.addImageFolder(first.path()));
        QVERIFY(!store.addImageFolder(first.filePath(QStringLiteral("VCard.png"))));
        QCOMPARE(store.imageForKey(QStringLiteral("VCard")).size(), QSize(5, 5));
        QCOMPARE(store.imageForKey(QStringLiteral("HostOnly")).size(), QSize(6, 6));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot read .*Broken.png"));
        QVERIFY(store.imageForKey(QStringLiteral("Broken")).isNull());
        QVERIFY(store.imageForKey(QStringLiteral("../") + QFileInfo(first.path()).fileName()
                                  + QStringLiteral("/VCard")).isNull());

        QVERIFY(store.addImageFolder(second.path()));
        QCOMPARE(store.imageForKey(QStringLiteral("VCard")).size(), QSize(7, 7));

        store.setImage(QStringLiteral("VCard"), filled(QSize(3, 3), Qt::black));
        QCOMPARE(store.imageForKey(QStringLiteral("VCard")).size(), QSize(3, 3));
        store.removeImage(QStringLiteral("VCard"));
        QCOMPARE(store.imageForKey(QStringLiteral("VCard")).size(), QSize(7, 7));
        store.setImage(QStringLiteral("Extra"), filled(QSize(2, 2), Qt::white));
        QCOMPARE(store.imageForKey(QStringLiteral("Extra")).size(), QSize(2, 2));
        store.setImage(QStringLiteral("Extra"), QImage());
        QVERIFY(store.imageForKey(QStringLiteral("Extra")).isNull());

        // The store the kit shares saw none of it.
        QCOMPARE(ZEM_F_C_StoreGroup::shared()->imageForKey(QStringLiteral("VCard")), shippedCard);
    }

    void processIds()
    {
        auto *engine = ZEM_F_E_GetPID::shared();
        // This test's own name is longer than the kernel keeps.
        const QString self = QCoreApplication::applicationName();
        QVERIFY(self.toLocal8Bit().size() > 15);
        QVERIFY(engine->processIds(self).contains(int(QCoreApplication::applicationPid())));
        QCOMPARE(engine->getPIDForProcessName(QStringLiteral("zem-no-such-process-4711")), 0);
        QCOMPARE(engine->getPIDForProcessName(QString()), 0);
        QCOMPARE(engine->getPIDForProcessName(QStringLiteral("/bin/sh")), 0);

        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (sleep.isEmpty())
            QSKIP("no sleep program to run under another name");
        QTemporaryDir dir;
        const QString unique = QString::number(QCoreApplication::applicationPid());
        for (const QString &name : {QStringLiteral("zs") + unique,
                                    QStringLiteral("zem-a-rather-long-sleeper-") + unique}) {
            const QString copy = dir.filePath(name);
            QVERIFY(QFile::copy(sleep, copy));
            QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
            QProcess child;
            child.start(copy, {QStringLiteral("30")});
            QVERIFY(child.waitForStarted());
            QCOMPARE(engine->getPIDForProcessName(name), int(child.processId()));
            child.kill();
            QVERIFY(child.waitForFinished());
            QCOMPARE(engine->getPIDForProcessName(name), 0);
        }
    }

    void colors()
    {
        const QList<QColor> colors = ZEM_F_E_Colors::shared()->crayonColor();
        QVERIFY(colors.size() > ZEM_F_E_Colors::LabelColorCount);
        QCOMPARE(ZEM_F_E_Colors::shared()->crayonColorNames().size(), colors.size());
        for (const QColor &c : colors)
            QVERIFY(c.isValid());
        QCOMPARE(colors.at(0), QColor(Qt::white));
        // Label colours: red, orange, yellow, green, blue, purple by hue, then an unsaturated grey.
        const int hues[] = {0, 35, 55, 125, 215, 275};
        for (int i = 0; i < 6; ++i) {
            const int hue = colors.at(i + 1).hue();
            const int distance = std::min(std::abs(hue - hues[i]), 360 - std::abs(hue - hues[i]));
            QVERIFY2(distance < 25, qPrintable(QStringLiteral("label %1 hue %2").arg(i + 1).arg(hue)));
        }
        QVERIFY(colors.at(7).saturation() < 20);
        QSet<QRgb> labels;
        for (int i = 0; i < ZEM_F_E_Colors::LabelColorCount; ++i)
            labels.insert(colors.at(i).rgb());
        QCOMPARE(labels.size(), ZEM_F_E_Colors::LabelColorCount);
    }

    void fillFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("filled");
        QTest::newRow("in order") << u"%@ failed k:%@ to:%@"_qs << QStringList{u"App"_qs, u"key"_qs, u"v"_qs}
                                  << u"App failed k:key to:v"_qs;
        QTest::newRow("percent kept") << u"100%% of %@"_qs << QStringList{u"50%@"_qs} << u"100% of 50%@"_qs;
        QTest::newRow("fewer arguments") << u"%@ and %@"_qs << QStringList{u"one"_qs} << u"one and %@"_qs;
        QTest::newRow("more arguments") << u"just %@"_qs << QStringList{u"a"_qs, u"b"_qs} << u"just a"_qs;
        QTest::newRow("trailing percent") << u"50%"_qs << QStringList{u"x"_qs} << u"50%"_qs;
        QTest::newRow("other places") << u"%d %s %@"_qs << QStringList{u"z"_qs} << u"%d %s z"_qs;
    }

    void fillFormat()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, arguments);
        QFETCH(QString, filled);
        QCOMPARE(ZEM_F_Format::fill(format, arguments), filled);
    }

private:
    void writeMailSettings(const QByteArray &bytes)
    {
        const QString path = ZEM_F_E_EmailAddress::mailSettingsPath();
        QVERIFY(path.startsWith(ZemTestEnv::current()->configHome()));
        QVERIFY(zemtest::writeFile(path, bytes));
    }
};

ZEM_TEST_MAIN(tst_ZEM_F_Engines)
#include "tst_ZEM_F_Engines.moc"
