// Localized menus and menu items: titles that follow the language, the return to the
// loaded titles, and items that call their action on their target by name.
#include "TestImages.h"
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QPointer>

namespace {

// Receives menu actions the way a controller does: by selector, with the item as sender.
class Controller : public QObject
{
    Q_OBJECT
public:
    QList<QPointer<QObject>> senders;
    QList<int> tags;
public slots:
    void printRecords(QObject *sender)
    {
        senders.append(sender);
        tags.append(sender ? sender->property("tag").toInt() : -1);
    }
};

} // namespace

class tst_ZEM_A_C_NSMenuItem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Save", "Enregistrer"},
            {"L:Print", "Imprimer..."},
            {"NL:Options", "Réglages"},
        }));
    }

    void init() { QVERIFY(french::use("English")); }

    void itemTitleFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<bool>("hasTitle");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("titles"); // English, French, English again
        QTest::newRow("plain text") << "Save" << true << "NL:Save" << "Save / Enregistrer / Save";
        QTest::newRow("written as a key") << "L:Print" << true << "L:Print" << "Print... / Imprimer... / Print...";
        QTest::newRow("no translation: falls back") << "Delete" << true << "NL:Delete" << "Delete / Delete / Delete";
        QTest::newRow("nothing to localize") << "+" << false << "" << "+ / + / +";
    }

    void itemTitleFollowsTheLanguage()
    {
        QFETCH(QString, loaded);
        QFETCH(bool, hasTitle);
        QFETCH(QString, key);
        QFETCH(QString, titles);

        ZEM_A_C_NSMenuItem item(loaded, QString());
        item.awakeFromNib();
        QCOMPARE(item.hasTitle(), hasTitle);
        QCOMPARE(item.titleKey(), key);
        QCOMPARE(french::roundTrip([&item] { return item.title(); }), titles);
        QCOMPARE(item.text(), item.title());
    }

    void resetNotificationRestoresLoadedTitle()
    {
        ZEM_A_C_NSMenuItem item(QStringLiteral("Save"), QString());
        item.awakeFromNib();
        item.setTitle(QStringLiteral("Something else"));

        // A language named by text is looked up, not taken as the return to the loaded texts.
        item.languageCall(ZEM_F_Notification{QStringLiteral("LanguageCall"), QStringLiteral("French"), {}});
        QCOMPARE(item.title(), u"Enregistrer"_qs);

        item.setTitle(QStringLiteral("Something else"));
        item.languageCall(ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(0), {}});
        QCOMPARE(item.title(), u"Save"_qs);

        // The language's number works as well as its name.
        item.languageCall(ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(2), {}});
        QCOMPARE(item.title(), u"Enregistrer"_qs);

        // An item whose title was not localized keeps whatever it shows.
        ZEM_A_C_NSMenuItem plain(QStringLiteral("-"), QString());
        plain.awakeFromNib();
        plain.setTitle(QStringLiteral("42"));
        plain.languageCall(ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(2), {}});
        QCOMPARE(plain.title(), u"42"_qs);
    }

    void menuTitle()
    {
        ZEM_A_C_NSMenu menu(QStringLiteral("Options"));
        menu.awakeFromNib();
        QVERIFY(menu.hasTitle());
        QCOMPARE(menu.titleKey(), u"NL:Options"_qs);
        ZEM_A_C_NSMenu context;
        context.awakeFromNib();
        QVERIFY(!context.hasTitle());

        QVERIFY(french::use("French"));
        QCOMPARE(menu.title(), u"Réglages"_qs);
        QCOMPARE(context.title(), QString());
        QVERIFY(french::use("English"));
        QCOMPARE(menu.title(), u"Options"_qs);

        // A menu that is gone is no longer told about language changes.
        auto *gone = new ZEM_A_C_NSMenu(QStringLiteral("Save"));
        gone->awakeFromNib();
        delete gone;
        QVERIFY(french::use("French"));
        QCOMPARE(menu.title(), u"Réglages"_qs);
    }

    void dictionaryEntryArrivesLater()
    {
        ZEM_A_C_NSMenuItem item(QStringLiteral("Archive Records"), QString());
        item.awakeFromNib();
        QVERIFY(!french::dictionary().contains(u"NL:Archive Records"_qs));
        QVERIFY(french::entered("NL:Archive Records"));
    }

    void triggeringPerformsSelectorOnTarget()
    {
        Controller controller;
        ZEM_A_C_NSMenuItem item(QStringLiteral("L:Print"), QStringLiteral("printRecords:"));
        item.setTarget(&controller);
        item.setTag(7);
        QCOMPARE(item.property("target").value<QObject *>(), &controller);
        item.trigger();
        QCOMPARE(controller.senders.size(), 1);
        QCOMPARE(controller.senders.first().data(), &item);
        QCOMPARE(controller.tags, QList<int>{7});

        // A target that does not answer, no selector, or no target: nothing is called.
        QObject stranger;
        item.setTarget(&stranger);
        QVERIFY(!item.performAction());
        item.setTarget(&controller);
        item.setSelector(QString());
        QVERIFY(!item.performAction());
        item.setSelector(QStringLiteral("printRecords:"));
        {
            Controller shortLived;
            item.setTarget(&shortLived);
        }
        QCOMPARE(item.target(), nullptr);
        item.trigger();
        QCOMPARE(controller.senders.size(), 1);
    }

    void state()
    {
        ZEM_A_C_NSMenuItem item(QStringLiteral("Save"), QString());
        QCOMPARE(item.state(), int(ZEM_A_C_NSMenuItem::OffState));
        QVERIFY(!item.isChecked());

        item.setState(ZEM_A_C_NSMenuItem::OnState);
        QVERIFY(item.isCheckable());
        QVERIFY(item.isChecked());
        QCOMPARE(item.property("state").toInt(), 1);

        item.setState(ZEM_A_C_NSMenuItem::MixedState);
        QCOMPARE(item.state(), -1);
        QVERIFY(!item.isChecked());

        item.setState(5);
        QCOMPARE(item.state(), 1);

        item.setOnStateImage(zemtest::filled(QSize(8, 8), Qt::black));
        QVERIFY(!item.icon().isNull());
        item.setState(ZEM_A_C_NSMenuItem::OffState);
        QVERIFY(!item.isChecked());
        QVERIFY(item.icon().isNull());
    }

    void keyEquivalents_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("upper case adds shift") << "W" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W);
        QTest::newRow("lower case") << "m" << QKeySequence(Qt::CTRL | Qt::Key_M);
        QTest::newRow("digit") << "1" << QKeySequence(Qt::CTRL | Qt::Key_1);
        QTest::newRow("written out") << "Ctrl+Alt+K" << QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K);
        QTest::newRow("none") << "" << QKeySequence();
    }

    void keyEquivalents()
    {
        QFETCH(QString, key);
        QFETCH(QKeySequence, shortcut);
        ZEM_A_C_NSMenuItem item;
        item.setKeyEquivalent(key);
        QCOMPARE(item.shortcut(), shortcut);
    }

};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSMenuItem)
#include "tst_ZEM_A_C_NSMenuItem.moc"
