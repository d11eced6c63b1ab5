#include "ZEM_F_E_Language.h"

#include "ZEM_F_B_Language.h"
#include "ZEM_F_ClassRegistry.h"
#include "ZEM_F_E_Notifications.h"
#include "ZEM_F_HostDelegate.h"
#include "ZEM_F_Log.h"
#include "ZEM_F_PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QMetaMethod>
#include <QTranslator>

#include <algorithm>
#include <map>
#include <vector>

namespace {

const QString English = QStringLiteral("English");
const QString LanguageCall = QStringLiteral("LanguageCall");

struct Listener
{
    QPointer<QObject> object;
    QMetaMethod method;
};

// The text of a key no table has. The language menu's title keys ("L:French") read as the
// language's own name in English; any other key reads as itself, so a missing row shows
// up instead of vanishing.
QString textWithoutRow(const QString &key)
{
    if (key.startsWith(u"L:")) {
        for (const QString &name : ZEM_F_E_Language::languageNames())
            if (ZEM_F_E_Language::languageTitleKey(name) == key)
                return name;
    }
    return key;
}

bool isLookFamily(const QString &key)
{
    return key.size() >= 3 && key.at(2) == u':' && key.at(0) == u'N'
           && (key.at(1) == u'L' || key.at(1) == u'T' || key.at(1) == u'P');
}

// The language number a notification's object names: a number of the list or a
// language name; anything else gives \a fallback.
int languageNumber(const QVariant &object, int fallback)
{
    switch (object.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: {
        bool ok = false;
        const qlonglong n = object.toLongLong(&ok);
        return ok && n >= 0 && n < ZEM_F_E_Language::languageNames().size() ? int(n) : fallback;
    }
    case QMetaType::QString: {
        const int n = ZEM_F_E_Language::languageIndex(object.toString());
        return n >= 0 ? n : fallback;
    }
    default:
        return fallback;
    }
}

} // namespace

struct ZEM_F_E_Language::Private
{
    // Loaded translations per language; a null entry remembers a file that was missing
    // or unreadable so that lookups for that language never touch the disk again.
    std::map<QString, std::shared_ptr<const ZEM_F_StringTable>> cache;

    QString active = English;
    int activeIndex = 0;
    // Held apart from the cache so reloadLanguageFiles() cannot pull it from under a lookup.
    std::shared_ptr<const ZEM_F_StringTable> activeTable;

    QStringList defaultTableNames{QStringLiteral("ZEM_A_L_Language")};
    std::vector<QPointer<ZEM_F_B_Language>> defaultTables; // parallel to the names

    // In the order they registered; a removed or destroyed one leaves a null slot until the
    // next compaction, so that registering and removing stay constant time with a window of
    // a hundred thousand controls.
    std::vector<Listener> listeners;
    QHash<QObject *, size_t> listenerSlot;
    size_t compactAt = 64;

    void compactListeners()
    {
        std::erase_if(listeners, [](const Listener &l) { return !l.object; });
        listenerSlot.clear();
        for (size_t i = 0; i < listeners.size(); ++i)
            listenerSlot.insert(listeners[i].object.data(), i);
        compactAt = std::max<size_t>(64, 2 * listeners.size());
    }

    // Qt's own translation for the active language, while one is installed.
    std::unique_ptr<QTranslator> qtTranslator;

    // Swaps Qt's translation for that of \a language and makes sure the application hears
    // of the change once at least: installing or removing a translator tells it already.
    void followInQt(const QString &language)
    {
        if (!QCoreApplication::instance())
            return;
        bool told = false;
        if (qtTranslator) {
            told = QCoreApplication::removeTranslator(qtTranslator.get());
            qtTranslator.reset();
        }
        if (language != English) {
            auto translator = std::make_unique<QTranslator>();
            const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
            if (translator->load(locale(language), QStringLiteral("qt"), QStringLiteral("_"), folder)
                && QCoreApplication::installTranslator(translator.get())) {
                qtTranslator = std::move(translator);
                told = true;
            } else {
                qCDebug(zemFoundation) << "Qt has no translation for" << language << "in" << folder;
            }
        }
        if (!told) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
        }
    }

    ZEM_Result<std::shared_ptr<const ZEM_F_StringTable>> load(const QString &language)
    {
        const QString path = languageFilePath(language);
        if (!QFileInfo::exists(path)) {
            return ZEM_Error::make(ZEM_Error::NotFound,
                                   QStringLiteral("No language file for %1: %2 does not exist")
                                       .arg(language, path),
                                   {language, path});
        }
        auto table = ZEM_F_PropertyList::readStringTableFile(path);
        if (!table) {
            ZEM_Error error = table.error();
            error.message = QStringLiteral("The %1 language file cannot be read: %2")
                                .arg(language, error.message);
            error.arguments.prepend(language);
            return error;
        }
        return std::make_shared<const ZEM_F_StringTable>(std::move(*table));
    }

    const QString *defaultText(const QString &key)
    {
        if (defaultTables.size() != size_t(defaultTableNames.size()))
            defaultTables.resize(defaultTableNames.size());
        for (size_t i = 0; i < defaultTables.size(); ++i) {
            QPointer<ZEM_F_B_Language> &source = defaultTables[i];
            // A class may register after the first lookup; keep asking until it does.
            if (!source)
                source = qobject_cast<ZEM_F_B_Language *>(
                    ZEM_F_ClassRegistry::shared(defaultTableNames.at(int(i))));
            if (!source)
                continue;
            if (const ZEM_F_StringTable *table = source->lk())
                if (const QString *text = table->find(key))
                    return text;
        }
        return nullptr;
    }

    const ZEM_F_StringTable *tableFor(int index)
    {
        if (index == activeIndex)
            return activeTable.get();
        if (index <= 0)
            return nullptr;
        const QString &language = languageNames().at(index);
        const auto it = cache.find(language);
        if (it != cache.end())
            return it->second.get();
        // A language other than the active one is asked for rarely (a control told of a
        // change before the switch finished); read it once and remember even a failure.
        auto loaded = load(language);
        auto &slot = cache[language];
        if (loaded)
            slot = *loaded;
        return slot.get();
    }
};

ZEM_F_E_Language::ZEM_F_E_Language(QObject *parent)
    : ZEM_F_B_Securitry(parent), d(std::make_unique<Private>())
{
}

ZEM_F_E_Language::~ZEM_F_E_Language() = default;

ZEM_F_E_Language *ZEM_F_E_Language::shared()
{
    static ZEM_F_E_Language *const engine = new ZEM_F_E_Language;
    return engine;
}

QString ZEM_F_E_Language::stringForKey(const QString &key) const
{
    if (d->activeTable)
        if (const QString *text = d->activeTable->find(key))
            return *text;
    if (const QString *text = d->defaultText(key))
        return *text;
    return textWithoutRow(key);
}

QString ZEM_F_E_Language::stringForKeyLook(const QString &key) const
{
    if (d->activeTable)
        if (const QString *text = d->activeTable->find(key))
            return *text;
    const qsizetype colon = key.indexOf(u':');
    return colon < 0 ? key : key.mid(colon + 1);
}

QString ZEM_F_E_Language::activeLanguage() const { return d->active; }

ZEM_Result<void> ZEM_F_E_Language::setActiveLanguage(const QString &language)
{
    const int index = languageIndex(language);
    if (index < 0) {
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("Unknown language \"%1\"").arg(language), {language});
    }
    std::shared_ptr<const ZEM_F_StringTable> table;
    if (index > 0) {
        const auto it = d->cache.find(language);
        if (it != d->cache.end() && it->second) {
            table = it->second;
        } else {
            // A remembered failure is tried again: the user may have fixed the file.
            auto loaded = d->load(language);
            if (!loaded) {
                qCWarning(zemFoundation) << loaded.error().message;
                return loaded.error();
            }
            table = *loaded;
            d->cache[language] = table;
        }
    }
    d->active = languageNames().at(index);
    d->activeIndex = index;
    d->activeTable = std::move(table);
    // Qt first, so that whatever the listeners build speaks the new language too.
    d->followInQt(d->active);

    const ZEM_F_Notification notification{LanguageCall, QVariant(index), {}};
    // Objects may register or go away while being told: walk a copy.
    const std::vector<Listener> listeners = d->listeners;
    for (const Listener &l : listeners) {
        if (l.object)
            notification.deliver(l.object.data(), l.method);
    }
    d->compactListeners();
    ZEM_F_E_Notifications::shared()->postNotification(notification);
    emit languageChanged(d->active);
    return {};
}

ZEM_Result<void> ZEM_F_E_Language::setActiveLanguage(int index)
{
    if (index < 0 || index >= languageNames().size()) {
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("No language has the number %1").arg(index),
                               {QString::number(index)});
    }
    return setActiveLanguage(languageNames().at(index));
}

QStringList ZEM_F_E_Language::availableLanguages() const
{
    return findLanguageFiles(languagesFolder(), ZEM_F_Host::appName()).keys();
}

void ZEM_F_E_Language::reloadLanguageFiles()
{
    d->cache.clear();
    if (d->activeIndex <= 0)
        return;
    // The active texts are replaced only by a good file; a broken one keeps them.
    auto loaded = d->load(d->active);
    if (!loaded) {
        qCWarning(zemFoundation) << loaded.error().message;
        return;
    }
    d->activeTable = *loaded;
    d->cache[d->active] = d->activeTable;
}

const ZEM_F_StringTable *ZEM_F_E_Language::languageTable(const QString &language) const
{
    const int index = languageIndex(language);
    return index > 0 ? d->tableFor(index) : nullptr;
}

QString ZEM_F_E_Language::l(const QString &key, const QString &kind,
                            const ZEM_F_Notification &notification) const
{
    Q_UNUSED(kind) // the key's family decides the fallback, whatever the control's kind
    const int index = languageNumber(notification.object, d->activeIndex);
    if (const ZEM_F_StringTable *table = d->tableFor(index))
        if (const QString *text = table->find(key))
            return *text;
    if (isLookFamily(key))
        return key.mid(3);
    if (const QString *text = d->defaultText(key))
        return *text;
    return textWithoutRow(key);
}

QString ZEM_F_E_Language::languageOfNotification(const ZEM_F_Notification &notification) const
{
    return languageNames().at(languageNumber(notification.object, d->activeIndex));
}

bool ZEM_F_E_Language::setObjectNotifications(QObject *object)
{
    if (!object)
        return false;
    const QMetaMethod method = ZEM_F_Notification::handlerMethod(object, "languageCall");
    if (!method.isValid()) {
        qCWarning(zemFoundation) << "setObjectNotifications:" << object->metaObject()->className()
                                 << "has no languageCall";
        return false;
    }
    // A slot whose object is gone may carry the address of a new object: that one is new.
    if (const auto slot = d->listenerSlot.constFind(object);
        slot != d->listenerSlot.constEnd() && d->listeners[*slot].object == object)
        return true;
    if (d->listeners.size() >= d->compactAt)
        d->compactListeners();
    d->listenerSlot.insert(object, d->listeners.size());
    d->listeners.push_back(Listener{object, method});
    return true;
}

void ZEM_F_E_Language::removeObjectNotifications(QObject *object)
{
    if (const auto slot = d->listenerSlot.constFind(object); slot != d->listenerSlot.constEnd()) {
        d->listeners[*slot].object = nullptr;
        d->listenerSlot.erase(slot);
    }
}

void ZEM_F_E_Language::addDefaultTable(const QString &className)
{
    if (className.isEmpty() || d->defaultTableNames.contains(className))
        return;
    d->defaultTableNames.append(className);
}

QStringList ZEM_F_E_Language::defaultTables() const { return d->defaultTableNames; }

const QStringList &ZEM_F_E_Language::languageNames()
{
    static const QStringList names{
        QStringLiteral("English"),
        QStringLiteral("Japanese"),
        QStringLiteral("French"),
        QStringLiteral("German"),
        QStringLiteral("Spanish"),
        QStringLiteral("Italian"),
        QStringLiteral("Dutch"),
        QStringLiteral("Simplified Chinese"),
        QStringLiteral("Portuguese"),
        QStringLiteral("Swedish"),
        QStringLiteral("Norwegian"),
        QStringLiteral("Danish"),
        QStringLiteral("Finnish"),
        QStringLiteral("Korean"),
        QStringLiteral("Traditional Chinese"),
        QStringLiteral("Portuguese (Brazil)"),
        QStringLiteral("Portugues (Portugal)"),
        QStringLiteral("Russian"),
        QStringLiteral("Polish"),
        QStringLiteral("Bulgarian"),
        QStringLiteral("Ukrainian"),
        QStringLiteral("Czech"),
        QStringLiteral("Slovak"),
        QStringLiteral("Hungarian"),
        QStringLiteral("Thai"),
        QStringLiteral("Arabic"),
        QStringLiteral("Hebrew"),
        QStringLiteral("Greek"),
        QStringLiteral("Icelandic"),
        QStringLiteral("Romanian"),
        QStringLiteral("Turkish"),
        QStringLiteral("Croatian"),
        QStringLiteral("Hindi"),
    };
    return names;
}

QLocale ZEM_F_E_Language::locale(const QString &language)
{
    // In the order of languageNames().
    static const char *const names[] = {
        "en", "ja", "fr", "de", "es", "it", "nl", "zh_CN", "pt", "sv", "nb",
        "da", "fi", "ko", "zh_TW", "pt_BR", "pt_PT", "ru", "pl", "bg", "uk", "cs",
        "sk", "hu", "th", "ar", "he", "el", "is", "ro", "tr", "hr", "hi",
    };
    static_assert(std::size(names) == 33);
    const int index = languageIndex(language);
    return index < 0 ? QLocale::c() : QLocale(QString::fromLatin1(names[index]));
}

int ZEM_F_E_Language::languageIndex(const QString &language)
{
    return int(languageNames().indexOf(language));
}

QString ZEM_F_E_Language::languageTitleKey(const QString &language)
{
    static const QStringList keys{
        QStringLiteral("NL:English"),
        QStringLiteral("L:Japanese"),
        QStringLiteral("L:French"),
        QStringLiteral("L:German"),
        QStringLiteral("L:Spanish"),
        QStringLiteral("L:Italian"),
        QStringLiteral("L:Dutch"),
        QStringLiteral("L:SimplifiedChinese"),
        QStringLiteral("L:Portuguese"),
        QStringLiteral("L:Swedish"),
        QStringLiteral("L:Norwegian"),
        QStringLiteral("L:Danish"),
        QStringLiteral("L:Finnish"),
        QStringLiteral("L:Korean"),
        QStringLiteral("L:TraditionalChinese"),
        QStringLiteral("L:PortugueseBrazil"),
        QStringLiteral("L:PortuguesPortugal"),
        QStringLiteral("L:Russian"),
        QStringLiteral("L:Polish"),
        QStringLiteral("L:Bulgarian"),
        QStringLiteral("L:Ukrainian"),
        QStringLiteral("L:Czech"),
        QStringLiteral("L:Slovak"),
        QStringLiteral("L:Hungarian"),
        QStringLiteral("L:Thai"),
        QStringLiteral("L:Arabic"),
        QStringLiteral("L:Hebrew"),
        QStringLiteral("L:Greek"),
        QStringLiteral("L:Icelandic"),
        QStringLiteral("L:Romanian"),
        QStringLiteral("L:Turkish"),
        QStringLiteral("L:Croation"),
        QStringLiteral("L:Hindi"),
    };
    const int index = languageIndex(language);
    return index < 0 ? QString() : keys.at(index);
}

QString ZEM_F_E_Language::languagesFolder()
{
    return ZEM_F_Host::appDataFolder() + QStringLiteral("/Languages");
}

QMap<QString, QString> ZEM_F_E_Language::findLanguageFiles(const QString &folder,
                                                           const QString &appName,
                                                           const QString &ext)
{
    QMap<QString, QString> found;
    const QDir root(folder);
    if (folder.isEmpty() || !root.exists())
        return found;
    QStringList relativePaths;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        relativePaths.append(root.relativeFilePath(it.next()));
    // Sorted, so that of two files for one language the same one always wins.
    relativePaths.sort();
    for (const QString &relative : std::as_const(relativePaths)) {
        if (!relative.startsWith(appName))
            continue;
        const QFileInfo info(relative);
        if (info.suffix() != ext)
            continue;
        const QString base = info.completeBaseName();
        if (base.size() <= appName.size() + 1)
            continue;
        const QString language = base.mid(appName.size() + 1);
        if (language == English || languageIndex(language) < 0 || found.contains(language))
            continue;
        found.insert(language, root.filePath(relative));
    }
    return found;
}

QString ZEM_F_E_Language::languageFilePath(const QString &language)
{
    const QString folder = languagesFolder();
    const QString appName = ZEM_F_Host::appName();
    const QMap<QString, QString> files = findLanguageFiles(folder, appName);
    if (const auto it = files.constFind(language); it != files.cend())
        return *it;
    return QStringLiteral("%1/%2_%3.plist").arg(folder, appName, language);
}
