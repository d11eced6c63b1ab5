#pragma once

#include "platform/store/DataModel.h"
#include "platform/store/PersistentStore.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QString>

#include <memory>

namespace platform {

/**
 * A store kept in an SQLite file.
 *
 * Layout: one table per entity ("Z" + the upper-cased entity name) with an integer key
 * Z_PK, one column per attribute and one per to-one relationship (the destination's key,
 * indexed). A to-many relationship whose inverse is to-one is read from that inverse's
 * column; any other to-many relationship has a join table, shared by both sides of a
 * to-many pair. A metadata table holds the model's fingerprint and a description of each
 * entity, so a file is only ever opened with the model it was written for.
 *
 * Values: texts as UTF-8, integers and booleans as integers, doubles as reals (NaN as the
 * text "NaN", so it reads back as NaN; negative zero reads back as zero), dates as milliseconds since 1970 UTC (read back in
 * local time), binary data as blobs. An attribute without a value is NULL.
 *
 * Object ids are "<entity>/<Z_PK>"; keys are never handed out twice, even after deletes.
 *
 * Every save is one transaction in WAL mode with full syncing: a crash or power loss in the
 * middle of one leaves the previous save intact. A save that fails (a lock held too long,
 * a full disk, a value an attribute cannot take) changes nothing, neither in the file nor
 * in the records.
 *
 * Fetches run as SQL where the predicate and sort allow it, comparing through functions
 * that call Predicate::compare() so the result is the same as evaluating in memory; the
 * rest (key paths through to-many relationships, comparisons SQL cannot express) is
 * evaluated in memory over the stored values.
 *
 * A store is used from one thread at a time.
 *
 * \code
 * auto store = platform::SqliteStore::open(model, path, {});
 * if (!store)
 *     return store.error();
 * context->setPersistentStore(store->get());
 * \endcode
 */
class ZEM_APPKIT_EXPORT SqliteStore : public PersistentStore
{
public:
    ~SqliteStore() override;
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    /**
     * Opens the store in the file \a path for \a model.
     *
     * A missing or empty file becomes a new store with the model's tables when writable,
     * and gives NotFound (missing) or ParseFailed (empty) when \a options ask for reading
     * only. An existing file must be a store of this kit written for the same model: any
     * difference (an entity, attribute, relationship or column) gives Conflict naming it,
     * and the file is left as it is. Files that are not SQLite databases, or are damaged or
     * cut short, give ParseFailed; files that cannot be read ReadFailed; a file or folder
     * that cannot be written when \a options ask for writing WriteFailed. A model whose
     * names would map to the same table or column gives InvalidArgument.
     */
    static ZEM_Result<std::unique_ptr<SqliteStore>> open(const DataModel &model, const QString &path,
                                                        const StoreOptions &options = {});

    /** "SQLite". */
    QString type() const override;
    QString path() const override;
    const DataModel &model() const override;
    bool isReadOnly() const override;

    /** As PersistentStore::loadValues(); to-many relations are listed in key order. */
    ZEM_Result<QVariantMap> loadValues(const PersistentObject &record) override;

    /**
     * As PersistentStore::fetchObjectIDs(). Key paths may pass through relationships (a
     * to-one gives the destination's value, a to-many a list of the destinations' values);
     * a relationship itself gives an ObjectRef or a list of them, and records given as
     * arguments compare as their ObjectRef. A key the model lacks is InvalidArgument.
     */
    ZEM_Result<QStringList> fetchObjectIDs(const FetchRequest &request) override;

    /**
     * As PersistentStore::saveChanges(). Join rows and to-one links are written as changes
     * against the stored state, so a link changed on one side of a to-many relationship
     * reaches the other side too (for a to-many side whose inverse is to-one, by setting the
     * inverse column of the destination). Deleting a record removes its join rows and
     * empties to-one columns that point at it. Values an attribute's type cannot take give
     * InvalidArgument, and failures to write WriteFailed with the path and SQLite's reason.
     *
     * Another program may save to the same file: a save writes only the columns and links a
     * record changed since it was loaded, so the other program's edits of other columns and
     * links stay. A record deleted from the file since it was loaded, a column changed there
     * to another value than this save writes, or a record to delete that changed there, give
     * Conflict, and nothing of the save is written.
     */
    ZEM_Result<void> saveChanges(const Changes &changes) override;

    /**
     * How long a save waits for another connection's write lock before it fails with
     * WriteFailed; 5000 ms unless set.
     */
    void setBusyTimeout(int milliseconds);

private:
    SqliteStore();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
