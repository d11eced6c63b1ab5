#include "ZEM_A_E_Events.h"

#include "foundation/ZEM_F_ClassRegistry.h"
#include "platform/Invoke.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {
[[maybe_unused]] const bool registered =
    ZEM_F_ClassRegistry::registerShared(QStringLiteral("ZEM_A_E_Events"), [] {
        return static_cast<QObject *>(ZEM_A_E_Events::shared());
    });

bool isObject(const QVariant &answer)
{
    return answer.isValid() && !answer.isNull();
}

// Watches the application's events for the first left release or left drag aimed at one
// window, and stops a loop when it sees it. It never takes the event.
class MouseWatcher : public QObject
{
public:
    enum Seen { Nothing, Release, Drag };

    MouseWatcher(QWidget *window, QEventLoop *loop) : m_window(window), m_loop(loop) {}

    Seen seen() const { return m_seen; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_seen != Nothing)
            return false;
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
            return false;
        if (!inWindow(watched))
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
            m_seen = Release;
        else if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton))
            m_seen = Drag;
        if (m_seen != Nothing)
            m_loop->quit();
        return false;
    }

private:
    bool inWindow(QObject *watched) const
    {
        if (!m_window)
            return false;
        if (auto *widget = qobject_cast<QWidget *>(watched))
            return widget->window() == m_window;
        if (auto *window = qobject_cast<QWindow *>(watched))
            return window == m_window->windowHandle();
        return false;
    }

    QPointer<QWidget> m_window;
    QEventLoop *m_loop;
    Seen m_seen = Nothing;
};
} // namespace

ZEM_A_E_Events::ZEM_A_E_Events(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_Events::~ZEM_A_E_Events() = default;

ZEM_A_E_Events *ZEM_A_E_Events::shared()
{
    static auto *instance = new ZEM_A_E_Events;
    return instance;
}

bool ZEM_A_E_Events::moveSupport(const QVariant &event, QWidget *view, double seconds,
                                 QObject *controller)
{
    if (!view || !controller || !QCoreApplication::instance())
        return false;
    QPointer<QObject> guardedController(controller);
    QEventLoop loop;
    MouseWatcher watcher(view->window(), &loop);
    QCoreApplication::instance()->installEventFilter(&watcher);
    // Events already queued count as within the time, even for a time of zero.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    if (watcher.seen() == MouseWatcher::Nothing && seconds > 0) {
        QTimer::singleShot(qRound(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeSocketNotifiers);
    }
    QCoreApplication::instance()->removeEventFilter(&watcher);

    if (watcher.seen() == MouseWatcher::Release || !guardedController)
        return false;
    return isObject(platform::perform(guardedController, "unconstrainedMove:", {event}));
}

bool ZEM_A_E_Events::mouseDownMove(const QVariant &event, const QPointF &adjust, QWidget *view,
                                   QObject *controller)
{
    Q_UNUSED(adjust)
    Q_UNUSED(view)
    if (!controller)
        return false;
    return !isObject(platform::perform(controller, "move:", {event}));
}
