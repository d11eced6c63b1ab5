#include "detail/ItemFiles.h"

#include "foundation/ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <unistd.h>

namespace platform::detail {

QString fileNameForUid(const QString &uid, const QString &suffix)
{
    QString name;
    name.reserve(uid.size() + suffix.size());
    for (QChar c : uid) {
        const bool unsafe = c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*'
                            || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|';
        name.append(unsafe ? u'_' : c);
    }
    // A leading dot would hide the item from sync tools.
    if (name.startsWith(u'.'))
        name[0] = u'_';
    return name + suffix;
}

ZEM_Result<void> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const auto failed = [&path](const QString &why) {
        return ZEM_Error::make(ZEM_Error::WriteFailed, QStringLiteral("Could not write %1: %2").arg(path, why),
                               {path});
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        const QString why = file.errorString();
        file.cancelWriting();
        return failed(why);
    }
    if (!file.commit())
        return failed(file.errorString());
    return {};
}

QHash<QString, std::optional<QByteArray>> &ownWrites()
{
    static QHash<QString, std::optional<QByteArray>> writes;
    return writes;
}

QString ownProcessName()
{
    if (ZEM_F_HostDelegate *delegate = ZEM_F_Host::delegate())
        return delegate->getAppName();
    return QCoreApplication::applicationName();
}

} // namespace platform::detail
