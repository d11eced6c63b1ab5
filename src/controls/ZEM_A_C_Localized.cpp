#include "ZEM_A_C_Localized.h"

#include "ZEM_A_C_NSMenu.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <deque>

namespace {

constexpr int kDictionaryDelayMs = 1000;

// Controls join the language dictionary a second after they register. One timer serves them
// all, in order of registration: a timer each made a window of a hundred thousand controls
// (2,000 tables of 50 columns) take a minute, as Qt keeps its timers in a sorted list.
class DictionaryQueue : public QObject
{
public:
    static DictionaryQueue &shared()
    {
        static DictionaryQueue *queue = new DictionaryQueue;
        return *queue;
    }

    void add(QObject *control, bool cells)
    {
        m_pending.push_back({QDeadlineTimer(kDictionaryDelayMs), control, cells});
        if (!m_timer.isActive())
            m_timer.start(kDictionaryDelayMs);
    }

private:
    struct Entry
    {
        QDeadlineTimer due;
        QPointer<QObject> control; // a control gone within the second is passed over
        bool cells;
    };

    DictionaryQueue()
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &DictionaryQueue::run);
    }

    void run()
    {
        ZEM_F_E_Language *engine = ZEM_F_E_Language::shared();
        while (!m_pending.empty() && m_pending.front().due.hasExpired()) {
            const Entry entry = m_pending.front();
            m_pending.pop_front();
            if (!entry.control)
                continue;
            engine->addToLangDictionary(entry.control);
            if (entry.cells)
                engine->addMultiToLangDictionary(entry.control);
        }
        if (!m_pending.empty())
            m_timer.start(int(std::max<qint64>(0, m_pending.front().due.remainingTime())));
    }

    std::deque<Entry> m_pending;
    QTimer m_timer;
};

} // namespace

ZEM_A_C_Localized::ZEM_A_C_Localized(QObject *control) : m_control(control) {}

ZEM_A_C_Localized::~ZEM_A_C_Localized()
{
    ZEM_F_E_Language::shared()->removeObjectNotifications(m_control);
    ZEM_F_E_Notifications::shared()->removeObserver(m_control);
}

void ZEM_A_C_Localized::registerForLanguage(bool cells)
{
    engine()->setObjectNotifications(m_control);
    DictionaryQueue::shared().add(m_control, cells);
}

bool ZEM_A_C_Localized::isReset(const ZEM_F_Notification &notification)
{
    return ZEM_A_C_NSMenu::isResetNotification(notification);
}

ZEM_F_E_Language *ZEM_A_C_Localized::engine()
{
    return ZEM_F_E_Language::shared();
}

QString ZEM_A_C_Localized::noun(const QString &key)
{
    return key.startsWith(QStringLiteral("NL:")) || key.startsWith(QStringLiteral("NT:"))
               ? engine()->stringForKeyLook(key)
               : engine()->stringForKey(key);
}

QString ZEM_A_C_Localized::text(const QString &key, const QString &kind, const ZEM_F_Notification &notification)
{
    return engine()->l(key, kind, notification);
}
