#include "ZemTestEnv.h"
#include "TestFiles.h"

#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_L_Language.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdlib>
#include <ctime>

namespace {
ZemTestEnv *g_current = nullptr;
} // namespace

ZemTestEnv::ZemTestEnv(const char *timeZone)
    : m_dir(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zemtest-XXXXXX")))
{
    Q_ASSERT(m_dir->isValid());
    QDir root(m_dir->path());
    const std::pair<const char *, const char *> folders[] = {{"HOME", "home"},
        {"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", "config"}, {"XDG_CACHE_HOME", "cache"},
        {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto &[variable, folder] : folders) {
        root.mkpath(QLatin1String(folder));
        qputenv(variable, root.filePath(QLatin1String(folder)).toLocal8Bit());
    }
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

namespace {
ZEM_F_SettingsHostDelegate *g_languageHost = nullptr;

void dropLanguageHost()
{
    ZEM_F_Host::setDelegate(nullptr);
    delete std::exchange(g_languageHost, nullptr);
}
} // namespace

ZEM_F_E_Language *zemFrenchLanguage(std::initializer_list<std::pair<const char *, const char *>> french)
{
    if (!ZEM_A_L_Language::isRegistered() || !g_current)
        return nullptr;
    if (!g_languageHost) {
        g_languageHost = new ZEM_F_SettingsHostDelegate(QStringLiteral("Organiser"));
        qAddPostRoutine(dropLanguageHost);
    }
    ZEM_F_Host::setDelegate(g_languageHost);
    ZEM_F_StringTable table;
    for (const auto &[key, text] : french)
        table.insert(QString::fromUtf8(key), QString::fromUtf8(text));
    const QString path = ZEM_F_E_Language::languageFilePath(QStringLiteral("French"));
    const bool written = path.startsWith(g_current->dataHome())
                         && zemtest::writeFile(path, ZEM_F_PropertyList::writeStringTable(table));
    return written ? ZEM_F_E_Language::shared() : nullptr;
}
