#pragma once
// Not installed: what an address book holds of its folder. Records and the public calls are
// in AddressBook.cpp; reading, watching and saving the folder in AddressBookFolder.cpp.

#include "foundation/detail/ZEM_F_Files.h"
#include "platform/addressbook/AddressBook.h"
#include "platform/addressbook/detail/CardFile.h"
#include "platform/addressbook/detail/CardMapping.h"
#include "platform/addressbook/detail/CardValues.h"
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

// A card is held as the values its file read as and a digest of its bytes there: the bytes,
// the parsed card and the lines each value came from are only needed to save it, and are
// read from the file then (a card whose digest differs was changed by another program).
struct CardState
{
    std::unique_ptr<ABRecord> record;
    QString uid;
    QString fileName;
    bool group = false;
    // The card as last read or written in its file; onDisk false for a card never saved.
    bool onDisk = false;
    // Another program removed the card while we held an edit: saving it is a conflict.
    bool goneThere = false;
    // Read from the file named for its UID before the rest of the folder: the first read of
    // the whole folder decides which file holds it, as if it had been read with the others.
    bool alone = false;
    QByteArray baseDigest; // of the card's own bytes in its file
    // What those bytes read as, with the identifiers callers were given; both start as the same
    // packed bytes, so a card nobody edited holds its values once.
    CardValues baseValues;
    CardValues values;
    // The lines a card never saved starts with (it has no bytes yet).
    std::shared_ptr<const VCard> draft;

    bool edited() const { return !values.sameAs(baseValues); }

    bool isDirty() const { return !onDisk || edited(); }

    void takeFile(const QByteArray &digest, const CardValues &read)
    {
        onDisk = true;
        goneThere = false;
        baseDigest = digest;
        baseValues = read;
        values = read;
        draft.reset();
    }
};

// One card as the last read of its file found it.
struct SeenCard
{
    QString uid;
    QByteArray digest; // of the card's own bytes in the file
    bool group = false;
    bool claimed = false; // false for a card skipped
    CardValues values;

    QString uniqueId() const { return uid + (group ? kABGroupSuffix : kABPersonSuffix); }
};

// What the last read of a file found.
struct SeenFile
{
    ZEM_F_Files::Stamp stamp; // the file's as it was read
    // The stamp was old enough when read that any later change changes it: the file need
    // not be read again while its stamp stays.
    bool settled = false;
    QByteArray digest;  // of the whole file
    bool stale = false; // unreadable at the last read: what an earlier read found
    QList<SeenCard> cards;
    QStringList readProblems;  // reading and mapping the cards
    QStringList problems;      // those, and the cards skipped

    int indexOf(const QString &uid) const
    {
        for (int i = 0; i < cards.size(); ++i)
            if (cards[i].uid == uid)
                return i;
        return -1;
    }
};

/** \a bytes of the file \a fileName read and mapped (no file system access: threads share it);
    counted in filesParsed(). */
SeenFile readSeenFile(const QByteArray &bytes, const QString &fileName);
/** How many card files this process has parsed: tests tell by it what came from the index. */
ZEM_APPKIT_EXPORT int filesParsed();

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
    // Whether the whole folder has been read: a book that does not watch reads it when first
    // asked for more than one card by its UID.
    bool loaded = false;
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
    void load()
    {
        if (!loaded)
            scan(false);
    }
    /** The card of \a uid read from the file named for it alone, or null when that file
        does not hold it; only before the folder is read. */
    CardState *readAlone(const QString &uid);
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
