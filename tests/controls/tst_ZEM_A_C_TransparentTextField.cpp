// The large-type field: a label-like field that never takes the focus and shows another
// field's value in the large-type window when clicked with Ctrl held.
#include "ZemTestEnv.h"

#include "controls/ZEM_A_C_TransparentTextField.h"
#include "services/ZEM_A_E_TransparentTextView.h"
#include "services/ZEM_A_I_TransparentView.h"
#include "services/ZEM_A_I_TransparentWindow.h"

#include <QLineEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
bool largeTypeShown()
{
    const auto *window = ZEM_A_E_TransparentTextView::shared()->window();
    return window && window->isVisible();
}
} // namespace

class tst_ZEM_A_C_TransparentTextField : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (auto *window = ZEM_A_E_TransparentTextView::shared()->window())
            window->hide();
    }

    void ctrlClickShowsTheValue_data()
    {
        QTest::addColumn<int>("source"); // 0 line edit, 1 object with both properties, 2 none
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("opens");
        QTest::newRow("line edit with a number") << 0 << u"+44 20 7946 0958"_s << true;
        QTest::newRow("line edit, empty") << 0 << QString() << false;
        QTest::newRow("stringValue before text") << 1 << u"from stringValue"_s << true;
        QTest::newRow("stringValue empty") << 1 << QString() << false;
        QTest::newRow("no field") << 2 << QString() << false;
    }

    void ctrlClickShowsTheValue()
    {
        QFETCH(int, source);
        QFETCH(QString, value);
        QFETCH(bool, opens);

        QWidget host;
        auto *field = new ZEM_A_C_TransparentTextField(&host);
        QLineEdit lineEdit;
        QObject bound;
        if (source == 0) {
            lineEdit.setText(value);
            field->setTextF(&lineEdit);
        } else if (source == 1) {
            bound.setProperty("stringValue", value);
            bound.setProperty("text", u"from text"_s);
            field->setTextF(&bound);
        }
        field->setText(u"own text"_s);
        QVERIFY(zemtest::showExposed(host));

        QTest::mouseClick(field, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QCOMPARE(largeTypeShown(), opens);
        if (opens)
            QCOMPARE(ZEM_A_E_TransparentTextView::shared()->textView()->string(), value);
        QCOMPARE(field->text(), u"own text"_s);

        // A plain click shows nothing.
        cleanup();
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!largeTypeShown());
    }

    void neverTakesTheFocus()
    {
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *before = new QLineEdit(&host);
        auto *field = new ZEM_A_C_TransparentTextField(&host);
        auto *after = new QLineEdit(&host);
        for (QWidget *w : {static_cast<QWidget *>(before), static_cast<QWidget *>(field), static_cast<QWidget *>(after)})
            layout->addWidget(w);
        field->setText(u"555"_s);
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        before->setFocus();

        QVERIFY(field->inherits("ZEM_A_C_TextFieldNoResponder"));
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(before->hasFocus());
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(after->hasFocus()); // the tab key passes it by
        QVERIFY(field->isReadOnly());
    }

    void colour()
    {
        ZEM_A_C_TransparentTextField field;
        QPalette palette = field.palette();
        palette.setColor(QPalette::Highlight, QColor(u"#3366cc"_s));
        field.setPalette(palette);
        QVERIFY(field.palette().color(QPalette::Text) != QColor(u"#3366cc"_s));
        field.awakeFromNib();
        QCOMPARE(field.palette().color(QPalette::Text), QColor(u"#3366cc"_s));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_TransparentTextField)
#include "tst_ZEM_A_C_TransparentTextField.moc"
