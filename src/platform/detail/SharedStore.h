#pragma once
// What the address book and the calendar store share as process-wide stores: a default
// folder the host may set, and one watched instance on it made on first use.

#include <QCoreApplication>
#include <QStandardPaths>
#include <QString>

#include <memory>

namespace platform::detail {

template<typename Store>
class SharedStore
{
public:
    /** \a fallback: the default folder below the generic data location ("/calendars"). */
    explicit SharedStore(QString fallback) : m_fallback(std::move(fallback)) {}

    QString defaultFolder() const
    {
        if (!m_setting.isEmpty())
            return m_setting;
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + m_fallback;
    }
    void setDefaultFolder(const QString &folder) { m_setting = folder; }

    /** The instance on the default folder; \a reset (which calls reset()) drops it when
        the application object goes, since the store holds a watcher. */
    Store *instance(void (*reset)())
    {
        if (!m_instance) {
            if (!m_cleanupAdded) {
                qAddPostRoutine(reset);
                m_cleanupAdded = true;
            }
            m_instance = std::make_unique<Store>(defaultFolder(), true);
        }
        return m_instance.get();
    }
    void reset() { m_instance.reset(); }

private:
    QString m_fallback;
    QString m_setting;
    std::unique_ptr<Store> m_instance;
    bool m_cleanupAdded = false;
};

} // namespace platform::detail
