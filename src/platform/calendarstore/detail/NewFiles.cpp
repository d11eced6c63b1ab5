// Files added to the calendar folders, as inotify tells them.
#include "platform/calendarstore/detail/NewFiles.h"

#include "platform/detail/ItemFiles.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform::detail {

NewFiles::NewFiles()
{
#ifdef Q_OS_LINUX
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
}

NewFiles::~NewFiles()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void NewFiles::watch(const QString &calendarUid, const QString &path)
{
#ifdef Q_OS_LINUX
    if (m_fd < 0)
        return;
    // Created in place, or renamed in (how careful writers, this store among them, add files).
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    if (wd < 0) {
        ::close(m_fd); // a folder left unwatched would hide its new files: never trust the rest
        m_fd = -1;
        return;
    }
    m_calendars.insert(wd, calendarUid);
#else
    Q_UNUSED(calendarUid);
    Q_UNUSED(path);
#endif
}

void NewFiles::forget()
{
    (void)take();
}

std::optional<QList<std::pair<QString, QString>>> NewFiles::take()
{
#ifdef Q_OS_LINUX
    if (m_fd < 0)
        return std::nullopt;
    QList<std::pair<QString, QString>> out;
    bool lost = false;
    readInotifyEvents(m_fd, [&](const inotify_event &e) {
        if (e.mask & IN_Q_OVERFLOW) {
            lost = true;
            return;
        }
        const auto cal = m_calendars.constFind(e.wd);
        if (cal == m_calendars.constEnd() || !e.len)
            return;
        const QString name = QFile::decodeName(e.name);
        if (cal->isEmpty())
            lost = lost || ((e.mask & IN_ISDIR) && !name.startsWith(u'.')); // a calendar added
        else if (!(e.mask & IN_ISDIR))
            out.append({*cal, name});
    });
    if (lost)
        return std::nullopt;
    return out;
#else
    return std::nullopt;
#endif
}

} // namespace platform::detail
