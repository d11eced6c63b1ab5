// The address book's folder: read, watched, merged and saved. The folder is shared with sync
// tools and other programs, so every file is read only when it is a plain file of bounded
// size, and replaced only while it still holds what was read (ZEM_F_Files).
#include "platform/addressbook/detail/AddressBookPrivate.h"

#include "platform/addressbook/detail/CardIndex.h"
#include "platform/detail/FolderIndex.h"

#include "foundation/detail/ZEM_F_Files.h"
#include "platform/PlatformLog.h"
#include "platform/detail/ChangeNotices.h"

#include <QFileInfo>
#include <QUuid>

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <functional>

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail::card;
using detail::fileNameForUid;
using detail::ownWrites;

CardState *AddressBookPrivate::addCard(const QString &uid, const QString &fileName, bool group)
{
    auto s = std::make_unique<CardState>();
    s->uid = uid;
    s->fileName = fileName;
    if (group)
        s->record.reset(new ABGroup(q, uid));
    else
        s->record.reset(new ABPerson(q, uid));
    s->group = group;
    CardState *raw = s.get();
    stateOf.insert(raw->record.get(), raw);
    byUid.insert(uid, raw);
    cards.push_back(std::move(s));
    return raw;
}

void AddressBookPrivate::retire(CardState *s)
{
    byUid.remove(s->uid);
    auto it = std::find_if(cards.begin(), cards.end(), [s](const auto &c) { return c.get() == s; });
    if (it != cards.end()) {
        removed.push_back(std::move(*it));
        cards.erase(it);
    }
}

QList<CardState *> AddressBookPrivate::sortedCards() const
{
    QList<CardState *> list;
    for (const auto &c : cards)
        list.append(c.get());
    std::stable_sort(list.begin(), list.end(),
                     [](const CardState *a, const CardState *b) { return a->fileName < b->fileName; });
    return list;
}

QString AddressBookPrivate::newUid() const
{
    QString uid;
    do
        uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    while (byUid.contains(uid) || ZEM_F_Files::stampOf(pathOf(fileNameForUid(uid, u".vcf"_s))).exists);
    return uid;
}

// ---- Reading ---------------------------------------------------------------------------------

namespace {

std::atomic<int> parsedFiles{0};

} // namespace

int detail::card::filesParsed()
{
    return parsedFiles.load();
}

SeenFile detail::card::readSeenFile(const QByteArray &bytes, const QString &fileName)
{
    ++parsedFiles;
    SeenFile entry;
    entry.digest = contentDigest(bytes);
    const CardFile file = readCardFile(bytes, fileName.chopped(4));
    for (const QString &p : file.problems)
        entry.readProblems.append(fileName + u": "_s + p);
    if (file.cards.isEmpty() && file.problems.isEmpty())
        entry.readProblems.append(fileName + u": not a vCard"_s);
    if (!file.splittable)
        entry.readProblems.append(u"%1: its %2 cards cannot be told apart in the file; they are read but not saved"_s
                                      .arg(fileName)
                                      .arg(file.cards.size()));
    entry.cards.reserve(file.cards.size());
    for (const FileCard &c : file.cards) {
        QStringList mapProblems;
        Mapping map = mapCard(c.card, &mapProblems);
        for (const QString &p : std::as_const(mapProblems))
            entry.readProblems.append(fileName + u": "_s + p);
        // A file of one card is that card: its digest is the file's.
        const QByteArray digest = file.cards.size() == 1 ? entry.digest : contentDigest(c.bytes);
        entry.cards.append(SeenCard{c.uid, digest, map.group, false, CardValues(std::move(map.values))});
    }
    return entry;
}

namespace {

// Below this many files a second thread costs more than it saves.
constexpr qsizetype kFilesPerThread = 64;

// The card files of \a folder by name: every entry named "*.vcf" (in any case) but hidden
// ones and folders. Pipes, devices and broken links are listed too, to be reported, never
// opened. Read from the directory itself: most entries say what they are, so only links
// and the rest cost a stat, where a listing through QDir sets up file information for each.
QStringList cardFileNames(const QString &folder)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    while (const dirent *e = ::readdir(dir)) {
        const qsizetype length = qsizetype(strlen(e->d_name));
        if (e->d_name[0] == '.' || length < 4 || qstrnicmp(e->d_name + length - 4, ".vcf", 4) != 0)
            continue;
        if (e->d_type != DT_REG) {
            struct stat st;
            const bool folderThere = e->d_type == DT_DIR
                || ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
                    && ::stat((prefix + e->d_name).constData(), &st) == 0 && S_ISDIR(st.st_mode));
            if (folderThere)
                continue;
        }
        names.append(QFile::decodeName(e->d_name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

void AddressBookPrivate::scan(bool announce)
{
    const QStringList files = cardFileNames(folder);
    // Each file on its own (the threads only read seen and the index); put together in name
    // order after. A file whose stamp is the one it had when last read is as it was then.
    std::vector<SeenFile> read(files.size());
    std::vector<ZEM_F_Files::Stamp> stamps(files.size());
    std::vector<quint8> known(files.size(), 0);
    detail::forEachIndex(files.size(), kFilesPerThread, [&](qsizetype i) {
        stamps[i] = ZEM_F_Files::stampOf(pathOf(files[i]));
        const auto previous = seen.constFind(files[i]);
        if (previous != seen.constEnd() && !previous->stale && previous->settled && previous->stamp == stamps[i]) {
            read[i] = *previous;
            known[i] = 1;
        }
    });
    // The others come from the index while their stamps match it, or are read and parsed.
    std::unique_ptr<detail::FolderIndex> index;
    if (std::find(known.cbegin(), known.cend(), 0) != known.cend())
        index = detail::FolderIndex::open(folder, cardIndexKind(), kCardIndexVersion);
    std::vector<QByteArray> payloads(index ? files.size() : 0);
    detail::forEachIndex(files.size(), kFilesPerThread, [&](qsizetype i) {
        if (known[i])
            return;
        const QString &fileName = files[i];
        if (index && stamps[i].regular) {
            if (const auto payload = index->take(fileName, stamps[i])) {
                if (auto entry = decodeSeenFile(*payload)) {
                    entry->stamp = stamps[i];
                    entry->settled = true;
                    read[i] = std::move(*entry);
                    return;
                }
            }
        }
        ZEM_F_Files::Stamp stamp;
        auto bytes = ZEM_F_Files::readRegularFile(pathOf(fileName), kMaxCardFileBytes, &stamp);
        if (!bytes) {
            // Keep what we knew of it: an unreadable file is not a removed card.
            SeenFile kept = seen.value(fileName);
            kept.stale = true;
            kept.readProblems = {u"%1: skipped: %2"_s.arg(fileName, bytes.error().message)};
            read[i] = std::move(kept);
            return;
        }
        const auto previous = seen.constFind(fileName);
        if (previous != seen.constEnd() && !previous->stale && previous->digest == contentDigest(*bytes))
            read[i] = *previous;
        else
            read[i] = readSeenFile(*bytes, fileName);
        read[i].stamp = stamp;
        read[i].settled = detail::FolderIndex::isSettled(stamp);
        // Held packed, as the index would give it, and kept in the index when settled.
        QByteArray payload = encodeSeenFile(read[i]);
        payload.squeeze(); // held as long as the card is
        if (const auto packed = payload.isEmpty() ? std::nullopt : decodeSeenFile(payload))
            for (qsizetype c = 0; c < packed->cards.size(); ++c)
                read[i].cards[c].values = packed->cards[c].values;
        if (index && read[i].settled)
            payloads[i] = std::move(payload);
    });
    if (index) {
        const QSet<QString> listed(files.cbegin(), files.cend());
        for (auto it = index->entries().cbegin(); it != index->entries().cend(); ++it)
            if (!listed.contains(it.key()))
                index->forget(it.key());
        for (qsizetype i = 0; i < files.size(); ++i)
            if (!payloads[i].isEmpty())
                index->put(files[i], read[i].stamp, payloads[i]);
        payloads.clear();
        index->commit();
        index.reset();
    }
    QMap<QString, SeenFile> now;
    for (qsizetype i = 0; i < files.size(); ++i)
        now.insert(now.cend(), files[i], std::move(read[i]));
    read.clear();

    claimCards(now);
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (!seen.contains(it.key()) || seen.value(it.key()).problems != it->problems)
            for (const QString &p : it->problems)
                qCWarning(zemPlatform).noquote() << "AddressBook:" << p;

    // The first read of the whole folder only knows the cards read alone before it: the
    // others are where the book starts, not news.
    const bool first = !loaded;
    loaded = true;
    detail::Changes changes;
    if (announce && !(first && seen.isEmpty())) {
        // What changed, card by card: a card is where its unique id is now, with its content.
        struct Place
        {
            QString fileName;
            QByteArray digest;
            bool operator==(const Place &) const = default;
        };
        const auto places = [](const QMap<QString, SeenFile> &files) {
            QList<std::pair<QString, Place>> out;
            for (auto it = files.cbegin(); it != files.cend(); ++it)
                for (const SeenCard &c : it->cards)
                    if (c.claimed)
                        out.append({c.uniqueId(), Place{it.key(), c.digest}});
            return out;
        };
        const auto before = places(seen);
        const auto after = places(now);
        QHash<QString, Place> beforeById(before.cbegin(), before.cend());
        QHash<QString, Place> afterById(after.cbegin(), after.cend());
        const auto whoWrote = [&](const QString &fileName) {
            // This process's last write there, when the file (or its absence) is still that.
            const auto f = now.constFind(fileName);
            const auto w = ownWrites().constFind(pathOf(fileName));
            const bool own = w != ownWrites().constEnd()
                && (f == now.constEnd() ? !w->has_value() : w->has_value() && contentDigest(**w) == f->digest);
            return own ? detail::Changes::ThisProcess : detail::Changes::OtherProgram;
        };
        for (const auto &[id, place] : after) {
            const auto old = beforeById.constFind(id);
            if (old == beforeById.constEnd()) {
                if (!first)
                    changes.inserted[whoWrote(place.fileName)].append(id);
            } else if (*old != place) {
                changes.updated[whoWrote(place.fileName)].append(id);
            }
        }
        for (const auto &[id, place] : before)
            if (!afterById.contains(id))
                changes.deleted[whoWrote(place.fileName)].append(id);
    }
    seen = std::move(now);

    if (!meDirty) {
        const QString path = pathOf(kMeFileName);
        auto me = ZEM_F_Files::readRegularFile(path, 4096);
        meUid = me ? QString::fromUtf8(*me).trimmed() : QString();
        meProblems.clear();
        if (!me && ZEM_F_Files::stampOf(path).exists)
            meProblems.append(u"%1: skipped: %2"_s.arg(kMeFileName, me.error().message));
    }
    if (watcher)
        watchFiles();

    if (!announce)
        return;
    static const detail::NoticeNames names{kABDatabaseChangedExternallyNotification, kABInsertedRecords,
                                           kABUpdatedRecords, kABDeletedRecords, kABSenderProcessName, {}};
    detail::announce(changes, names, [this](const QStringList &inserted, const QStringList &updated,
                                            const QStringList &deleted, const QString &sender) {
        emit q->changed(inserted, updated, deleted, sender);
    });
}

CardState *AddressBookPrivate::readAlone(const QString &uid)
{
    const QString fileName = fileNameForUid(uid, u".vcf"_s);
    if (loaded || seen.contains(fileName))
        return nullptr;
    const auto bytes = ZEM_F_Files::readRegularFile(pathOf(fileName), kMaxCardFileBytes);
    if (!bytes)
        return nullptr;
    SeenFile entry = readSeenFile(*bytes, fileName);
    if (entry.indexOf(uid) < 0)
        return nullptr;
    entry.problems = entry.readProblems;
    CardState *found = nullptr;
    for (SeenCard &c : entry.cards) {
        if (byUid.contains(c.uid))
            continue; // also in another file read alone: the read of the folder settles it
        CardState *s = addCard(c.uid, fileName, c.group);
        s->takeFile(c.digest, c.values);
        s->alone = true;
        c.claimed = true;
        if (c.uid == uid)
            found = s;
    }
    seen.insert(fileName, std::move(entry));
    return found;
}

// Which file holds each card now, and the book's records brought up to date with it. A card
// stays in its file while that still holds its UID (a copy elsewhere is a duplicate); a card
// found only elsewhere was renamed or moved there; a card found nowhere was removed.
void AddressBookPrivate::claimCards(QMap<QString, SeenFile> &now)
{
    QHash<QString, std::pair<QString, int>> claimed; // uid -> file name, card index
    for (const auto &c : cards) {
        const auto f = now.constFind(c->fileName);
        if ((c->onDisk || c->goneThere) && !c->alone && f != now.constEnd())
            if (const int i = f->indexOf(c->uid); i >= 0)
                claimed.insert(c->uid, {c->fileName, i});
    }
    for (auto it = now.begin(); it != now.end(); ++it) {
        SeenFile &f = it.value();
        f.problems = f.readProblems;
        for (int i = 0; i < f.cards.size(); ++i) {
            SeenCard &card = f.cards[i];
            card.claimed = false;
            const QString &uid = card.uid;
            const auto there = claimed.constFind(uid);
            if (there != claimed.constEnd() && *there != std::pair(it.key(), i)) {
                f.problems.append(u"%1: the same UID as %2; skipped"_s.arg(it.key(), there->first));
                continue;
            }
            claimed.insert(uid, {it.key(), i});
            if (std::any_of(toDelete.begin(), toDelete.end(), [&](const CardState *r) { return r->uid == uid; })) {
                // Removed here and not yet saved: save() settles it (a conflict if changed there).
                card.claimed = true;
                continue;
            }
            CardState *s = byUid.value(uid);
            if (!s) {
                s = addCard(uid, it.key(), card.group);
                s->takeFile(card.digest, card.values);
            } else if (s->group != card.group) {
                f.problems.append(u"%1: changed between person and group; skipped"_s.arg(it.key()));
                continue;
            } else if (s->onDisk || s->goneThere) {
                s->fileName = it.key();
                s->onDisk = true;
                s->goneThere = false;
                s->alone = false;
                if (s->baseDigest != card.digest && !s->edited()) {
                    Mapping fresh;
                    fresh.values = card.values.toMap();
                    adoptIdentifiers(fresh, s->values.toMap());
                    s->takeFile(card.digest, CardValues::packedFrom(fresh.values));
                }
            }
            card.claimed = true;
        }
    }
    // Cards another program removed: gone from the book, unless we hold an edit of one.
    const QList<CardState *> held = sortedCards();
    for (CardState *s : held) {
        s->alone = false;
        if (!s->onDisk || claimed.contains(s->uid))
            continue;
        if (s->edited()) {
            s->onDisk = false;
            s->goneThere = true;
        } else {
            retire(s);
        }
    }
}

void AddressBookPrivate::startWatching()
{
    watcher.emplace(q, [this] { scan(true); });
    watchFiles();
}

void AddressBookPrivate::watchFiles()
{
    // The folder tells of files added, removed and renamed over; a file rewritten in place
    // is only seen by watching the file itself.
    QStringList files;
    for (auto it = seen.constBegin(); it != seen.constEnd(); ++it)
        if (!it->stale || !it->cards.isEmpty())
            files.append(pathOf(it.key()));
    files.append(pathOf(kMeFileName));
    watcher->watchOnly({folder}, files);
}

// ---- Saving ----------------------------------------------------------------------------------

namespace {

QString cardName(const CardState &s)
{
    const QString name = s.group ? s.values.value(kABGroupNameProperty).toString()
                                         : displayName(s.values.toMap());
    return name.isEmpty() ? s.fileName : name;
}

// The name a person reads for an internal key.
QString propertyName(const QString &key)
{
    if (key == kImageKey)
        return u"Image"_s;
    if (key == kMembersKey)
        return u"Members"_s;
    return key;
}

ZEM_Error conflict(const CardState &s, const QString &key, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"“%1” was changed by another program (%2): %3"_s.arg(cardName(s), s.fileName, why),
                           {s.uid, propertyName(key)});
}

ZEM_Error notSaved(const CardState &s, const QString &path, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::WriteFailed, u"“%1” cannot be saved: %2"_s.arg(cardName(s), why), {path});
}

} // namespace

// One file's part of a save: what it held when planned and what it is to hold.
struct AddressBookPrivate::FilePlan
{
    QString fileName;
    QList<CardState *> edits;
    QList<CardState *> removals;
    std::optional<QByteArray> disk; // nullopt: no file there
    QByteArray bytes;               // the new file (unless remove)
    bool remove = false;
    QList<FileCard> written;   // one for each edit: the card as saved
    QList<QVariantMap> values; // one for each edit: the values saved
};

ZEM_Result<AddressBookPrivate::FilePlan>
AddressBookPrivate::planFile(const QString &fileName, const QList<CardState *> &edits,
                             const QList<CardState *> &removals, bool *missing) const
{
    FilePlan plan{fileName, edits, removals, std::nullopt, {}, false, {}, {}};
    const QString path = pathOf(fileName);
    CardState *first = edits.isEmpty() ? removals.first() : edits.first();
    if (ZEM_F_Files::stampOf(path).exists) {
        auto read = ZEM_F_Files::readRegularFile(path, kMaxCardFileBytes);
        if (!read)
            return notSaved(*first, path, read.error().message);
        plan.disk = *read;
    }
    const CardFile file = plan.disk ? readCardFile(*plan.disk, fileName.chopped(4)) : CardFile{};
    if (file.cards.size() > 1 && !file.splittable)
        return notSaved(*first, path, u"%1 holds cards that cannot be told apart, so it is not rewritten"_s.arg(path));

    QMap<int, std::optional<QByteArray>> changes;
    for (CardState *s : edits) {
        if (s->goneThere)
            return conflict(*s, {}, u"it was removed there and changed here"_s);
        const int at = file.indexOf(s->uid);
        if (at < 0 && s->onDisk) {
            *missing = true; // removed or renamed since the last read: read the folder again
            return plan;
        }
        if (at < 0 && plan.disk)
            return conflict(*s, {}, u"another program made a file of that name"_s);
        // The card as we read it is in the file unless another program changed it since.
        const bool asRead = at >= 0 && s->onDisk && contentDigest(file.cards[at].bytes) == s->baseDigest;
        VCard base = asRead ? file.cards[at].card : s->draft ? *s->draft : VCard();
        QByteArray baseBytes = asRead ? file.cards[at].bytes : QByteArray();
        const QVariantMap ancestors = s->baseValues.toMap();
        const QVariantMap ourValues = s->values.toMap();
        Mapping baseMap = mapCard(base, nullptr);
        adoptIdentifiers(baseMap, ancestors);
        QVariantMap values = ourValues;
        if (at >= 0 && !asRead) {
            Mapping there = mapCard(file.cards[at].card, nullptr);
            if (there.group != s->group)
                return conflict(*s, {}, u"it is no longer a person or no longer a group"_s);
            // Multi-values the other program left alone keep our identifiers, so their lines
            // are found by the entries we hold.
            adoptIdentifiers(there, ancestors);
            QVariantMap merged = there.values;
            QStringList keys = ourValues.keys() + ancestors.keys() + there.values.keys();
            keys.removeDuplicates();
            for (const QString &key : keys) {
                const QVariant ancestor = ancestors.value(key);
                const QVariant ours = ourValues.value(key);
                const QVariant theirs = there.values.value(key);
                const bool weChanged = !sameValue(ours, ancestor);
                const bool theyChanged = !sameValue(theirs, ancestor);
                if (weChanged && theyChanged && !sameValue(ours, theirs))
                    return conflict(*s, key, u"both changed %1"_s.arg(propertyName(key)));
                if (weChanged) {
                    if (ours.isValid())
                        merged.insert(key, ours);
                    else
                        merged.remove(key);
                }
            }
            base = file.cards[at].card;
            baseBytes = file.cards[at].bytes;
            baseMap = std::move(there);
            values = std::move(merged);
        }
        const WrittenCard out = writeCard(base, baseMap, values, s->uid, baseBytes);
        FileCard saved;
        saved.card = out.card;
        saved.uid = s->uid;
        saved.bytes = out.bytes;
        if (at >= 0)
            changes.insert(at, saved.bytes);
        else
            plan.bytes.append(saved.bytes);
        plan.written.append(std::move(saved));
        plan.values.append(std::move(values));
    }
    int removedCards = 0;
    for (CardState *s : removals) {
        const int at = file.indexOf(s->uid);
        if (at < 0)
            continue; // already gone
        if (contentDigest(file.cards[at].bytes) != s->baseDigest)
            return conflict(*s, {}, u"it was changed there and removed here"_s);
        // Removing is refused where editing would be: a read-only file is left alone.
        if (!(QFileInfo(path).permissions() & QFileDevice::WriteOwner))
            return notSaved(*s, path, u"%1 is read-only"_s.arg(path));
        changes.insert(at, std::nullopt);
        ++removedCards;
    }
    if (plan.disk) {
        plan.remove = edits.isEmpty() && removedCards == file.cards.size() && removedCards > 0;
        plan.bytes = rewriteCardFile(*plan.disk, file, changes);
    }
    return plan;
}

ZEM_Result<void> AddressBookPrivate::save()
{
    // A card missing from its file sends the save back to read the folder (a rename is
    // followed, a removal settled), once; an edit another program slips in between our read
    // and our write is merged or reported like one made before the save.
    constexpr int kRounds = 2;
    constexpr int kRetries = 3;
    for (int round = 0; round < kRounds; ++round) {
        QMap<QString, std::pair<QList<CardState *>, QList<CardState *>>> work; // file -> edits, removals
        for (CardState *s : sortedCards())
            if (s->isDirty())
                work[s->fileName].first.append(s);
        for (CardState *s : toDelete)
            if (s->onDisk)
                work[s->fileName].second.append(s);

        // First find out whether every card can be written, so that a conflict writes nothing.
        std::vector<FilePlan> plans;
        bool missing = false;
        for (auto it = work.cbegin(); it != work.cend() && !missing; ++it) {
            auto plan = planFile(it.key(), it->first, it->second, &missing);
            if (!plan)
                return plan.error();
            plans.push_back(std::move(*plan));
        }
        if (missing) {
            scan(true);
            continue;
        }
        if (!QDir().mkpath(folder))
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   u"Could not create the address book folder %1"_s.arg(folder), {folder});
        for (FilePlan &plan : plans) {
            const QString path = pathOf(plan.fileName);
            for (int attempt = 0;; ++attempt) {
                const bool nothingToWrite = plan.disk ? !plan.remove && plan.bytes == *plan.disk : plan.edits.isEmpty();
                if (nothingToWrite)
                    break;
                const ZEM_F_Files::Expected expected = plan.disk ? ZEM_F_Files::Expected::bytes(*plan.disk)
                                                                 : ZEM_F_Files::Expected::absent();
                const auto done = plan.remove ? ZEM_F_Files::removeFile(path, expected)
                                              : ZEM_F_Files::replaceFile(path, plan.bytes, expected);
                if (done) {
                    ownWrites().insert(path, plan.remove ? std::nullopt : std::optional(plan.bytes));
                    break;
                }
                if (done.error().code != ZEM_Error::Conflict || attempt + 1 == kRetries) {
                    qCWarning(zemPlatform).noquote() << "AddressBook:" << done.error().message;
                    return done.error();
                }
                auto again = planFile(plan.fileName, plan.edits, plan.removals, &missing);
                if (!again)
                    return again.error();
                if (missing)
                    break;
                plan = std::move(*again);
            }
            if (missing)
                break;
            for (qsizetype i = 0; i < plan.edits.size(); ++i) {
                CardState *s = plan.edits[i];
                // The card as a later read of the file gives it, so that read finds no change.
                const FileCard &saved = plan.written[i];
                const VCardReadResult reread = readVCards(saved.bytes);
                if (reread.cards.isEmpty()) {
                    // Cannot happen with a card we wrote; keep the edit rather than lose it.
                    qCWarning(zemPlatform) << "AddressBook: the card written to" << path << "does not read back";
                    continue;
                }
                Mapping fresh = mapCard(reread.cards.first(), nullptr);
                adoptIdentifiers(fresh, plan.values[i]);
                s->takeFile(contentDigest(saved.bytes), CardValues::packedFrom(fresh.values));
            }
            for (CardState *s : std::as_const(plan.removals)) {
                s->onDisk = false;
                std::erase(toDelete, s);
            }
        }
        if (missing) {
            scan(true);
            continue;
        }
        std::erase_if(toDelete, [](const CardState *s) { return !s->onDisk; });
        if (auto me = saveMe(); !me)
            return me;
        unsaved = false;
        return {};
    }
    for (CardState *s : sortedCards())
        if (s->isDirty())
            return conflict(*s, {}, u"it keeps moving while it is saved"_s);
    return ZEM_Error::make(ZEM_Error::Conflict, u"The address book keeps changing while it is saved"_s, {folder});
}

ZEM_Result<void> AddressBookPrivate::saveMe()
{
    if (!meDirty)
        return {};
    const QString path = pathOf(kMeFileName);
    auto done = meUid.isEmpty() ? ZEM_F_Files::removeFile(path) : ZEM_F_Files::replaceFile(path, meUid.toUtf8() + '\n');
    if (!done) {
        qCWarning(zemPlatform).noquote() << "AddressBook:" << done.error().message;
        return done;
    }
    meDirty = false;
    return {};
}

} // namespace platform
