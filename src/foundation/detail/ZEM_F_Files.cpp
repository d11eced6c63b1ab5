#include "foundation/detail/ZEM_F_Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZEM_F_Files {

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Stamp stampFrom(const struct stat &st)
{
    Stamp s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    return s;
}

QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}

ZEM_Error readError(const QString &path, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::ReadFailed, QStringLiteral("Cannot read %1: %2.").arg(path, why),
                           {path});
}

ZEM_Error writeError(const QString &path, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::WriteFailed, QStringLiteral("Cannot save %1: %2.").arg(path, why),
                           {path});
}

ZEM_Error changedError(const QString &path)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           QStringLiteral("%1 was changed by another program since it was read.").arg(path),
                           {path});
}

// Reads through an open descriptor; a file growing while read is cut at the limit.
ZEM_Result<QByteArray> readDescriptor(int fd, const QString &path, qint64 maxBytes, qint64 sizeHint)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(sizeHint, maxBytes)) + 1);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return readError(path, errnoText(errno));
        }
        if (n == 0)
            return bytes;
        if (bytes.size() + n > maxBytes)
            return readError(path, QStringLiteral("it is larger than %1 bytes").arg(maxBytes));
        bytes.append(buffer, n);
    }
}

// Whether the file at the path (never followed) still holds what was expected.
std::optional<ZEM_Error> checkExpected(const QString &path, const Expected &expected)
{
    if (!expected.checked)
        return std::nullopt;
    const Stamp now = stampOf(path);
    if (!expected.content)
        return now.exists ? std::optional(changedError(path)) : std::nullopt;
    if (!now.exists || !now.regular)
        return changedError(path);
    auto current = readRegularFile(path, std::max<qint64>(expected.content->size(), 1) + 1);
    if (!current || *current != *expected.content)
        return changedError(path);
    return std::nullopt;
}

std::function<void(const QString &)> &beforeCheck()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

void runBeforeCheck(const QString &path)
{
    static bool running = false;
    if (running || !beforeCheck())
        return;
    running = true;
    const auto hook = beforeCheck(); // a copy: the hook may replace itself
    hook(path);
    running = false;
}

void syncFolder(const QString &folder)
{
    // Without this the rename may not survive a power cut. The new file is in place either
    // way, so a folder that cannot be synced is no reason to report a failed save.
    const int dirfd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        (void)::fsync(dirfd);
        ::close(dirfd);
    }
}

} // namespace

Stamp stampOf(const QString &path)
{
    struct stat st;
    if (::lstat(encoded(path).constData(), &st) != 0)
        return {};
    return stampFrom(st);
}

Stamp stampAt(int dirFd, const QString &name)
{
    struct stat st;
    if (::fstatat(dirFd, encoded(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    return stampFrom(st);
}

ZEM_Result<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, Stamp *stamp)
{
    // O_NONBLOCK keeps a pipe from blocking the open; it is refused right after.
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        struct stat st;
        if (error == ELOOP && ::lstat(encoded(path).constData(), &st) == 0)
            return readError(path, QStringLiteral("it is %1").arg(kindOf(st.st_mode)));
        return readError(path, errnoText(error));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return readError(path, errnoText(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return readError(path, QStringLiteral("it is %1").arg(kindOf(st.st_mode)));
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        return readError(path, QStringLiteral("it is larger than %1 bytes").arg(maxBytes));
    }
    auto bytes = readDescriptor(fd, path, maxBytes, st.st_size);
    ::close(fd);
    if (bytes && stamp)
        *stamp = stampFrom(st);
    return bytes;
}

void setBeforeCheckForTesting(std::function<void(const QString &)> hook)
{
    beforeCheck() = std::move(hook);
}

QString temporaryPrefix(const QString &fileName)
{
    return QLatin1Char('.') + fileName + QStringLiteral(".tmp-");
}

ZEM_Result<void> replaceFile(const QString &path, const QByteArray &bytes, const Expected &expected,
                             Links links)
{
    QString target = QFileInfo(path).absoluteFilePath();
    struct stat st;
    bool existed = ::lstat(encoded(target).constData(), &st) == 0;
    if (existed && S_ISLNK(st.st_mode)) {
        if (links == Links::Refuse)
            return writeError(path, QStringLiteral("it is a symbolic link, which is never written through"));
        target = QFileInfo(path).canonicalFilePath();
        existed = !target.isEmpty() && ::lstat(encoded(target).constData(), &st) == 0;
        if (!existed)
            target = QFileInfo(QFileInfo(path).symLinkTarget()).absoluteFilePath();
    }
    if (existed && !S_ISREG(st.st_mode))
        return writeError(path, QStringLiteral("it is %1").arg(kindOf(st.st_mode)));
    if (existed && !(st.st_mode & S_IWUSR))
        return writeError(path, QStringLiteral("the file is read-only"));

    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = encoded(folder + QLatin1Char('/') + temporaryPrefix(info.fileName())
                       + QString::number(QRandomGenerator::global()->generate64(), 36));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return writeError(path, QStringLiteral("cannot create a file in %1 (%2)").arg(folder, errnoText(errno)));

    const auto abandon = [&](const ZEM_Error &error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return error;
    };
    const auto failed = [&](const QString &step) {
        return abandon(writeError(path, QStringLiteral("%1 (%2)").arg(step, errnoText(errno))));
    };
    if (existed)
        (void)::fchmod(fd, st.st_mode & 07777);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed(QStringLiteral("writing failed"));
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return failed(QStringLiteral("syncing to disk failed"));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return failed(QStringLiteral("closing failed"));
    // Checked last, after the slow part, so the window for another program's edit to slip
    // between the check and the rename is as short as it can be without a lock.
    runBeforeCheck(path);
    if (auto changed = checkExpected(target, expected))
        return abandon(*changed);
    if (::lstat(encoded(target).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return abandon(writeError(path, QStringLiteral("it is %1").arg(kindOf(st.st_mode))));
    const QByteArray targetName = encoded(target);
    if (expected.checked && !expected.content) {
        // Atomically "only if still absent": a file made since the check is not replaced.
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, targetName.constData(), RENAME_NOREPLACE) == 0) {
            syncFolder(folder);
            return {};
        }
        if (errno == EEXIST)
            return abandon(changedError(path));
        if (errno != EINVAL && errno != ENOSYS)
            return failed(QStringLiteral("replacing the file failed"));
    } else if (expected.checked) {
        // Exchanged rather than renamed over, so what was replaced can be looked at: a write
        // that slipped in after the check is put back and reported, not lost.
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, targetName.constData(), RENAME_EXCHANGE) == 0) {
            auto displaced = readRegularFile(QFile::decodeName(temp), expected.content->size() + 1);
            if (!displaced || *displaced != *expected.content) {
                (void)::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, targetName.constData(), RENAME_EXCHANGE);
                return abandon(changedError(path));
            }
            ::unlink(temp.constData());
            syncFolder(folder);
            return {};
        }
        if (errno == ENOENT)
            return abandon(changedError(path));
        if (errno != EINVAL && errno != ENOSYS)
            return failed(QStringLiteral("replacing the file failed"));
    }
    // A file system without exchange (some network ones): a plain rename, checked above.
    if (::rename(temp.constData(), targetName.constData()) != 0)
        return failed(QStringLiteral("replacing the file failed"));
    syncFolder(folder);
    return {};
}

ZEM_Result<void> removeFile(const QString &path, const Expected &expected)
{
    runBeforeCheck(path);
    if (auto changed = checkExpected(path, expected))
        return *changed;
    if (::unlink(encoded(path).constData()) != 0 && errno != ENOENT)
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               QStringLiteral("Cannot remove %1: %2.").arg(path, errnoText(errno)), {path});
    return {};
}

bool passesThroughLink(const QString &root, const QString &path)
{
    const QString cleanRoot = QDir::cleanPath(root);
    QString p = QDir::cleanPath(path);
    while (p.size() > cleanRoot.size() && p.startsWith(cleanRoot)) {
        struct stat st;
        if (::lstat(encoded(p).constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return true;
        p = QFileInfo(p).path();
    }
    return false;
}

int removeStaleTemporaries(const QString &folder, const QString &prefix, int minAgeSeconds)
{
    DIR *dir = ::opendir(encoded(folder).constData());
    if (!dir)
        return 0;
    const QString wanted = QLatin1Char('.') + prefix;
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.startsWith(wanted) || !name.contains(QStringLiteral(".tmp-")))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (now - st.st_mtim.tv_sec < minAgeSeconds)
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace ZEM_F_Files
