#pragma once
// The change notices of the folder stores (address book, calendars): what a read of the
// folder found inserted, updated and deleted, announced once for this process's own writes
// and once for other programs' edits.

#include <QString>
#include <QStringList>

#include <functional>

namespace platform::detail {

/** The unique ids one read of a folder found changed, by who changed them. */
struct Changes
{
    enum Who { OtherProgram = 0, ThisProcess = 1 };
    QStringList inserted[2];
    QStringList updated[2];
    QStringList deleted[2];
};

/** The names one kind of change notice uses. */
struct NoticeNames
{
    QString notification;
    QString inserted;
    QString updated;
    QString deleted;
    QString senderName;
    QString senderPid; ///< empty when the notice carries no process id
};

using ChangedSignal = std::function<void(const QStringList &inserted, const QStringList &updated,
                                         const QStringList &deleted, const QString &senderName)>;

/**
 * For each sender with changes, calls \a changed and then posts \a names.notification
 * through the foundation's notification centre, its userInfo holding the non-empty lists
 * and the sender: this application's name and process id for this process's writes, an
 * empty name and 0 for other programs' edits.
 */
void announce(const Changes &changes, const NoticeNames &names, const ChangedSignal &changed);

} // namespace platform::detail
