// Localized buttons, boxes and cells: titles and tool tips that follow the language, the
// made-up tool tips, the return to the loaded texts, image-only buttons and the setters.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSBox.h"
#include "controls/ZEM_A_C_NSButton.h"
#include "controls/ZEM_A_C_NSButtonCell.h"
#include "controls/ZEM_A_C_NSPopUpButton.h"
#include "controls/ZEM_A_C_NSPopUpButtonCell.h"
#include "controls/ZEM_A_C_NSToolbarButton.h"
#include "foundation/ZEM_F_E_Language.h"
#include "platform/ImagePosition.h"

namespace {

std::unique_ptr<QObject> makeControl(const QString &kind, const QString &title,
                                     const QString &toolTip)
{
    std::unique_ptr<QObject> control;
    if (kind == u"button")
        control = std::make_unique<ZEM_A_C_NSButton>();
    else if (kind == u"box")
        control = std::make_unique<ZEM_A_C_NSBox>();
    else if (kind == u"toolbar")
        control = std::make_unique<ZEM_A_C_NSToolbarButton>();
    else if (kind == u"popup")
        control = std::make_unique<ZEM_A_C_NSPopUpButton>();
    else if (kind == u"cell")
        control = std::make_unique<ZEM_A_C_NSButtonCell>();
    else if (kind == u"popup cell")
        control = std::make_unique<ZEM_A_C_NSPopUpButtonCell>();
    control->setProperty("title", title);
    if (!toolTip.isEmpty())
        control->setProperty("toolTip", toolTip);
    return control;
}

QString prop(const QObject &o, const char *name)
{
    return o.property(name).toString();
}

ZEM_F_Notification languageNumber(int number)
{
    return ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(number), {}};
}

// One control's texts: as loaded, their keys, and "title|tool tip" in English, in French and
// back in English (french::roundTrip).
struct Texts
{
    QString kind, title, toolTip, titleKey, toolTipKey;
    bool madeUp;
    QString shown;
};

} // namespace

Q_DECLARE_METATYPE(Texts)

class tst_ZEM_A_C_NSButton : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Save", "Enregistrer"},
            {"NL:Options", "Réglages"},
            {"NT:Saves the record", "Enregistre la fiche"},
            {"NL:Button", "Bouton"},
            {"B:Box", "Cadre"},
            {"B:ToolBarItem", "Outil"},
            {"B:PullDownButton", "Menu"},
        }));
    }

    void init() { QVERIFY(french::use("English")); }

    void textsFollowTheLanguage_data()
    {
        QTest::addColumn<Texts>("t");
        QTest::newRow("button, made-up tip") << Texts{"button", "Save", "", "NL:Save", "", true,
            "Save|Save Button / Enregistrer|Enregistrer Bouton / Save|Save Button"};
        QTest::newRow("button, own tip") << Texts{"button", "Save", "Saves the record", "NL:Save",
            "NT:Saves the record", false,
            "Save|Saves the record / Enregistrer|Enregistre la fiche / Save|Saves the record"};
        QTest::newRow("button, tip equal to title") << Texts{"button", "Save", "Save", "NL:Save",
            "", false, "Save|Save / Enregistrer|Save / Save|Save"};
        QTest::newRow("button without title") << Texts{"button", "+", "Saves the record", "",
            "NT:Saves the record", false, "+|Saves the record / +|Enregistre la fiche / +|Saves the record"};
        QTest::newRow("box") << Texts{"box", "Options", "", "NL:Options", "", true,
            "Options|Options Box / Réglages|Réglages Cadre / Options|Options Box"};
        QTest::newRow("tool bar button") << Texts{"toolbar", "Save", "", "NL:Save", "", true,
            "Save|Save Tool Bar Item / Enregistrer|Enregistrer Outil / Save|Save Tool Bar Item"};
        // The pop-up's reset gives no noun, so its made-up tip is not made up again.
        QTest::newRow("pop-up button") << Texts{"popup", "Options", "", "NL:Options", "", true,
            "Options|Options Pull Down Button / Réglages|Réglages Menu / Options|"};
        QTest::newRow("pop-up button, own tip") << Texts{"popup", "Options", "Saves the record",
            "NL:Options", "NT:Saves the record", false,
            "Options|Saves the record / Réglages|Enregistre la fiche / Options|Saves the record"};
        QTest::newRow("button cell") << Texts{"cell", "Save", "", "NL:Save", "", false,
            "Save| / Enregistrer| / Save|"};
        QTest::newRow("pop-up cell") << Texts{"popup cell", "Options", "", "NL:Options", "", false,
            "Options| / Réglages| / Options|"};
    }

    void textsFollowTheLanguage()
    {
        QFETCH(Texts, t);
        const auto control = makeControl(t.kind, t.title, t.toolTip);
        QVERIFY(QMetaObject::invokeMethod(control.get(), "awakeFromNib"));
        QCOMPARE(prop(*control, "titleKey"), t.titleKey);
        QCOMPARE(control->property("hasTitle").toBool(), !t.titleKey.isEmpty());
        QCOMPARE(prop(*control, "toolTipKey"), t.toolTipKey);
        QCOMPARE(control->property("hasToolTip").toBool(), !t.toolTipKey.isEmpty());
        QCOMPARE(control->property("hasMadeUpToolTip").toBool(), t.madeUp);
        // Back to English is the number 0, which restores the loaded texts.
        const auto texts = [&control] { return QStringList{prop(*control, "title"), prop(*control, "toolTip")}; };
        QCOMPARE(french::roundTrip(texts), t.shown);
        // The keys serve again after that return.
        QVERIFY(french::use("French"));
        QCOMPARE(prop(*control, "title"), t.shown.section(u" / "_qs, 1, 1).section(u'|', 0, 0));
    }

    void resetRestoresLoadedTextsInAnyLanguage()
    {
        ZEM_A_C_NSButton button(QStringLiteral("Save"));
        button.awakeFromNib();
        QVERIFY(french::use("French"));
        QCOMPARE(button.title(), u"Enregistrer"_qs);

        // The number 0 restores what the button was loaded with even while French is active.
        button.languageCall(languageNumber(0));
        QCOMPARE(button.title(), u"Save"_qs);
        QCOMPARE(button.toolTip(), u"Save Button"_qs);

        // A call without a notification fetches the texts in the active language.
        button.languageCall(ZEM_F_Notification{});
        QCOMPARE(button.title(), u"Enregistrer"_qs);
        QCOMPARE(button.toolTip(), u"Enregistrer Bouton"_qs);

        // Checked again while French shows: the French texts are not taken for keys.
        button.awakeFromNib();
        button.setNewTitle(button.title());
        QCOMPARE(button.titleKey(), u"NL:Save"_qs);
        QVERIFY(button.hasMadeUpToolTip());
        ZEM_A_C_NSButton own(QStringLiteral("Save"));
        own.setToolTip(QStringLiteral("Saves the record"));
        own.awakeFromNib();
        QCOMPARE(own.toolTip(), u"Enregistre la fiche"_qs);
        own.setNewToolTip(QString());
        QCOMPARE(own.toolTipKey(), u"NT:Saves the record"_qs);
        QVERIFY(french::use("English"));
        QCOMPARE(button.title(), u"Save"_qs);
        QCOMPARE(own.toolTip(), u"Saves the record"_qs);
    }

    void imageOnlyButtonKeepsNoTitle()
    {
        const int imageOnly = static_cast<int>(platform::ImagePosition::ImageOnly);

        // Image only before the load: no key is taken, and no tip is made up from the title.
        ZEM_A_C_NSButton before(QStringLiteral("Save"));
        before.setImagePosition(imageOnly);
        before.awakeFromNib();
        QVERIFY(!before.hasTitle());
        QCOMPARE(before.titleKey(), QString());
        QVERIFY(!before.hasMadeUpToolTip());

        // Image only after the load, set the way the icon engine sets it.
        ZEM_A_C_NSButton after(QStringLiteral("Save"));
        after.awakeFromNib();
        QVERIFY(after.hasTitle());
        platform::setImagePosition(&after, platform::ImagePosition::ImageOnly);
        QCOMPARE(after.imagePosition(), imageOnly);
        QCOMPARE(platform::imagePosition(&after), platform::ImagePosition::ImageOnly);
        QVERIFY(!after.hasTitle());
        QCOMPARE(after.titleKey(), QString());

        QVERIFY(french::use("French"));
        QCOMPARE(before.title(), u"Save"_qs);
        QCOMPARE(after.title(), u"Save"_qs);
        QCOMPARE(after.toolTip(), u"Save Button"_qs); // the tip made up at load is left as it was

        // It draws its image alone: the same picture as a button with no title at all.
        QPixmap icon(16, 16);
        icon.fill(Qt::red);
        ZEM_A_C_NSButton untitled;
        for (ZEM_A_C_NSButton *button : {&after, &untitled}) {
            button->setIcon(icon);
            button->resize(80, 30);
        }
        untitled.setImagePosition(imageOnly);
        QCOMPARE(after.grab().toImage(), untitled.grab().toImage());
        QCOMPARE(after.sizeHint(), untitled.sizeHint());
        after.setImagePosition(static_cast<int>(platform::ImagePosition::ImageLeft));
        QVERIFY(after.grab().toImage() != untitled.grab().toImage());
        QVERIFY(after.sizeHint().width() > untitled.sizeHint().width());

        // Other positions keep the title; numbers that are no position are ignored.
        ZEM_A_C_NSButton left(QStringLiteral("Save"));
        left.setImagePosition(static_cast<int>(platform::ImagePosition::ImageLeft));
        left.setImagePosition(42);
        QCOMPARE(left.imagePosition(), static_cast<int>(platform::ImagePosition::ImageLeft));
        left.awakeFromNib();
        QCOMPARE(left.title(), u"Enregistrer"_qs);
    }

    void setNewToolTip_data()
    {
        QTest::addColumn<QString>("newTip");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("toolTipKey");
        QTest::newRow("a new tip") << "Saves the record" << "Saves the record"
            << "NT:Saves the record";
        // The tip set behind the engine's back is found by the check that runs again.
        QTest::newRow("empty: not set, checked again") << "" << "Keeps" << "NT:Keeps";
        QTest::newRow("equal to the title: not set, checked again") << "Save" << "Keeps"
            << "NT:Keeps";
    }

    void setNewToolTip()
    {
        QFETCH(QString, newTip);
        QFETCH(QString, shown);
        QFETCH(QString, toolTipKey);

        ZEM_A_C_NSButton button(QStringLiteral("Save"));
        ZEM_A_C_NSPopUpButton popUp;
        popUp.setTitle(QStringLiteral("Save"));
        for (QWidget *control : {static_cast<QWidget *>(&button), static_cast<QWidget *>(&popUp)}) {
            QMetaObject::invokeMethod(control, "awakeFromNib");
            control->setToolTip(QStringLiteral("Keeps"));
        }
        button.setNewToolTip(newTip);
        popUp.setNewToolTip(newTip);
        for (QWidget *control : {static_cast<QWidget *>(&button), static_cast<QWidget *>(&popUp)}) {
            QCOMPARE(control->toolTip(), shown);
            QCOMPARE(prop(*control, "toolTipKey"), toolTipKey);
            QVERIFY(control->property("hasToolTip").toBool());
        }
        QVERIFY(french::use("French"));
        const QString french = newTip == u"Saves the record" ? u"Enregistre la fiche"_qs : shown;
        QCOMPARE(button.toolTip(), french);
        QCOMPARE(popUp.toolTip(), french);
    }

    void setNewTitle()
    {
        ZEM_A_C_NSButton button(QStringLiteral("+"));
        button.awakeFromNib();
        QVERIFY(!button.hasTitle());
        button.setNewTitle(QStringLiteral("Options"));
        QVERIFY(button.hasTitle());
        QCOMPARE(button.titleKey(), u"NL:Options"_qs);

        ZEM_A_C_NSPopUpButton popUp;
        popUp.addItems({QStringLiteral("Save"), QStringLiteral("Other")});
        popUp.awakeFromNib();
        QCOMPARE(popUp.titleKey(), u"NL:Save"_qs);
        popUp.setNewTitle(QStringLiteral("Options"));
        QCOMPARE(popUp.titleKey(), u"NL:Options"_qs);

        QVERIFY(french::use("French"));
        QCOMPARE(button.title(), u"Réglages"_qs);
        QCOMPARE(popUp.title(), u"Réglages"_qs);
        QCOMPARE(popUp.itemText(1), u"Other"_qs);

        // A title that is no text to localize drops the key and is left alone.
        button.setNewTitle(QStringLiteral("42"));
        QVERIFY(!button.hasTitle());
        button.languageCall(
            ZEM_F_Notification{QStringLiteral("LanguageCall"), QStringLiteral("French"), {}});
        QCOMPARE(button.title(), u"42"_qs);
    }

    void dictionaryEntryArrivesLater()
    {
        ZEM_A_C_NSButton button(QStringLiteral("Archive Button"));
        button.setToolTip(QStringLiteral("Archives the record"));
        button.awakeFromNib();
        QVERIFY(!french::dictionary().contains(u"NL:Archive Button"_qs));
        QVERIFY(french::entered("NL:Archive Button"));
        QCOMPARE(french::dictionary().value(u"NT:Archives the record"_qs), u"Archives the record"_qs);
    }

};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSButton)
#include "tst_ZEM_A_C_NSButton.moc"
