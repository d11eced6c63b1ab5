#include "ZemTestEnv.h"

#include "services/ZEM_A_E_Events.h"

#include <QMouseEvent>
#include <QWidget>

namespace {
// A controller that records what it is sent and answers an object or none.
class MoveController : public QObject
{
    Q_OBJECT
public:
    bool answerObject = true;
    QList<QVariant> unconstrained;
    QList<QVariant> moves;

    Q_INVOKABLE QObject *unconstrainedMove(const QVariant &event)
    {
        unconstrained.append(event);
        return answerObject ? this : nullptr;
    }
    Q_INVOKABLE QObject *move(const QVariant &event)
    {
        moves.append(event);
        return answerObject ? this : nullptr;
    }
};

// A view that counts the mouse events it still receives.
class CountingView : public QWidget
{
public:
    int releases = 0;
    int moves = 0;

protected:
    void mouseReleaseEvent(QMouseEvent *) override { ++releases; }
    void mouseMoveEvent(QMouseEvent *) override { ++moves; }
};

void postMouse(QWidget *to, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF at(5, 5);
    QCoreApplication::postEvent(
        to, new QMouseEvent(type, at, to->mapToGlobal(at), button, buttons, Qt::NoModifier));
}
} // namespace

class tst_ZEM_A_E_Events : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_view = new CountingView;
        m_view->resize(100, 100);
        QVERIFY(zemtest::showExposed(*m_view));
        m_press = new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    }

    void cleanup()
    {
        delete std::exchange(m_view, nullptr);
        delete std::exchange(m_press, nullptr);
    }

    void releaseAnswersNo()
    {
        MoveController controller;
        postMouse(m_view, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 5, &controller));
        QVERIFY(controller.unconstrained.isEmpty());
        QCOMPARE(m_view->releases, 1); // seen, not taken
    }

    void dragSendsUnconstrainedMove_data()
    {
        QTest::addColumn<bool>("answerObject");
        QTest::newRow("controller answers an object") << true;
        QTest::newRow("controller answers none") << false;
    }

    void dragSendsUnconstrainedMove()
    {
        QFETCH(bool, answerObject);
        MoveController controller;
        controller.answerObject = answerObject;
        postMouse(m_view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
        const bool moved = ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 5, &controller);
        QCOMPARE(moved, answerObject);
        QCOMPARE(controller.unconstrained.size(), 1);
        QCOMPARE(controller.unconstrained.first().value<QMouseEvent *>(), m_press);
        QCOMPARE(m_view->moves, 1);
    }

    void dragThroughTheWindow()
    {
        // Events that arrive while waiting, through the window as real input does.
        m_view->setMouseTracking(true);
        QTest::mousePress(m_view, Qt::LeftButton, {}, QPoint(5, 5));
        QTimer::singleShot(0, m_view, [this] { QTest::mouseMove(m_view, QPoint(20, 20)); });
        MoveController controller;
        QVERIFY(ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 5, &controller));
        QCOMPARE(controller.unconstrained.size(), 1);

        QTimer::singleShot(0, m_view,
                           [this] { QTest::mouseRelease(m_view, Qt::LeftButton, {}, QPoint(20, 20)); });
        QVERIFY(!ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 5, &controller));
        QCOMPARE(controller.unconstrained.size(), 1);
    }

    void nothingWithinTheTime()
    {
        MoveController controller;
        QVERIFY(ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 0.01, &controller));
        QCOMPARE(controller.unconstrained.size(), 1);
        QVERIFY(ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 0, &controller));
        QCOMPARE(controller.unconstrained.size(), 2);
    }

    void otherWindowsAndButtonsDoNotCount()
    {
        CountingView other;
        other.resize(50, 50);
        QVERIFY(zemtest::showExposed(other));
        QWidget child(m_view);
        child.setGeometry(0, 0, 20, 20);
        child.show();

        MoveController controller;
        postMouse(&other, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        postMouse(m_view, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
        postMouse(m_view, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
        QVERIFY(ZEM_A_E_Events::shared()->moveSupport(press(), m_view, 0, &controller));
        QCOMPARE(controller.unconstrained.size(), 1);
        QCOMPARE(other.releases, 1);

        // A release on a widget inside the view's window counts.
        postMouse(&child, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!ZEM_A_E_Events::shared()->moveSupport(press(), &child, 5, &controller));
        QCOMPARE(controller.unconstrained.size(), 1);
    }

    void missingViewOrController()
    {
        MoveController controller;
        ZEM_A_E_Events *events = ZEM_A_E_Events::shared();
        QVERIFY(!events->moveSupport(press(), nullptr, 0, &controller));
        QVERIFY(!events->moveSupport(press(), m_view, 0, nullptr));
        QVERIFY(controller.unconstrained.isEmpty());
        QVERIFY(!events->mouseDownMove(press(), QPointF(), m_view, nullptr));
    }

    void mouseDownMove_data() { dragSendsUnconstrainedMove_data(); }

    void mouseDownMove()
    {
        QFETCH(bool, answerObject);
        MoveController controller;
        controller.answerObject = answerObject;
        // True when the controller answered no object.
        QCOMPARE(ZEM_A_E_Events::shared()->mouseDownMove(press(), QPointF(3, 4), m_view, &controller),
                 !answerObject);
        QCOMPARE(controller.moves.size(), 1);
        QCOMPARE(controller.moves.first().value<QMouseEvent *>(), m_press);
    }

private:
    QVariant press() const { return QVariant::fromValue(m_press); }

    CountingView *m_view = nullptr;
    QMouseEvent *m_press = nullptr;
};

ZEM_TEST_MAIN(tst_ZEM_A_E_Events)
#include "tst_ZEM_A_E_Events.moc"
