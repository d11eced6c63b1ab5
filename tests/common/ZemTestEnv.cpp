#include "ZemTestEnv.h"

#include <QDir>

#include <cstdlib>
#include <ctime>

namespace {
ZemTestEnv *g_current = nullptr;

void setEnv(const char *name, const QString &value)
{
    qputenv(name, value.toLocal8Bit());
}
} // namespace

ZemTestEnv::ZemTestEnv(const char *timeZone)
    : m_dir(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zemtest-XXXXXX")))
{
    Q_ASSERT(m_dir->isValid());
    QDir root(m_dir->path());
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("data"));
    root.mkpath(QStringLiteral("config"));
    root.mkpath(QStringLiteral("cache"));
    root.mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setEnv("HOME", root.filePath(QStringLiteral("home")));
    setEnv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")));
    setEnv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")));
    setEnv("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")));
    setEnv("XDG_RUNTIME_DIR", root.filePath(QStringLiteral("runtime")));
    if (timeZone) {
        qputenv("TZ", timeZone);
        tzset();
    }
    qunsetenv("ZEM_DEBUG_MACHINE");
    g_current = this;
}

ZemTestEnv::~ZemTestEnv()
{
    g_current = nullptr;
}

ZemTestEnv *ZemTestEnv::current() { return g_current; }

QString ZemTestEnv::home() const { return m_dir->path() + QStringLiteral("/home"); }
QString ZemTestEnv::dataHome() const { return m_dir->path() + QStringLiteral("/data"); }
QString ZemTestEnv::configHome() const { return m_dir->path() + QStringLiteral("/config"); }
