#pragma once
// Not installed: what an address book holds of its folder. Records and the public calls are
// in AddressBook.cpp; reading, watching and saving the folder in AddressBookFolder.cpp.

#include "platform/addressbook/AddressBook.h"
#include "platform/addressbook/detail/CardFile.h"
#include "platform/addressbook/detail/CardMapping.h"
#include "platform/detail/ItemFiles.h"

#include <QDir>
#include <QHash>
#include <QMap>

#include <memory>
#include <optional>
#include <vector>

namespace platform {

namespace detail::card {

// The user's own card: a UID in a dot file, so sync tools leave it alone.
inline const QString kMeFileName = QStringLiteral(".zem-me");

// Far more than any card file a person keeps, photos and all; a larger file is refused
// rather than read into memory.
inline constexpr qint64 kMaxCardFileBytes = qint64(64) << 20;

struct CardState
{
    std::unique_ptr<ABRecord> record;
    QString uid;
    QString fileName;
    // The card as last read or written in its file; onDisk false for a card never saved.
    bool onDisk = false;
    // Another program removed the card while we held an edit: saving it is a conflict.
    bool goneThere = false;
    QByteArray baseBytes; // the card's own bytes in its file
    VCard baseCard;
    Mapping baseMap;
    QVariantMap values;

    bool edited() const
    {
        QStringList keys = values.keys();
        keys.append(baseMap.values.keys());
        for (const QString &key : keys)
            if (!sameValue(values.value(key), baseMap.values.value(key)))
                return true;
        return false;
    }

    bool isDirty() const { return !onDisk || edited(); }

    void takeFile(const QByteArray &bytes, const VCard &card, Mapping map)
    {
        onDisk = true;
        goneThere = false;
        baseBytes = bytes;
        baseCard = card;
        baseMap = std::move(map);
        values = baseMap.values;
    }
};

// What the last read of a file found.
struct SeenFile
{
    QByteArray bytes;
    bool stale = false; // unreadable at the last read: what an earlier read found
    CardFile file;
    QList<Mapping> maps;       // one for each card of file
    QStringList readProblems;  // reading and mapping the cards
    QStringList problems;      // those, and the cards skipped
    QStringList uniqueIds;     // one for each card; empty for a card skipped
};

} // namespace detail::card

class AddressBookPrivate
{
public:
    using CardState = detail::card::CardState;
    using SeenFile = detail::card::SeenFile;

    AddressBook *q = nullptr;
    QString folder;
    std::vector<std::unique_ptr<CardState>> cards;
    // Removed records stay allocated until the book goes, so callers' pointers never dangle.
    std::vector<std::unique_ptr<CardState>> removed;
    // Removed records whose cards save() deletes.
    std::vector<CardState *> toDelete;
    QHash<QString, CardState *> byUid;
    QHash<const ABRecord *, CardState *> stateOf;
    QMap<QString, SeenFile> seen; // file name -> what the last scan found
    QStringList meProblems;
    QString meUid;
    bool meDirty = false;
    bool unsaved = false;
    std::optional<detail::FolderWatcher> watcher;

    QString pathOf(const QString &fileName) const { return QDir(folder).filePath(fileName); }

    CardState *stateFor(const ABRecord *record) const { return stateOf.value(record); }

    bool isLive(const CardState *s) const { return s && byUid.value(s->uid) == s; }

    CardState *addCard(const QString &uid, const QString &fileName, bool group);
    void retire(CardState *s);
    QList<CardState *> sortedCards() const;
    QString newUid() const;

    void scan(bool announce);
    ZEM_Result<void> save();
    void startWatching();
    void watchFiles();

private:
    struct FilePlan;
    ZEM_Result<FilePlan> planFile(const QString &fileName, const QList<CardState *> &edits,
                                  const QList<CardState *> &removals, bool *missing) const;
    void claimCards(QMap<QString, SeenFile> &now);
    ZEM_Result<void> saveMe();
};

} // namespace platform
