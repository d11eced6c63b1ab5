#include "ZemTestEnv.h"

#include "platform/Alerts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

using platform::AlertRequest;
using platform::Alerts;
using platform::PanelResult;
using Style = platform::AlertRequest::Style;

Q_DECLARE_METATYPE(Style)

namespace {

AlertRequest request(QWidget *window, Style style, QStringList buttons = {QStringLiteral("OK")})
{
    AlertRequest r;
    r.title = QStringLiteral("Title");
    r.text = QStringLiteral("Text");
    r.buttons = std::move(buttons);
    r.window = window;
    r.style = style;
    return r;
}

QAbstractButton *buttonTitled(QMessageBox *box, const QString &title)
{
    for (QAbstractButton *b : box->buttons()) {
        if (b->text() == title)
            return b;
    }
    return nullptr;
}

} // namespace

class tst_Alerts : public QObject
{
    Q_OBJECT
private slots:
    void resolvedStyle_data()
    {
        QTest::addColumn<int>("window"); // 0 none, 1 hidden, 2 visible
        QTest::addColumn<Style>("asked");
        QTest::addColumn<Style>("shown");
        QTest::newRow("sheet on visible window") << 2 << Style::Sheet << Style::Sheet;
        QTest::newRow("sheet on hidden window") << 1 << Style::Sheet << Style::Panel;
        QTest::newRow("sheet without window") << 0 << Style::Sheet << Style::Panel;
        QTest::newRow("panel on visible window") << 2 << Style::Panel << Style::Panel;
    }

    void resolvedStyle()
    {
        QFETCH(int, window);
        QFETCH(Style, asked);
        QFETCH(Style, shown);
        QWidget w;
        if (window == 2)
            QVERIFY(zemtest::showExposed(w));
        const AlertRequest r = request(window ? &w : nullptr, asked);
        QCOMPARE(Alerts::resolvedStyle(r), shown);

        // The responder sees the style actually used.
        platform::RecordingAlertResponder responder;
        Alerts::runAlert(r);
        QCOMPARE(responder.alerts().size(), 1);
        QCOMPARE(responder.alerts().first().style, shown);
    }

    void responderAnswersInOrder()
    {
        platform::RecordingAlertResponder responder;
        responder.queueAlertAnswer(2);
        responder.queueAlertAnswer(-1);
        QList<int> delivered;
        const auto done = [&](int b) { delivered << b; };
        const QStringList three = {QStringLiteral("Save"), QStringLiteral("Cancel"),
                                   QStringLiteral("Discard")};
        QCOMPARE(Alerts::runAlert(request(nullptr, Style::Panel, three), done), 2);
        QCOMPARE(Alerts::runAlert(request(nullptr, Style::Panel, three), done), -1);
        // Queue used up: the first button.
        QCOMPARE(Alerts::runAlert(request(nullptr, Style::Panel, three), done), 0);
        QCOMPARE(delivered, (QList<int>{2, -1, 0}));
        QCOMPARE(responder.alerts().size(), 3);
        QCOMPARE(responder.alerts().at(0).buttons, three);
        QCOMPARE(responder.alerts().at(0).title, QStringLiteral("Title"));
    }

    void responderUninstallsItself()
    {
        {
            platform::RecordingAlertResponder outer;
            QCOMPARE(Alerts::responder(), &outer);
            {
                platform::RecordingAlertResponder passive(false);
                QCOMPARE(Alerts::responder(), &outer);
            }
            QCOMPARE(Alerts::responder(), &outer);
        }
        QCOMPARE(Alerts::responder(), nullptr);
    }

    void sheetIsWindowModalAndAnswersLater()
    {
        QWidget window;
        window.resize(400, 300);
        QVERIFY(zemtest::showExposed(window));

        int answer = -2;
        const int immediate = Alerts::runAlert(
            request(&window, Style::Sheet, {QStringLiteral("Keep"), QStringLiteral("Drop")}),
            [&](int b) { answer = b; });
        QCOMPARE(immediate, -1);
        QCOMPARE(answer, -2);

        const auto boxes = window.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QPointer<QMessageBox> box = boxes.first();
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->informativeText().contains(QStringLiteral("Text")));
        QAbstractButton *drop = buttonTitled(box, QStringLiteral("Drop"));
        QVERIFY(drop);
        drop->click();
        QTRY_COMPARE(answer, 1);
        QTRY_VERIFY(box.isNull());
    }

    void panelRunsToItsEnd()
    {
        QWidget hidden;
        int answer = -2;
        // Answer the modal box from inside its own loop, as a user would.
        QTimer::singleShot(0, this, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (QAbstractButton *b = buttonTitled(box, QStringLiteral("Second")))
                b->click();
        });
        const int r = Alerts::runAlert(request(&hidden, Style::Sheet,
                                               {QStringLiteral("First"), QStringLiteral("Second")}),
                                       [&](int b) { answer = b; });
        QCOMPARE(r, 1);
        QCOMPARE(answer, 1);
        QVERIFY(hidden.findChildren<QMessageBox *>().isEmpty());
    }

    void panels()
    {
        platform::RecordingAlertResponder responder;
        platform::OpenPanelRequest open;
        open.prompt = QStringLiteral("Choose");
        open.directory = QStringLiteral("/tmp");
        open.allowsMultiple = true;
        open.nameFilters = {QStringLiteral("Cards (*.vcf)")};
        responder.queueOpenAnswer(PanelResult::chosen({QStringLiteral("/tmp/a.vcf"),
                                                       QStringLiteral("/tmp/b.vcf")}));
        PanelResult r = Alerts::runOpenPanel(open);
        QVERIFY(r.accepted);
        QCOMPARE(r.paths.size(), 2);
        r = Alerts::runOpenPanel(open);
        QVERIFY(!r.accepted);
        QVERIFY(r.paths.isEmpty());
        QCOMPARE(responder.openPanels().size(), 2);
        QVERIFY(responder.openPanels().first().allowsMultiple);
        QCOMPARE(responder.openPanels().first().nameFilters, open.nameFilters);

        platform::SavePanelRequest save;
        save.fileName = QStringLiteral("missing.sql");
        save.directory = QStringLiteral("/nonexistent");
        QVERIFY(!Alerts::runSavePanel(save).accepted);
        responder.queueSaveAnswer(PanelResult::chosen({QStringLiteral("/tmp/out.sql")}));
        r = Alerts::runSavePanel(save);
        QVERIFY(r.accepted);
        QCOMPARE(r.paths, QStringList{QStringLiteral("/tmp/out.sql")});
        QCOMPARE(responder.savePanels().size(), 2);
        QCOMPARE(responder.savePanels().first().fileName, save.fileName);
        // An empty choice is not an acceptance.
        QVERIFY(!PanelResult::chosen({}).accepted);
    }
};

ZEM_TEST_MAIN(tst_Alerts)
#include "tst_Alerts.moc"
