// Localized text fields and the label field: values and tool tips that follow the
// language, the return to the loaded texts, and the label's colon.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSTextField.h"
#include "controls/ZEM_A_C_TextFieldNoResponder.h"
#include "foundation/ZEM_F_E_Language.h"

class tst_ZEM_A_C_NSTextField : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Name", "Nom"},
            {"NL:Email", "Courriel"},
            {"NT:The contact's name", "Le nom du contact"},
        }));
    }

    void init() { QVERIFY(french::use("English")); }

    void valueAndToolTipFollowTheLanguage_data()
    {
        QTest::addColumn<bool>("label");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("titleKey");
        QTest::addColumn<QString>("texts"); // "text|tool tip" in English, French, English again
        const char *tip = "The contact's name";
        QTest::newRow("field") << false << "Name" << tip << "NL:Name"
            << "Name|The contact's name / Nom|Le nom du contact / Name|The contact's name";
        QTest::newRow("field without tip") << false << "Name" << "" << "NL:Name" << "Name| / Nom| / Name|";
        QTest::newRow("field with a number") << false << "42" << tip << ""
            << "42|The contact's name / 42|Le nom du contact / 42|The contact's name";
        // The label is localized without its colon and shows it in every language.
        QTest::newRow("label with colon") << true << "Name:" << "" << "NL:Name" << "Name:| / Nom:| / Name:|";
        QTest::newRow("label without colon") << true << "Name" << tip << "NL:Name"
            << "Name|The contact's name / Nom|Le nom du contact / Name|The contact's name";
    }

    void valueAndToolTipFollowTheLanguage()
    {
        QFETCH(bool, label);
        QFETCH(QString, shown);
        QFETCH(QString, toolTip);
        QFETCH(QString, titleKey);
        QFETCH(QString, texts);

        std::unique_ptr<ZEM_A_C_NSTextField> field;
        if (label)
            field = std::make_unique<ZEM_A_C_TextFieldNoResponder>(shown);
        else
            field = std::make_unique<ZEM_A_C_NSTextField>(shown);
        field->setToolTip(toolTip);
        field->awakeFromNib();
        QCOMPARE(field->titleKey(), titleKey);
        QCOMPARE(field->hasTitle(), !titleKey.isEmpty());
        QCOMPARE(field->hasToolTip(), !toolTip.isEmpty());
        // Text fields make up no tool tip.
        QCOMPARE(french::roundTrip([&field] { return QStringList{field->text(), field->toolTip()}; }), texts);
    }

    void setNewStringValue()
    {
        ZEM_A_C_NSTextField field(QStringLiteral("12.5"));
        field.awakeFromNib();
        QVERIFY(!field.hasTitle());
        field.setNewStringValue(QStringLiteral("Email"));
        QVERIFY(field.hasTitle());
        QCOMPARE(field.titleKey(), u"NL:Email"_qs);
        QVERIFY(french::use("French"));
        QCOMPARE(field.stringValue(), u"Courriel"_qs);

        // A value written while French is active is localized at once.
        ZEM_A_C_TextFieldNoResponder label(QStringLiteral("Email:"));
        label.awakeFromNib();
        QCOMPARE(label.text(), u"Courriel:"_qs);
        label.setNewStringValue(QStringLiteral("Name"));
        QCOMPARE(label.titleKey(), u"NL:Name"_qs);
        QCOMPARE(label.text(), u"Nom:"_qs);
        QCOMPARE(label.stringValue(), u"Nom"_qs);
    }

    void labelColon_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("colon kept") << "Name:" << "Email" << "Email:" << "Email";
        QTest::newRow("no colon, none added") << "Name" << "Email" << "Email" << "Email";
        QTest::newRow("value brings its own colon") << "Name:" << "Email:" << "Email:" << "Email";
        QTest::newRow("empty value keeps the colon") << "Name:" << "" << ":" << "";
        QTest::newRow("only the final colon is dropped") << "Time:" << "10:30" << "10:30:"
            << "10:30";
    }

    void labelColon()
    {
        QFETCH(QString, shown);
        QFETCH(QString, value);
        QFETCH(QString, shownAfter);
        QFETCH(QString, readBack);

        ZEM_A_C_TextFieldNoResponder label(shown);
        label.setStringValue(value);
        QCOMPARE(label.text(), shownAfter);
        QCOMPARE(label.stringValue(), readBack);
        // The engine goes through the property, which must follow the same rule.
        QCOMPARE(label.property("stringValue").toString(), readBack);
    }

    void labelNeverTakesTheFocus()
    {
        QWidget window;
        auto *field = new ZEM_A_C_NSTextField(&window);
        auto *label = new ZEM_A_C_TextFieldNoResponder(QStringLiteral("Name:"), &window);
        label->move(0, 40);
        QVERIFY(zemtest::showExposed(window));
        field->setFocus();
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QVERIFY(label->isReadOnly());
        QVERIFY(!label->hasFrame());

        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!label->hasFocus());
        QTest::keyClicks(label, QStringLiteral("typed"));
        QCOMPARE(label->text(), u"Name:"_qs);
    }

};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSTextField)
#include "tst_ZEM_A_C_NSTextField.moc"
