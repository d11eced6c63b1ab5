#pragma once

#include "platform/store/DataModel.h"
#include "platform/store/PersistentStore.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace platform {

/**
 * A store that keeps its whole object graph in one XML file: read whole on open, kept in
 * memory, and written whole on every save (to a temporary file in the same folder, synced
 * to disk, then renamed over the old one, so the file is always either the old or the new
 * graph). Temporaries a killed writer left behind are removed when the store is next opened
 * for writing.
 *
 * Several programs may open one file. A save holds an exclusive lock on "<file>.lock"
 * beside the file, and writes only when the file is still the one this store read or last
 * wrote: otherwise it fails with Conflict and writes nothing, since writing the whole graph
 * would undo the other program's save. A file without write permission is never replaced.
 *
 * \code
 * <?xml version="1.0" encoding="UTF-8"?>
 * <store version="1" model="<DataModel::fingerprint()>" next="10">
 *     <object entity="Person" id="7">
 *         <attribute name="lastName" type="string">Berg</attribute>
 *         <attribute name="note" type="string" encoding="base64">AQBoAGkA</attribute>
 *         <attribute name="born" type="date">1990-05-01T10:00:00.000Z</attribute>
 *         <relationship name="group" type="to-one">Group/3</relationship>
 *         <relationship name="friends" type="to-many">Person/8 Person/9</relationship>
 *     </object>
 * </store>
 * \endcode
 *
 * Object ids are "<entity>/<n>" with n unique across entities; the file holds n in `id`,
 * and `next` is the n the next inserted record gets, so ids of deleted records are not
 * handed out again.
 *
 * Values, one element per attribute that has one (an empty element is an empty text or
 * data, a missing element no value):
 * - string: the text itself; a text XML cannot carry exactly (control characters, U+FFFE,
 *   U+FFFF, unpaired surrogates, carriage returns) is written with encoding="base64" as
 *   base 64 of its UTF-16LE code units;
 * - integer: decimal;
 * - double: the shortest text that reads back to the same double, "-0" for negative zero,
 *   "inf", "-inf" and "nan" (every NaN reads back as the same quiet NaN);
 * - boolean: "true" or "false";
 * - date: UTC ISO 8601 to the millisecond ("…Z"), read back in local time; dates outside
 *   the years 1 to 9999 as milliseconds since 1970 with encoding="msecs";
 * - binary: base 64.
 *
 * Relationships list the ids of their destinations in id order, each side in its own
 * record. On reading, the sides are made to agree: a to-many side whose inverse is to-one
 * is rebuilt from the to-one sides, a to-many pair holds the links either side names, and
 * of conflicting one-to-one links the one named by the record with the larger id holds.
 *
 * Reading refuses (with ParseFailed, naming line and column) anything that is not such a
 * file: bad XML, a document type declaration (so no entity is ever expanded), other
 * elements, entities, attributes or relationships the model lacks, values of the wrong
 * type, repeated ids, and references to missing records or records of the wrong entity.
 * A file written for another model (another fingerprint) gives Conflict.
 */
class ZEM_APPKIT_EXPORT XmlStore : public PersistentStore
{
public:
    ~XmlStore() override;
    XmlStore(const XmlStore &) = delete;
    XmlStore &operator=(const XmlStore &) = delete;

    /**
     * Opens the store in the file \a path, reading it whole. A missing file is an empty
     * store when writable (the file appears with the first save) and NotFound when
     * \a options ask for reading only; an unreadable one gives ReadFailed.
     */
    static ZEM_Result<std::unique_ptr<XmlStore>> open(const DataModel &model, const QString &path,
                                                      const StoreOptions &options = {});

    /**
     * A store holding the graph in \a xml, not backed by a file: its saves change only the
     * graph in memory. Errors as for open().
     */
    static ZEM_Result<std::unique_ptr<XmlStore>> read(const DataModel &model,
                                                      const QByteArray &xml);

    /** The graph as the file holds it; read() of the result gives an equal graph. */
    QByteArray toXml() const;

    /**
     * True when \a other holds the same records with the same ids and values (doubles
     * bit for bit apart from NaNs, dates by instant) and would give the next record the
     * same id.
     */
    bool hasSameContents(const XmlStore &other) const;

    /** The number of records in the store. */
    qsizetype recordCount() const;

    QString type() const override;
    /** The file behind the store; empty for a store made by read(). */
    QString path() const override;
    const DataModel &model() const override;
    bool isReadOnly() const override;

    ZEM_Result<QVariantMap> loadValues(const PersistentObject &record) override;
    /**
     * As PersistentStore::fetchObjectIDs(), evaluated in memory. Key paths may pass
     * through relationships (a to-one one gives the destination's value, a to-many one a
     * list of the destinations' values); a relationship itself gives an ObjectRef or a list
     * of them, and records given as arguments compare as their ObjectRef. A key the model
     * lacks is an InvalidArgument error.
     */
    ZEM_Result<QStringList> fetchObjectIDs(const FetchRequest &request) override;
    /**
     * As PersistentStore::saveChanges(). Links keep both sides in step, also in records
     * outside the save:
     * - a to-one relationship decides over its to-many inverse: the to-many list of a record
     *   is taken only when the record is new, and otherwise follows the to-one values of
     *   the records on the other side (so set the to-one side to move a record);
     * - other relationships with an inverse change the other side with them.
     * Only links that differ from the store count, so a record saved with an unchanged side
     * does not undo a change made through the other side in the same save. Values an
     * attribute's type cannot take give InvalidArgument; a file another program saved since
     * this store read it Conflict; failures to write (a read-only file, another writer
     * holding the lock past the busy timeout) WriteFailed with the path and the reason.
     */
    ZEM_Result<void> saveChanges(const Changes &changes) override;

    /**
     * How long a save waits for another writer of the file to finish before it fails with
     * WriteFailed; 5000 ms unless set.
     */
    void setBusyTimeout(int milliseconds);

private:
    struct Private;
    explicit XmlStore(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace platform
