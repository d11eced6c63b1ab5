#include "platform/detail/ChangeNotices.h"

#include "platform/detail/ItemFiles.h"

#include "foundation/ZEM_F_E_Notifications.h"

#include <QCoreApplication>
#include <QVariantMap>

namespace platform::detail {

void announce(const Changes &changes, const NoticeNames &names, const ChangedSignal &changed)
{
    for (int who = 0; who < 2; ++who) {
        const QStringList &ins = changes.inserted[who];
        const QStringList &upd = changes.updated[who];
        const QStringList &del = changes.deleted[who];
        if (ins.isEmpty() && upd.isEmpty() && del.isEmpty())
            continue;
        const QString sender = who == Changes::ThisProcess ? ownProcessName() : QString();
        QVariantMap info;
        if (!ins.isEmpty())
            info.insert(names.inserted, ins);
        if (!upd.isEmpty())
            info.insert(names.updated, upd);
        if (!del.isEmpty())
            info.insert(names.deleted, del);
        if (!names.senderPid.isEmpty())
            info.insert(names.senderPid, who == Changes::ThisProcess ? QCoreApplication::applicationPid() : qint64(0));
        info.insert(names.senderName, sender);
        changed(ins, upd, del, sender);
        ZEM_F_E_Notifications::shared()->postNotification(ZEM_F_Notification{names.notification, {}, info});
    }
}

} // namespace platform::detail
