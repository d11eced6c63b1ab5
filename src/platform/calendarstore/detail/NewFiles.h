#pragma once
// Not installed: the names of files other programs add to the calendar folders, as the
// system tells them (inotify), so that a save need not list the folders to learn of them.

#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace platform::detail {

class NewFiles
{
public:
    NewFiles();
    ~NewFiles();
    NewFiles(const NewFiles &) = delete;
    NewFiles &operator=(const NewFiles &) = delete;

    /** Follows the folder \a path: the store's folder itself when \a calendarUid is empty. */
    void watch(const QString &calendarUid, const QString &path);
    /** Drops what was told so far (the folder is about to be read whole). */
    void forget();
    /** The calendar uid and name of each file added since the last call; none when the
        system lost count (too many, or no way to be told): read the folders again. */
    std::optional<QList<std::pair<QString, QString>>> take();

private:
    int m_fd = -1;
    QHash<int, QString> m_calendars; // watch -> calendar uid
};

} // namespace platform::detail
