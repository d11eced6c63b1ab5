// The language engine as controls meet it: keys found for their texts, texts shown in the
// active language, made-up tool tips, the resets and the language dictionary. Controls are
// plain objects with the text and key properties a control carries.
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Language.h"

namespace {

std::unique_ptr<QObject> control(const QVariantMap &properties)
{
    auto object = std::make_unique<QObject>();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        object->setProperty(it.key().toLatin1().constData(), it.value());
    return object;
}

QString prop(const QObject &o, const char *name)
{
    return o.property(name).toString();
}

QStringList props(const QObject &o, const char *name)
{
    return o.property(name).toStringList();
}

} // namespace

class tst_ZEM_F_E_LanguageControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        engine = zemFrenchLanguage({
            {"NL:Save", "Enregistrer"},
            {"NT:Saves the file", "Enregistre le fichier"},
            {"B:QuitAnyway", "Quitter quand même"},
            {"NL:Open", "Ouvrir"},
        });
        QVERIFY(engine);
    }

    void init() { QVERIFY(engine->setActiveLanguage(QStringLiteral("English"))); }

    void keysForTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("key");
        QTest::newRow("plain title") << "Save" << "NL" << "NL:Save";
        QTest::newRow("plain tool tip") << "Saves the file" << "NT" << "NT:Saves the file";
        QTest::newRow("written as a key") << "B:QuitAnyway" << "NL" << "B:QuitAnyway";
        QTest::newRow("numbered family") << "M04:EmailAddress" << "NT" << "M04:EmailAddress";
        QTest::newRow("nothing to translate") << "+" << "NL" << "";
        QTest::newRow("digits only") << "12:30" << "NL" << "";
        QTest::newRow("empty") << "" << "NL" << "";
        QTest::newRow("colon then space is text") << "Note: read" << "NL" << "NL:Note: read";
    }

    void keysForTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(QString, key);
        QCOMPARE(ZEM_F_E_Language::keyForText(text, family), key);
    }

    void titleAndToolTipFollowTheLanguage()
    {
        auto save = control({{"title", "Save"}, {"toolTip", "Saves the file"}});
        QVERIFY(engine->checkTitleButton(save.get()));
        QCOMPARE(prop(*save, "titleKey"), u"NL:Save"_qs);
        QVERIFY(engine->checkToolTip(save.get(), prop(*save, "title")));
        QCOMPARE(prop(*save, "toolTipKey"), u"NT:Saves the file"_qs);

        // A key-form title shows its text at once, in the language active at load.
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        auto quit = control({{"title", "B:QuitAnyway"}, {"toolTip", "B:QuitAnyway"}});
        QVERIFY(engine->checkTitle(quit.get()));
        QCOMPARE(prop(*quit, "title"), u"Quitter quand même"_qs);
        // A tool tip that only repeats the title is not a tool tip of its own.
        QVERIFY(!engine->checkToolTip(quit.get(), u"B:QuitAnyway"_qs));
        QVERIFY(prop(*quit, "toolTipKey").isEmpty());

        // The reset shows what the control was loaded with, a key as its English text.
        engine->resetTitleAndToolTip(quit.get(), {});
        QCOMPARE(prop(*quit, "title"), u"Quit Anyway"_qs);
        engine->resetTitleAndToolTip(save.get(), {});
        QCOMPARE(prop(*save, "title"), u"Save"_qs);
        QCOMPARE(prop(*save, "toolTip"), u"Saves the file"_qs);

        auto field = control({{"stringValue", "Open"}});
        QVERIFY(engine->checkTitleTextField(field.get()));
        QCOMPARE(prop(*field, "stringValue"), u"Ouvrir"_qs);
        engine->resetTextFieldAndToolTip(field.get());
        QCOMPARE(prop(*field, "stringValue"), u"Open"_qs);

        auto untitled = control({{"title", ""}});
        QVERIFY(!engine->checkTitle(untitled.get()));
        engine->resetTitleAndToolTip(untitled.get(), {}); // nothing kept: nothing changes
        QCOMPARE(prop(*untitled, "title"), QString());
        QVERIFY(!engine->checkTitle(nullptr));
    }

    void madeUpToolTipAndReset()
    {
        auto button = control({{"title", "Save"}});
        QVERIFY(engine->checkTitleButton(button.get()));
        QVERIFY(!engine->checkToolTip(button.get(), prop(*button, "title")));
        QVERIFY(engine->checkMadeUpToolTip(button.get(), u"Button"_qs));
        QCOMPARE(prop(*button, "toolTip"), u"Save Button"_qs);
        // Made up once: the control now has a tool tip and gets no second one.
        QVERIFY(!engine->checkMadeUpToolTip(button.get(), u"Button"_qs));

        button->setProperty("title", u"Enregistrer"_qs);
        button->setProperty("toolTip", u"Enregistrer Bouton"_qs);
        engine->resetTitleAndToolTip(button.get(), u"Button"_qs);
        QCOMPARE(prop(*button, "title"), u"Save"_qs);
        QCOMPARE(prop(*button, "toolTip"), u"Save Button"_qs);

        // Without a localized title there is nothing to make a tool tip from.
        auto bare = control({{"title", "-"}});
        QVERIFY(!engine->checkTitle(bare.get()));
        QVERIFY(!engine->checkMadeUpToolTip(bare.get(), u"Button"_qs));
        QVERIFY(prop(*bare, "toolTip").isEmpty());
    }

    void cellsAndSegments()
    {
        // A matrix counts only its titled cells: the second cell takes the first key.
        auto matrix = control({{"titles", QStringList{"", "Save", "Open"}}, {"toolTips", QStringList{"", "", "Opens"}}});
        QVERIFY(engine->checkTitlesButton(matrix.get()));
        QCOMPARE(props(*matrix, "titleKeys"), (QStringList{u"NL:Save"_qs, u"NL:Open"_qs}));
        QVERIFY(engine->checkToolTips(matrix.get()));
        QCOMPARE(props(*matrix, "toolTipKeys"), (QStringList{QString(), u"NT:Opens"_qs}));
        QVERIFY(engine->checkMadeUpToolTips(matrix.get(), u"Button"_qs));
        QCOMPARE(props(*matrix, "toolTips"), (QStringList{QString(), u"Save Button"_qs, u"Opens"_qs}));

        // Segments keep one key per segment, empty where the label is.
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        auto segments = control({{"titles", QStringList{"Save", "", "Open"}}});
        QVERIFY(engine->checkTitlesSegment(segments.get()));
        QCOMPARE(props(*segments, "titleKeys"), (QStringList{u"NL:Save"_qs, QString(), u"NL:Open"_qs}));
        QCOMPARE(props(*segments, "titles"), (QStringList{u"Enregistrer"_qs, QString(), u"Ouvrir"_qs}));
        engine->resetTitlesAndToolTipsSegment(segments.get(), {});
        QCOMPARE(props(*segments, "titles"), (QStringList{u"Save"_qs, QString(), u"Open"_qs}));

        auto none = control({{"titles", QStringList{"", "1"}}});
        QVERIFY(!engine->checkTitlesButton(none.get()));
        QVERIFY(props(*none, "titleKeys").isEmpty());
        auto cell = control({{"title", "Save"}});
        QVERIFY(engine->checkForTitle(cell.get()));
        QVERIFY(!engine->checkForTitle(none.get()));
    }

    void dictionaryHoldsEnglish()
    {
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        auto quit = control({{"title", "B:QuitAnyway"}, {"toolTip", "Saves the file"}});
        QVERIFY(engine->checkTitle(quit.get()));
        QVERIFY(engine->checkToolTip(quit.get(), prop(*quit, "title")));
        engine->addToLangDictionary(quit.get());
        auto segments = control({{"titles", QStringList{"Open"}}});
        QVERIFY(engine->checkTitlesSegment(segments.get()));
        engine->addMultiToLangDictionary(segments.get());
        const QMap<QString, QString> dictionary = engine->languageDictionary();
        QCOMPARE(dictionary.value(u"B:QuitAnyway"_qs), u"Quit Anyway"_qs);
        QCOMPARE(dictionary.value(u"NT:Saves the file"_qs), u"Saves the file"_qs);
        QCOMPARE(dictionary.value(u"NL:Open"_qs), u"Open"_qs);

        // A control that goes takes its remembered texts with it.
        quit.reset();
        auto again = control({{"title", "Save"}});
        engine->resetTitleAndToolTip(again.get(), {});
        QCOMPARE(prop(*again, "title"), u"Save"_qs);
    }

private:
    ZEM_F_E_Language *engine = nullptr;
};

ZEM_TEST_MAIN(tst_ZEM_F_E_LanguageControls)
#include "tst_ZEM_F_E_LanguageControls.moc"
