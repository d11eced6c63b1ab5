#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_B_Language.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_L_Language.h"

#include <QDir>
#include <QLibraryInfo>
#include <QSignalSpy>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

namespace {

using Pairs = QList<QPair<QString, QString>>;
using zemtest::writeFile;

void writeLanguage(const QString &language, const Pairs &pairs)
{
    ZEM_F_StringTable table;
    for (const auto &[key, text] : pairs)
        table.insert(key, text);
    const QString path = ZEM_F_E_Language::languagesFolder() + QStringLiteral("/Organiser_")
                         + language + QStringLiteral(".plist");
    QVERIFY(writeFile(path, ZEM_F_PropertyList::writeStringTable(table)));
}

// The placeholders of a text in order, so a translation can be held to its original.
QStringList placeholders(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("%[@d]"));
    QStringList found;
    for (auto it = re.globalMatch(text); it.hasNext();)
        found.append(it.next().captured());
    return found;
}

} // namespace

/** A control-like object that records the language changes it is told about. */
class Listener : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    QVariantList objects;
    QObject *victim = nullptr; // deleted from inside the first call
    Q_INVOKABLE void languageCall(const ZEM_F_Notification &n)
    {
        objects.append(n.object);
        delete std::exchange(victim, nullptr);
    }
};

class PlainListener : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    int calls = 0;
    Q_INVOKABLE void languageCall() { ++calls; }
};

/** A second default table, as a host adds its own keys. */
class ExtraTable : public ZEM_F_B_Language
{
    Q_OBJECT
public:
    using ZEM_F_B_Language::ZEM_F_B_Language;
    ZEM_F_StringTable *lk() override
    {
        if (!storedLk()) {
            k(QStringLiteral("X:Extra"), QStringLiteral("Extra text"), this);
            k(QStringLiteral("B:Hide"), QStringLiteral("Not the kit's"), this);
        }
        return storedLk();
    }
};

/** Counts the language changes that reach the application object. */
class LanguageChangeCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::LanguageChange)
            ++count;
        return false;
    }
};

class tst_ZEM_F_E_Language : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(ZEM_A_L_Language::isRegistered());
        settings = std::make_unique<QSettings>(ZemTestEnv::current()->configHome() + "/test.ini",
                                               QSettings::IniFormat);
        delegate = std::make_unique<ZEM_F_SettingsHostDelegate>(QStringLiteral("Organiser"),
                                                                QString(), settings.get());
        ZEM_F_Host::setDelegate(delegate.get());
        engine = ZEM_F_E_Language::shared();
        QCOMPARE(ZEM_F_E_Language::shared(), engine);
        QVERIFY(ZEM_F_E_Language::languagesFolder().startsWith(ZemTestEnv::current()->dataHome()));
    }

    void init()
    {
        QDir(ZEM_F_E_Language::languagesFolder()).removeRecursively();
        QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
        engine->reloadLanguageFiles();
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("look");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QString en = QStringLiteral("English"), fr = QStringLiteral("French");
        QTest::newRow("en table") << en << false << "B:Hide" << "Hide";
        QTest::newRow("en look") << en << true << "NL:Show" << "Show";
        QTest::newRow("en look tool tip") << en << true << "NT:Open Help Viewer" << "Open Help Viewer";
        QTest::newRow("en look first colon") << en << true << "NL:Time: Start" << "Time: Start";
        QTest::newRow("en look no colon") << en << true << "Plain" << "Plain";
        QTest::newRow("en unknown key") << en << false << "X:NoSuchKey" << "X:NoSuchKey";
        QTest::newRow("en case matters") << en << false << "b:hide" << "b:hide";
        QTest::newRow("fr translated") << fr << false << "B:Hide" << "Masquer";
        QTest::newRow("fr placeholder") << fr << false << "M02:AddressBook" << "S\u00e9lectionnez un contact pour %@\u00a0!";
        QTest::newRow("fr falls back to table") << fr << false << "B:Open" << "Open";
        QTest::newRow("fr near key not confused") << fr << false << "M:QuitAnyways"
                                                  << "Could not save changes while quitting. Quit Anyway?";
        QTest::newRow("fr look translated") << fr << true << "NL:Show" << "Afficher";
        QTest::newRow("fr look tool tip") << fr << true << "NT:Open Help Viewer" << "Ouvrir l'aide";
        QTest::newRow("fr look untranslated") << fr << true << "NL:Close" << "Close";
        QTest::newRow("fr key-form translation") << fr << false << "NL:Show" << "Afficher";
        QTest::newRow("fr empty translation") << fr << false << "B:Box" << "";
        QTest::newRow("fr unknown key") << fr << false << "X:NoSuchKey" << "X:NoSuchKey";
        QTest::newRow("en language title") << en << false << "L:SimplifiedChinese" << "Simplified Chinese";
        QTest::newRow("en language title odd spelling") << en << false << "L:Croation" << "Croatian";
        QTest::newRow("fr language title translated") << fr << false << "L:French" << "Fran\u00e7ais";
        QTest::newRow("fr language title untranslated") << fr << false << "L:German" << "German";
        QTest::newRow("en not a title key") << en << false << "L:Klingon" << "L:Klingon";
    }

    void lookup()
    {
        QFETCH(QString, language);
        QFETCH(bool, look);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeLanguage(QStringLiteral("French"),
                      {{"B:Hide", "Masquer"},
                       {"M02:AddressBook", "S\u00e9lectionnez un contact pour %@\u00a0!"},
                       {"B:QuitAnyway", "Quitter quand m\u00eame"},
                       {"NL:Show", "Afficher"},
                       {"NT:Open Help Viewer", "Ouvrir l'aide"},
                       {"B:Box", ""},
                       {"L:French", "Fran\u00e7ais"}});
        const auto switched = engine->setActiveLanguage(language);
        QVERIFY2(switched, switched ? "" : qPrintable(switched.error().message));
        QCOMPARE(engine->activeLanguage(), language);
        QCOMPARE(look ? engine->stringForKeyLook(key) : engine->stringForKey(key), expected);
    }

    void secondLanguageAndCache()
    {
        writeLanguage(QStringLiteral("French"), {{"B:Hide", "Masquer"}, {"B:Open", "Ouvrir"}});
        writeLanguage(QStringLiteral("German"), {{"B:Hide", "Ausblenden"}, {"NL:Show", "Anzeigen"}});
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Open")), QStringLiteral("Ouvrir"));
        QVERIFY(engine->setActiveLanguage(3));
        QCOMPARE(engine->activeLanguage(), QStringLiteral("German"));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Ausblenden"));
        // Nothing of French lingers in German.
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Open")), QStringLiteral("Open"));
        QCOMPARE(engine->stringForKeyLook(QStringLiteral("NL:Show")), QStringLiteral("Anzeigen"));

        // Loaded once: a changed file is seen only after reloadLanguageFiles().
        writeLanguage(QStringLiteral("French"), {{"B:Hide", "Cacher"}});
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Masquer"));
        engine->reloadLanguageFiles();
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Cacher"));
        QCOMPARE(engine->languageTable(u"German"_qs)->value(u"B:Hide"_qs), u"Ausblenden"_qs);

        // A reload that meets a broken file keeps the texts in use.
        QVERIFY(writeFile(ZEM_F_E_Language::languageFilePath(QStringLiteral("French")), "<plist><dict>"));
        engine->reloadLanguageFiles();
        QCOMPARE(engine->activeLanguage(), QStringLiteral("French"));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Cacher"));

        QVERIFY(engine->setActiveLanguage(0));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Hide"));
        QVERIFY(!engine->languageTable(QStringLiteral("English")));
        QVERIFY(!engine->languageTable(QStringLiteral("Klingon")));
    }

    void refusedSwitchKeepsLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("fileContent"); // written as the language's file; null: none
        QTest::addColumn<int>("code");

        QTest::newRow("unknown name") << "Klingon" << -1 << QByteArray() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("name in other case") << "french" << -1 << QByteArray() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("number out of range") << QString() << 33 << QByteArray() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("negative number") << QString() << -1 << QByteArray() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("missing file") << "Italian" << -1 << QByteArray() << int(ZEM_Error::NotFound);
        QTest::newRow("malformed file") << "Italian" << -1 << QByteArray("<plist><dict><key>B:Hide</key></dict></plist>")
                                        << int(ZEM_Error::ParseFailed);
        QTest::newRow("not a string table") << "Italian" << -1 << QByteArray("<plist><array><string>x</string></array></plist>")
                                            << int(ZEM_Error::ParseFailed);
        QTest::newRow("empty file") << "Italian" << -1 << QByteArray("") << int(ZEM_Error::ParseFailed);
    }

    void refusedSwitchKeepsLanguage()
    {
        QFETCH(QString, language);
        QFETCH(int, index);
        QFETCH(QByteArray, fileContent);
        QFETCH(int, code);

        writeLanguage(QStringLiteral("French"), {{"B:Hide", "Masquer"}});
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        if (!fileContent.isNull())
            QVERIFY(writeFile(ZEM_F_E_Language::languageFilePath(language), fileContent));

        Listener listener;
        QVERIFY(engine->setObjectNotifications(&listener));
        int posted = 0;
        QObject context;
        ZEM_F_E_Notifications::shared()->addObserver(&context, QStringLiteral("LanguageCall"), {},
                                                     [&](const ZEM_F_Notification &) { ++posted; });

        const auto result = language.isNull() ? engine->setActiveLanguage(index)
                                              : engine->setActiveLanguage(language);
        QVERIFY(!result);
        QCOMPARE(int(result.error().code), code);
        QVERIFY(!result.error().message.isEmpty());
        QCOMPARE(engine->activeLanguage(), QStringLiteral("French"));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Masquer"));
        QCOMPARE(posted, 0);
        QVERIFY(listener.objects.isEmpty());

        // Once the file is put right, the same language can be switched to.
        if (!fileContent.isNull()) {
            writeLanguage(language, {{"B:Hide", "Nascondi"}});
            QVERIFY(engine->setActiveLanguage(language));
            QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Nascondi"));
        }
    }

    void tellsRegisteredObjects()
    {
        writeLanguage(QStringLiteral("French"), {{"B:Hide", "Masquer"}});
        auto first = std::make_unique<Listener>();
        auto doomed = new Listener;
        auto plain = std::make_unique<PlainListener>();
        auto late = new Listener; // deleted by first during the call
        QObject mute;
        QVERIFY(engine->setObjectNotifications(first.get()));
        QVERIFY(engine->setObjectNotifications(first.get())); // once is enough
        QVERIFY(engine->setObjectNotifications(doomed));
        QVERIFY(engine->setObjectNotifications(plain.get()));
        QVERIFY(engine->setObjectNotifications(late));
        QVERIFY(!engine->setObjectNotifications(&mute));
        QVERIFY(!engine->setObjectNotifications(nullptr));
        delete doomed;
        first->victim = late;

        QVariantList posted;
        QStringList seenTexts;
        QObject context;
        ZEM_F_E_Notifications::shared()->addObserver(
            &context, QStringLiteral("LanguageCall"), {}, [&](const ZEM_F_Notification &n) {
                posted.append(n.object);
                // By the time the notice arrives the new texts are in place.
                seenTexts.append(engine->stringForKey(QStringLiteral("B:Hide")));
            });

        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
        QCOMPARE(first->objects, (QVariantList{2, 0}));
        QCOMPARE(first->objects.at(1).typeId(), QMetaType::Int);
        QCOMPARE(plain->calls, 2);
        QCOMPARE(posted, (QVariantList{2, 0}));
        QCOMPARE(seenTexts, (QStringList{QStringLiteral("Masquer"), QStringLiteral("Hide")}));

        engine->removeObjectNotifications(first.get());
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        QCOMPARE(first->objects.size(), 2);
        QCOMPARE(plain->calls, 3);
        engine->removeObjectNotifications(plain.get());
    }

    void findLanguageFiles()
    {
        QTemporaryDir dir;
        const QStringList files{
            "Organiser_French.plist",
            "Organiser_English.plist",                  // built in, never a file
            "Organiser_Klingon.plist",                  // not in the list
            "Organiser_french.plist",                   // names are case-sensitive
            "Other_German.plist",                       // another application
            "Organiser_Spanish.strings",                // other extension
            "Organiser_Dutch.PLIST",
            "Organiser.plist",                          // no language at all
            "Organiser Extras/Organiser_German.plist",  // subfolder named after the app
            "sub/Organiser_Italian.plist",              // relative path not after the app
            "Organiser_Portuguese (Brazil).plist",
            "Organiser-Simplified Chinese.plist",       // any one separator character
            "Organiser_Japanese.plist.bak",
        };
        for (const QString &f : files)
            QVERIFY(writeFile(dir.filePath(f), "<plist><dict/></plist>"));

        const auto found = ZEM_F_E_Language::findLanguageFiles(dir.path(), QStringLiteral("Organiser"));
        QCOMPARE(found.keys(), (QStringList{"French", "German", "Portuguese (Brazil)", "Simplified Chinese"}));
        QCOMPARE(QFileInfo(found.value("German")).canonicalFilePath(),
                 QFileInfo(dir.filePath("Organiser Extras/Organiser_German.plist")).canonicalFilePath());
        QCOMPARE(ZEM_F_E_Language::findLanguageFiles(dir.path(), QStringLiteral("Other")).keys(),
                 QStringList{"German"});
        QCOMPARE(ZEM_F_E_Language::findLanguageFiles(dir.path(), QStringLiteral("Organiser"),
                                                     QStringLiteral("strings")).keys(),
                 QStringList{"Spanish"});
        QVERIFY(ZEM_F_E_Language::findLanguageFiles(dir.filePath("absent"), "Organiser").isEmpty());

        // The engine looks in the per-user folder, and finds files in subfolders there too.
        QVERIFY(writeFile(ZEM_F_E_Language::languagesFolder() + "/Organiser Extras/Organiser_German.plist",
                          "<plist><dict><key>B:Hide</key><string>Ausblenden</string></dict></plist>"));
        writeLanguage(QStringLiteral("Spanish"), {});
        QCOMPARE(engine->availableLanguages(), (QStringList{"German", "Spanish"}));
        QVERIFY(ZEM_F_E_Language::languageFilePath("German").endsWith("/Organiser Extras/Organiser_German.plist"));
        QCOMPARE(ZEM_F_E_Language::languageFilePath("Greek"),
                 ZEM_F_E_Language::languagesFolder() + "/Organiser_Greek.plist");
        QVERIFY(engine->setActiveLanguage(QStringLiteral("German")));
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Ausblenden"));
    }

    void languageFromNotification_data()
    {
        QTest::addColumn<QVariant>("object");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("language");

        // French is active throughout; German is what most notices announce.
        QTest::newRow("number") << QVariant(3) << "B:Hide" << "NL" << "Ausblenden" << "German";
        QTest::newRow("long number") << QVariant(qlonglong(3)) << "B:Hide" << "NL" << "Ausblenden" << "German";
        QTest::newRow("name") << QVariant(QStringLiteral("German")) << "NL:Show" << "NL" << "Anzeigen" << "German";
        QTest::newRow("look fallback") << QVariant(3) << "NL:Close" << "NL" << "Close" << "German";
        QTest::newRow("tool tip fallback") << QVariant(3) << "NT:Search Field" << "NT" << "Search Field" << "German";
        QTest::newRow("palette") << QVariant(3) << "NL:Show" << "NP" << "Anzeigen" << "German";
        QTest::newRow("table fallback") << QVariant(3) << "B:Open" << "NL" << "Open" << "German";
        QTest::newRow("english") << QVariant(0) << "B:Hide" << "NL" << "Hide" << "English";
        QTest::newRow("english look") << QVariant(0) << "NL:Show" << "NL" << "Show" << "English";
        QTest::newRow("none is active") << QVariant() << "B:Hide" << "NT" << "Masquer" << "French";
        QTest::newRow("out of range") << QVariant(40) << "B:Hide" << "NL" << "Masquer" << "French";
        QTest::newRow("negative") << QVariant(-2) << "B:Hide" << "NL" << "Masquer" << "French";
        QTest::newRow("unknown name") << QVariant(QStringLiteral("Klingon")) << "B:Hide" << "NL" << "Masquer" << "French";
        QTest::newRow("other type") << QVariant(2.0) << "B:Hide" << "NL" << "Masquer" << "French";
        QTest::newRow("language without file") << QVariant(5) << "B:Hide" << "NL" << "Hide" << "Italian";
        QTest::newRow("unknown key") << QVariant(3) << "X:None" << "NL" << "X:None" << "German";
    }

    void languageFromNotification()
    {
        QFETCH(QVariant, object);
        QFETCH(QString, key);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QFETCH(QString, language);
        writeLanguage(QStringLiteral("French"), {{"B:Hide", "Masquer"}, {"NL:Show", "Afficher"}});
        writeLanguage(QStringLiteral("German"), {{"B:Hide", "Ausblenden"}, {"NL:Show", "Anzeigen"}});
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));

        const ZEM_F_Notification n{QStringLiteral("LanguageCall"), object, {}};
        QCOMPARE(engine->languageOfNotification(n), language);
        QCOMPARE(engine->l(key, kind, n), expected);
        QCOMPARE(engine->activeLanguage(), QStringLiteral("French"));
    }

    void extraDefaultTable()
    {
        static ExtraTable *const extra = new ExtraTable;
        QVERIFY(ZEM_F_ClassRegistry::registerShared(QStringLiteral("tst_ExtraTable"),
                                                    [] { return static_cast<QObject *>(extra); }));
        QCOMPARE(engine->defaultTables(), QStringList{QStringLiteral("ZEM_A_L_Language")});
        QCOMPARE(engine->stringForKey(QStringLiteral("X:Extra")), QStringLiteral("X:Extra"));
        engine->addDefaultTable(QStringLiteral("tst_NotRegistered"));
        engine->addDefaultTable(QStringLiteral("tst_ExtraTable"));
        engine->addDefaultTable(QStringLiteral("tst_ExtraTable"));
        QCOMPARE(engine->defaultTables(), (QStringList{"ZEM_A_L_Language", "tst_NotRegistered", "tst_ExtraTable"}));
        QCOMPARE(engine->stringForKey(QStringLiteral("X:Extra")), QStringLiteral("Extra text"));
        QCOMPARE(engine->l(u"X:Extra"_qs, u"NL"_qs, {u"LanguageCall"_qs, 0, {}}), u"Extra text"_qs);
        // Earlier tables win.
        QCOMPARE(engine->stringForKey(QStringLiteral("B:Hide")), QStringLiteral("Hide"));
    }

    void shippedFrenchFile()
    {
        const QString path = QStringLiteral(ZEM_SOURCE_DIR)
                             + QStringLiteral("/examples/organiser/resources/Languages/Organiser_French.plist");
        auto table = ZEM_F_PropertyList::readStringTableFile(path);
        QVERIFY2(table, table ? "" : qPrintable(table.error().message));
        const QStringList required{
            "NL:Today", "NL:Tomorrow", "NL:Yesterday", "NL:Ok", "NL:Show", "NL:Close", "NL:English",
            "L:French", "B:Hide", "B:Open", "A:Email", "M01:Emails", "M02:AddressBook",
            "L02:AddressPicker", "A:Delete", "M02:Deleting", "B:QuitAnyway", "M:QuitAnyways",
            "L:Print", "L:Clear", "NL:Button"};
        for (const QString &key : required) {
            QVERIFY2(table->contains(key), qPrintable(key));
            QVERIFY2(!table->value(key).trimmed().isEmpty(), qPrintable(key));
        }
        ZEM_F_StringTable *defaults = ZEM_A_L_Language::shared()->lk();
        QStringList titleKeys;
        for (const QString &name : ZEM_F_E_Language::languageNames())
            titleKeys.append(ZEM_F_E_Language::languageTitleKey(name));
        for (const QString &key : table->keys()) {
            const bool look = key.startsWith(QStringLiteral("NL:")) || key.startsWith(QStringLiteral("NT:"));
            // Every translated key is one the kit looks up.
            QVERIFY2(look || titleKeys.contains(key) || defaults->contains(key), qPrintable(key));
            const QString original = look ? key.mid(3) : defaults->value(key);
            QCOMPARE(placeholders(table->value(key)), placeholders(original));
        }

        // Through the engine, the shipped file serves as the French language file.
        QVERIFY(writeFile(ZEM_F_E_Language::languagesFolder() + "/Organiser_French.plist", zemtest::readFile(path)));
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        const QString filled = engine->stringForKey(QStringLiteral("M02:AddressBook"))
                                   .replace(QStringLiteral("%@"), engine->stringForKey(QStringLiteral("L02:AddressPicker")));
        QCOMPARE(filled, QStringLiteral("S\u00e9lectionnez un contact pour ouvrir un e-mail\u00a0!"));
        QCOMPARE(engine->stringForKeyLook(QStringLiteral("NL:Today")), QStringLiteral("Aujourd'hui"));
    }

    void qtFollowsTheLanguage()
    {
        // Qt's own texts come from its translations, installed with it.
        QVERIFY2(QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_fr.qm"_qs),
                 "Qt's translations are missing (Debian: qt6-translations-l10n)");
        writeLanguage(QStringLiteral("French"), {});
        writeLanguage(QStringLiteral("Hindi"), {}); // a language Qt has no translation for
        const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
        QSignalSpy changed(engine, &ZEM_F_E_Language::languageChanged);
        LanguageChangeCounter events;
        QCoreApplication::instance()->installEventFilter(&events);

        for (const char *language : {"French", "Hindi", "English", "Hindi"}) {
            events.count = 0;
            QVERIFY(engine->setActiveLanguage(QString::fromLatin1(language)));
            QVERIFY2(events.count > 0, language);
            QCOMPARE(changed.size(), 1);
            QCOMPARE(changed.takeFirst().value(0).toString(), QString::fromLatin1(language));
            QCOMPARE(cancel(), QString::fromUtf8(qstrcmp(language, "French") ? "Cancel" : "Annuler"));
        }
        QCOMPARE(ZEM_F_E_Language::locale(QStringLiteral("Portuguese (Brazil)")).name(), u"pt_BR"_qs);
        QCOMPARE(ZEM_F_E_Language::locale(QStringLiteral("Klingon")), QLocale::c());
    }

private:
    ZEM_F_E_Language *engine = nullptr;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ZEM_F_SettingsHostDelegate> delegate;
};

ZEM_TEST_MAIN(tst_ZEM_F_E_Language)
#include "tst_ZEM_F_E_Language.moc"
