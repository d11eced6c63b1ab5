#include "ZemTestEnv.h"

#include "platform/Alerts.h"
#include "services/ZEM_A_C_Sheets.h"

#include <QAbstractButton>
#include <QMessageBox>

using Style = platform::AlertRequest::Style;
Q_DECLARE_METATYPE(Style)

class tst_ZEM_A_C_Sheets : public QObject
{
    Q_OBJECT
private slots:
    void sheetOrPanel_data()
    {
        QTest::addColumn<int>("window"); // 0 none, 1 hidden, 2 visible
        QTest::addColumn<Style>("style");
        QTest::newRow("no window") << 0 << Style::Panel;
        QTest::newRow("hidden window") << 1 << Style::Panel;
        QTest::newRow("visible window") << 2 << Style::Sheet;
    }

    void sheetOrPanel()
    {
        QFETCH(int, window);
        QFETCH(Style, style);
        QWidget w;
        if (window == 2) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
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

    void sheetOnScreen()
    {
        QWidget w;
        w.resize(300, 200);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ZEM_A_C_Sheets::oKAlertSheet(QStringLiteral("Menu Alert:"), QStringLiteral("Not active yet!"),
                                     QStringLiteral("Ok"), &w, nullptr);
        // A sheet does not block: the call has returned with the box open on the window.
        const auto boxes = w.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QPointer<QMessageBox> box = boxes.first();
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), QStringLiteral("Ok"));
        QTRY_VERIFY(box->isVisible());
        box->buttons().first()->click();
        QTRY_VERIFY(box.isNull());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_Sheets)
#include "tst_ZEM_A_C_Sheets.moc"
