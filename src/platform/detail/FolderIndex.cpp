#include "platform/detail/FolderIndex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <sqlite3.h>
#include <time.h>

#include <utility>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcFolderIndex, "zem.platform.folderindex")

namespace platform::detail {

namespace {

// "ZEMI" in the file header: an index of this kit, told apart from any other SQLite file.
constexpr int kApplicationId = 0x5A454D49;
// A writer holds the index for one short transaction; waiting longer than this for it costs
// more than reading the files.
constexpr int kBusyTimeoutMs = 500;
// Timestamps are taken from a coarse clock and some file systems keep whole seconds: a
// file touched this recently may change again without its key changing.
constexpr qint64 kRacyWindowNs = 2'000'000'000;
qint64 racyWindowNs = kRacyWindowNs;

qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct Statement
{
    sqlite3_stmt *s = nullptr;
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    explicit operator bool() const { return s; }
};

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int pragmaInt(sqlite3 *db, const char *sql, bool *ok)
{
    Statement st(db, sql);
    if (!st || sqlite3_step(st.s) != SQLITE_ROW) {
        *ok = false;
        return 0;
    }
    return sqlite3_column_int(st.s, 0);
}

void removeIndexFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1StringView(suffix));
}

// Makes the tables when the file is new or of another version; false when the file is not
// an index that can be used (not SQLite, damaged, or busy with another writer too long).
bool prepare(sqlite3 *db, int version)
{
    bool ok = true;
    const int appId = pragmaInt(db, "PRAGMA application_id", &ok);
    const int userVersion = pragmaInt(db, "PRAGMA user_version", &ok);
    if (!ok)
        return false;
    if (appId == kApplicationId && userVersion == version)
        return true;
    if (appId != kApplicationId && appId != 0)
        return false; // someone else's file: made anew by the caller
    const QByteArray make = "BEGIN IMMEDIATE;"
                            "DROP TABLE IF EXISTS files;"
                            "CREATE TABLE files(path TEXT PRIMARY KEY, size INTEGER, mtime INTEGER,"
                            " ctime INTEGER, inode INTEGER, device INTEGER, payload BLOB);"
                            "PRAGMA application_id=" + QByteArray::number(kApplicationId) + ";"
                            "PRAGMA user_version=" + QByteArray::number(version) + ";"
                            "COMMIT;";
    if (!exec(db, make.constData())) {
        exec(db, "ROLLBACK");
        return false;
    }
    return true;
}

std::optional<QHash<QString, FolderIndex::Entry>> readEntries(sqlite3 *db)
{
    Statement st(db, "SELECT path, size, mtime, ctime, inode, device, payload FROM files");
    if (!st)
        return std::nullopt;
    QHash<QString, FolderIndex::Entry> entries;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        FolderIndex::Entry e;
        e.key.exists = e.key.regular = true;
        const auto *path = static_cast<const char *>(sqlite3_column_blob(st.s, 0));
        const QString relPath = QString::fromUtf8(path, sqlite3_column_bytes(st.s, 0));
        e.key.size = sqlite3_column_int64(st.s, 1);
        e.key.mtimeNs = sqlite3_column_int64(st.s, 2);
        e.key.ctimeNs = sqlite3_column_int64(st.s, 3);
        e.key.inode = quint64(sqlite3_column_int64(st.s, 4));
        e.key.device = quint64(sqlite3_column_int64(st.s, 5));
        const auto *payload = static_cast<const char *>(sqlite3_column_blob(st.s, 6));
        e.payload = QByteArray(payload, sqlite3_column_bytes(st.s, 6));
        entries.insert(relPath, std::move(e));
    }
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return entries;
}

} // namespace

QString FolderIndex::pathFor(const QString &folder, const QString &kind)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath().isEmpty() ? info.absoluteFilePath()
                                                                 : info.canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256);
    return u"%1/zemappkit/folder-index/%2-%3.sqlite"_s.arg(cache, QString::fromLatin1(hash.toHex().left(32)),
                                                             kind);
}

std::unique_ptr<FolderIndex> FolderIndex::open(const QString &folder, const QString &kind, int version)
{
    const QString path = pathFor(folder, kind);
    if (path.isEmpty())
        return nullptr;
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return nullptr;
    // An index inside the folder would be synced and read as one of its files.
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonicalDir = QFileInfo(dir).canonicalFilePath();
    if (!canonicalFolder.isEmpty() && (canonicalDir + u'/').startsWith(canonicalFolder + u'/'))
        return nullptr;

    for (int attempt = 0; attempt < 2; ++attempt) {
        sqlite3 *db = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db, kBusyTimeoutMs);
            sqlite3_extended_result_codes(db, 1);
            exec(db, "PRAGMA journal_mode=WAL"); // readers never wait for a writer
            // A cache need not survive a power cut (a lost commit is read again from the
            // files), so commits do not wait for the disk; WAL keeps the file whole anyway.
            exec(db, "PRAGMA synchronous=NORMAL");
            if (prepare(db, version)) {
                if (auto entries = readEntries(db))
                    return std::unique_ptr<FolderIndex>(new FolderIndex(db, std::move(*entries)));
            }
        }
        const bool busy = db && (sqlite3_errcode(db) & 0xff) == SQLITE_BUSY;
        qCInfo(lcFolderIndex) << "index" << path << "unusable:" << (db ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close(db);
        if (busy)
            return nullptr; // another process is making it: read the files this time
        removeIndexFiles(path);
    }
    return nullptr;
}

FolderIndex::FolderIndex(sqlite3 *db, QHash<QString, Entry> entries)
    : m_db(db)
    , m_entries(std::move(entries))
{
}

FolderIndex::~FolderIndex()
{
    sqlite3_close(m_db);
}

std::optional<QByteArray> FolderIndex::lookup(const QString &relPath, const FileKey &key) const
{
    const auto it = m_entries.constFind(relPath);
    if (it == m_entries.constEnd() || !(it->key == key))
        return std::nullopt;
    return it->payload;
}

bool FolderIndex::isSettled(const FileKey &key)
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return std::max(key.mtimeNs, key.ctimeNs) <= nanoseconds(now) - racyWindowNs;
}

void FolderIndex::setSettleWindowForTesting(qint64 ns)
{
    racyWindowNs = ns < 0 ? kRacyWindowNs : ns;
}

std::optional<QByteArray> FolderIndex::take(const QString &relPath, const FileKey &key)
{
    // The entries are never shared, so find() does not copy them and each caller touches
    // only its own entry.
    const auto it = m_entries.find(relPath);
    if (it == m_entries.end() || !(it->key == key))
        return std::nullopt;
    return std::exchange(it->payload, QByteArray());
}

void FolderIndex::put(const QString &relPath, const FileKey &key, const QByteArray &payload)
{
    if (!isSettled(key)) {
        if (m_entries.contains(relPath))
            forget(relPath);
        return;
    }
    const auto it = m_entries.constFind(relPath);
    if (it != m_entries.constEnd() && it->key == key && it->payload == payload)
        return;
    m_pending.insert(relPath, Entry{key, payload});
}

void FolderIndex::forget(const QString &relPath)
{
    m_pending.insert(relPath, std::nullopt);
}

bool FolderIndex::commit()
{
    if (m_pending.isEmpty())
        return true;
    if (!exec(m_db, "BEGIN IMMEDIATE"))
        return false;
    Statement put(m_db, "INSERT OR REPLACE INTO files(path, size, mtime, ctime, inode, device, payload)"
                        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Statement drop(m_db, "DELETE FROM files WHERE path = ?1");
    bool ok = put && drop;
    for (auto it = m_pending.cbegin(); ok && it != m_pending.cend(); ++it) {
        const QByteArray path = it.key().toUtf8();
        sqlite3_stmt *s = it.value() ? put.s : drop.s;
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, path.constData(), int(path.size()), SQLITE_TRANSIENT);
        if (const auto &e = it.value()) {
            sqlite3_bind_int64(s, 2, e->key.size);
            sqlite3_bind_int64(s, 3, e->key.mtimeNs);
            sqlite3_bind_int64(s, 4, e->key.ctimeNs);
            sqlite3_bind_int64(s, 5, qint64(e->key.inode));
            sqlite3_bind_int64(s, 6, qint64(e->key.device));
            sqlite3_bind_blob(s, 7, e->payload.constData(), int(e->payload.size()), SQLITE_STATIC);
        }
        ok = sqlite3_step(s) == SQLITE_DONE;
    }
    if (!ok || !exec(m_db, "COMMIT")) {
        qCInfo(lcFolderIndex) << "index not written:" << sqlite3_errmsg(m_db);
        exec(m_db, "ROLLBACK");
        m_pending.clear();
        return false;
    }
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value())
            m_entries.insert(it.key(), *it.value());
        else
            m_entries.remove(it.key());
    }
    m_pending.clear();
    return true;
}

} // namespace platform::detail
