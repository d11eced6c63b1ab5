#include "ZemTestEnv.h"

#include "platform/Alerts.h"
#include "services/ZEM_A_C_Sheets.h"

using Style = platform::AlertRequest::Style;
Q_DECLARE_METATYPE(Style)

// The sheet itself, window-modal and answered later, and the fall-back to a panel for a
// hidden window are the alert layer's: tst_Alerts.
class tst_ZEM_A_C_Sheets : public QObject
{
    Q_OBJECT
private slots:
    void sheetOrPanel_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<Style>("style");
        QTest::newRow("no window") << false << Style::Panel;
        QTest::newRow("visible window") << true << Style::Sheet;
    }

    void sheetOrPanel()
    {
        QFETCH(bool, window);
        QFETCH(Style, style);
        QWidget w;
        if (window)
            QVERIFY(zemtest::showExposed(w));
        QObject delegate;
        platform::RecordingAlertResponder responder;
        ZEM_A_C_Sheets::oKAlertSheet(QStringLiteral("Email Alert:"),
                                     QStringLiteral("No emails could not be found!"),
                                     QStringLiteral("Ok"), window ? &w : nullptr, &delegate);
        QCOMPARE(responder.alerts().size(), 1);
        const platform::AlertRequest &r = responder.alerts().first();
        QCOMPARE(r.style, style);
        QCOMPARE(r.title, QStringLiteral("Email Alert:"));
        QCOMPARE(r.text, QStringLiteral("No emails could not be found!"));
        QCOMPARE(r.buttons, QStringList{QStringLiteral("Ok")});
        QCOMPARE(r.delegate.data(), &delegate);
        QCOMPARE(r.window.data(), window ? &w : nullptr);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_Sheets)
#include "tst_ZEM_A_C_Sheets.moc"
