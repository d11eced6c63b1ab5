#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"

#include <QSettings>

namespace {
// A host that answers only what it must, as a small host would.
class MinimalHost : public ZEM_F_HostDelegate
{
public:
    ZEM_F_SettingsHostDelegate prefs{QStringLiteral("Minimal")};
    ZEM_F_UserDefaults *getSharedUserDefaults() override { return &prefs; }
    QString getAppName() const override { return QStringLiteral("Minimal"); }
    QString getAppNameLocalized() const override { return QStringLiteral("Minimal App"); }
};
} // namespace

class tst_ZEM_F_HostDelegate : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ZEM_F_Host::setDelegate(nullptr); }

    void builtInDelegateUntilHostInstallsOne()
    {
        ZEM_F_HostDelegate *builtIn = ZEM_F_Host::delegate();
        QVERIFY(builtIn);
        QCOMPARE(builtIn->getAppName(), QCoreApplication::applicationName());
        QVERIFY(ZEM_F_Host::defaults());
        QVERIFY(!builtIn->useAppLanguages());

        MinimalHost host;
        ZEM_F_Host::setDelegate(&host);
        QCOMPARE(ZEM_F_Host::delegate(), &host);
        QCOMPARE(ZEM_F_Host::appName(), QStringLiteral("Minimal"));
        QCOMPARE(ZEM_F_Host::defaults(), &host.prefs);
        // The folders follow the installed host's name.
        QCOMPARE(ZEM_F_Host::appDataFolder(), ZemTestEnv::current()->dataHome() + QStringLiteral("/Minimal"));
        QCOMPARE(ZEM_F_Host::appConfigFolder(), ZemTestEnv::current()->configHome() + QStringLiteral("/Minimal"));

        ZEM_F_Host::setDelegate(nullptr);
        QCOMPARE(ZEM_F_Host::delegate(), builtIn);
    }

    void optionalOperationsAnswerNotImplemented()
    {
        MinimalHost host;
        const auto help = host.appShowHelpViewer(QStringLiteral("MainAdvanced"));
        QVERIFY(!help);
        QCOMPARE(help.error().code, ZEM_Error::NotImplemented);
        QVERIFY(!host.appShowHelpVideoViewer(QStringLiteral("Intro")));
        const auto skype = host.skypeConnection();
        QVERIFY(!skype);
        QCOMPARE(skype.error().code, ZEM_Error::NotImplemented);
        QVERIFY(!host.useAppDocument() && !host.useAppHelp() && !host.useAppHelpVideo());
    }

    void settingsLookups()
    {
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/host.ini"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("VonageUserName"), QStringLiteral("jdoe"));
        settings.setValue(QStringLiteral("EnableTableRowColoring"), QStringLiteral("YES"));
        settings.setValue(QStringLiteral("TableHorizontalLines"), 0);
        settings.setValue(QStringLiteral("DisbleTableColumnHeaderSorting"), false);
        settings.setValue(QStringLiteral("RowInsertionPoint"), 3);
        settings.setValue(QStringLiteral("WindowOffSet"), QStringLiteral("12.5"));
        settings.setValue(QStringLiteral("UseAppLanguages"), QStringLiteral("true"));
        settings.setValue(QStringLiteral("DateTodayColor"), QStringLiteral("#336699"));

        ZEM_F_SettingsHostDelegate host(QStringLiteral("Org"), QString(), &settings);
        QCOMPARE(host.getAppNameLocalized(), QStringLiteral("Org")); // falls back to the name
        QVERIFY(host.useAppLanguages());

        QCOMPARE(host.getStringFromClass(QStringLiteral("VonageUserName")), QStringLiteral("jdoe"));
        QVERIFY(host.getStringFromClass(QStringLiteral("VonagePassword")).isNull());

        QVERIFY(host.getStringFromClassIsTrue(QStringLiteral("EnableTableRowColoring")));
        QVERIFY(!host.getStringFromClassIsTrue(QStringLiteral("TableHorizontalLines")));
        QVERIFY(!host.getStringFromClassIsTrue(QStringLiteral("Missing")));
        // "is false" means explicitly off: a missing setting is not off.
        QVERIFY(host.getStringFromClassIsFalse(QStringLiteral("DisbleTableColumnHeaderSorting")));
        QVERIFY(host.getStringFromClassIsFalse(QStringLiteral("TableHorizontalLines")));
        QVERIFY(!host.getStringFromClassIsFalse(QStringLiteral("Missing")));
        QVERIFY(!host.getStringFromClassIsFalse(QStringLiteral("EnableTableRowColoring")));

        QCOMPARE(host.getIntFromClass(QStringLiteral("RowInsertionPoint")), 3);
        QCOMPARE(host.getIntFromClass(QStringLiteral("Missing")), 0);
        QCOMPARE(host.getNumberFromClass(QStringLiteral("WindowOffSet")), 12.5);
        QCOMPARE(host.getColorFromClass(QStringLiteral("DateTodayColor")), QColor(0x33, 0x66, 0x99));
        QVERIFY(!host.getColorFromClass(QStringLiteral("DateTomorrowColor")).isValid());

        // Values survive the settings file being read back by a new object.
        settings.sync();
        QSettings reread(settings.fileName(), QSettings::IniFormat);
        ZEM_F_SettingsHostDelegate again(QStringLiteral("Org"), QString(), &reread);
        QCOMPARE(again.getColorFromClass(QStringLiteral("DateTodayColor")), QColor(0x33, 0x66, 0x99));
        QVERIFY(again.getStringFromClassIsFalse(QStringLiteral("DisbleTableColumnHeaderSorting")));
    }

    void colourTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("hex") << "#ff8000" << QColor(255, 128, 0);
        QTest::newRow("hex with alpha") << "#80ff0000" << QColor(255, 0, 0, 128);
        QTest::newRow("svg name") << "darkblue" << QColor(0, 0, 0x8b);
        QTest::newRow("components") << "1 0 0 1" << QColor(255, 0, 0);
        QTest::newRow("components, commas") << "0, 0, 1" << QColor(0, 0, 255);
        QTest::newRow("components, alpha") << "0 1 0 0.5" << QColor::fromRgbF(0, 1, 0, 0.5f);
        QTest::newRow("out of range") << "2 0 0 1" << QColor();
        QTest::newRow("too few") << "1 0" << QColor();
        QTest::newRow("garbage") << "not a colour" << QColor();
        QTest::newRow("empty") << "" << QColor();
    }

    void colourTexts()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const QColor c = ZEM_F_SettingsHostDelegate::colorFromText(text);
        QCOMPARE(c.isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(c.rgba(), expected.rgba());
    }
};

ZEM_TEST_MAIN(tst_ZEM_F_HostDelegate)
#include "tst_ZEM_F_HostDelegate.moc"
