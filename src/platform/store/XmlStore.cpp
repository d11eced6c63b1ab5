// The XML store: the whole graph in memory, fetched from there, and written out whole on
// every save. Reading and writing the file are in XmlStoreReader.cpp and XmlStoreWriter.cpp.

#include "platform/store/XmlStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/store/XmlStore_p.h"
#include "foundation/detail/ZEM_F_Files.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using namespace detail::xml;

namespace {

// ---------------------------------------------------------------------------------------
// Fetching.

// The value of \a keyPath for record \a number; lists where the path passes a to-many
// relationship.
QVariant valueAt(const Schema &schema, const Graph &graph, const Record &record,
                 QStringView keyPath)
{
    const qsizetype dot = keyPath.indexOf(QLatin1Char('.'));
    const QStringView head = dot < 0 ? keyPath : keyPath.left(dot);
    const QStringView rest = dot < 0 ? QStringView() : keyPath.mid(dot + 1);
    const EntityInfo &entity = schema.entities.at(record.entity);
    const QString key = head.toString();
    if (const auto a = entity.attributeIndex.constFind(key); a != entity.attributeIndex.cend())
        return dot < 0 ? record.attributes.at(*a) : QVariant();
    const auto r = entity.relationshipIndex.constFind(key);
    if (r == entity.relationshipIndex.cend())
        return {};
    const QList<qint64> &targets = record.relations.at(*r);
    const bool toMany = entity.relationships.at(*r).toMany;
    const auto valueOf = [&](qint64 n) -> QVariant {
        const auto target = graph.records.constFind(n);
        if (target == graph.records.cend())
            return {};
        if (dot < 0)
            return QVariant::fromValue(ObjectRef{schema.entities.at(target->entity).name,
                                                 objectID(schema, target->entity, n)});
        return valueAt(schema, graph, *target, rest);
    };
    if (!toMany)
        return targets.isEmpty() ? QVariant() : valueOf(targets.constFirst());
    QVariantList list;
    list.reserve(targets.size());
    for (qint64 n : targets) {
        const QVariant v = valueOf(n);
        if (v.typeId() == QMetaType::QVariantList)
            list += v.toList();
        else
            list.append(v);
    }
    return list;
}

// Null when every step of \a keyPath names a key of the model; else what is wrong.
QString checkKeyPath(const Schema &schema, int entity, const QString &keyPath)
{
    int current = entity;
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const EntityInfo &info = schema.entities.at(current);
        if (info.attributeIndex.contains(parts.at(i))) {
            if (i + 1 < parts.size())
                return QStringLiteral("%1.%2 is an attribute, not a relationship")
                    .arg(info.name, parts.at(i));
            return {};
        }
        const auto r = info.relationshipIndex.constFind(parts.at(i));
        if (r == info.relationshipIndex.cend())
            return QStringLiteral("%1 has no key \"%2\"").arg(info.name, parts.at(i));
        current = info.destination.at(*r);
    }
    return {};
}

// Records in constants become ObjectRefs, the form relationships take in a fetch.
QVariant refsForRecords(const QVariant &value)
{
    if (PersistentObject *record = PersistentObject::fromVariant(value))
        return QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()});
    if (value.metaType() == QMetaType::fromType<RecordSet>()) {
        QVariantList list;
        for (PersistentObject *record : PersistentObject::setFromVariant(value))
            list.append(QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()}));
        return list;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &v : list)
            v = refsForRecords(v);
        return list;
    }
    return value;
}

std::shared_ptr<const Predicate::Node> prepare(const Schema &schema, int entity,
                                               const Predicate::Node &node, QString *problem)
{
    auto copy = std::make_shared<Predicate::Node>(node);
    for (Predicate::Operand *operand : {&copy->lhs, &copy->rhs}) {
        if (operand->isKeyPath) {
            if (problem->isEmpty())
                *problem = checkKeyPath(schema, entity, operand->keyPath);
        } else {
            operand->constant = refsForRecords(operand->constant);
        }
    }
    for (auto &child : copy->children)
        if (child)
            child = prepare(schema, entity, *child, problem);
    return copy;
}

// The file a store path names: a host may name its store through a link, and the
// temporaries and the lock belong beside the file itself.
QString realFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? QFileInfo(info.symLinkTarget()).absoluteFilePath() : target;
}

// An exclusive lock on "<file>.lock" beside the store file, held while one writer checks
// the file and replaces it, so two programs' saves never cross. The lock file is removed
// before the lock is let go; a writer that locked a lock file already removed tries again.
class WriterLock
{
public:
    ~WriterLock()
    {
        if (m_fd >= 0) {
            ::unlink(m_path.constData());
            ::close(m_fd); // lets the lock go
        }
    }

    std::optional<ZEM_Error> acquire(const QString &storePath, int timeoutMs)
    {
        const QString lockPath = realFile(storePath) + QStringLiteral(".lock");
        m_path = QFile::encodeName(lockPath);
        const auto failed = [&](const QString &why) {
            return ZEM_Error::make(ZEM_Error::WriteFailed, QStringLiteral("Cannot save %1: %2.").arg(storePath, why),
                                   {storePath});
        };
        const QDeadlineTimer deadline(std::max(0, timeoutMs));
        for (;;) {
            const int fd = ::open(m_path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0)
                return failed(QStringLiteral("cannot make its lock file %1 (%2)").arg(lockPath, qt_error_string(errno)));
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                struct stat locked, current;
                if (::fstat(fd, &locked) == 0 && ::stat(m_path.constData(), &current) == 0
                    && locked.st_ino == current.st_ino && locked.st_dev == current.st_dev) {
                    m_fd = fd;
                    return std::nullopt;
                }
                ::close(fd); // removed by the writer before: lock the one there now
                continue;
            }
            const int error = errno;
            ::close(fd);
            if (error != EWOULDBLOCK && error != EINTR)
                return failed(QStringLiteral("cannot lock %1 (%2)").arg(lockPath, qt_error_string(error)));
            if (deadline.hasExpired())
                return failed(QStringLiteral("another program is saving to it"));
            QThread::msleep(10);
        }
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

} // namespace

// ---------------------------------------------------------------------------------------

struct XmlStore::Private
{
    DataModel model;
    std::shared_ptr<const Schema> schema;
    QString path;
    bool readOnly = false;
    Graph graph;
    // The file as this store last read or wrote it (absent: there was none), so a save
    // never replaces what another program saved since: the graph holds no trace of that.
    std::optional<QByteArray> onDisk;
    int busyTimeout = 5000;

    int entityOf(const QString &name) const { return schema->entityIndex.value(name, -1); }

    // The number of the stored record \a id of \a entityName, or 0.
    qint64 numberOf(const Graph &g, const QString &entityName, const QString &id) const
    {
        QStringView idEntity;
        qint64 n = 0;
        if (!splitID(id, &idEntity, &n) || (!entityName.isEmpty() && idEntity != entityName))
            return 0;
        const auto it = g.records.constFind(n);
        if (it == g.records.cend() || schema->entities.at(it->entity).name != idEntity)
            return 0;
        return n;
    }
};

XmlStore::XmlStore(std::unique_ptr<Private> p) : d(std::move(p)) {}

XmlStore::~XmlStore() = default;

ZEM_Result<std::unique_ptr<XmlStore>> XmlStore::open(const DataModel &model, const QString &path,
                                                     const StoreOptions &options)
{
    ZEM_Result<std::shared_ptr<const Schema>> schema = makeSchema(model);
    if (!schema)
        return schema.error();
    auto p = std::make_unique<Private>();
    p->model = model;
    p->schema = *schema;
    p->path = path;
    p->readOnly = options.readOnly;

    if (!options.readOnly) {
        // What a writer killed mid-save left: as large as the store, and nobody's after a while.
        const QFileInfo real(realFile(path));
        ZEM_F_Files::removeStaleTemporaries(real.absolutePath(), real.fileName() + QStringLiteral(".tmp-"));
    }
    QFile file(path);
    if (!file.exists()) {
        if (options.readOnly)
            return ZEM_Error::make(ZEM_Error::NotFound,
                                   QStringLiteral("The store %1 does not exist.").arg(path),
                                   {path});
        return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return ZEM_Error::make(
            ZEM_Error::ReadFailed,
            QStringLiteral("Cannot read the store %1: %2").arg(path, file.errorString()), {path});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ZEM_Error::make(
            ZEM_Error::ReadFailed,
            QStringLiteral("Cannot read the store %1: %2").arg(path, file.errorString()), {path});
    ZEM_Result<Graph> graph = readGraph(**schema, bytes, path);
    if (!graph)
        return graph.error();
    p->graph = std::move(*graph);
    p->onDisk = bytes;
    return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
}

ZEM_Result<std::unique_ptr<XmlStore>> XmlStore::read(const DataModel &model, const QByteArray &xml)
{
    ZEM_Result<std::shared_ptr<const Schema>> schema = makeSchema(model);
    if (!schema)
        return schema.error();
    ZEM_Result<Graph> graph = readGraph(**schema, xml, QStringLiteral("XML data"));
    if (!graph)
        return graph.error();
    auto p = std::make_unique<Private>();
    p->model = model;
    p->schema = *schema;
    p->graph = std::move(*graph);
    return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
}

QByteArray XmlStore::toXml() const
{
    return serialize(*d->schema, d->graph);
}

bool XmlStore::hasSameContents(const XmlStore &other) const
{
    if (d->schema->fingerprint != other.d->schema->fingerprint ||
        d->graph.next != other.d->graph.next ||
        d->graph.records.size() != other.d->graph.records.size())
        return false;
    for (auto a = d->graph.records.cbegin(), b = other.d->graph.records.cbegin();
         a != d->graph.records.cend(); ++a, ++b) {
        if (a.key() != b.key() || a->entity != b->entity ||
            a->relations.size() != b->relations.size() ||
            a->attributes.size() != b->attributes.size())
            return false;
        for (qsizetype i = 0; i < a->relations.size(); ++i)
            if (!std::equal(a->relations.at(i).cbegin(), a->relations.at(i).cend(),
                            b->relations.at(i).cbegin(), b->relations.at(i).cend()))
                return false;
        for (qsizetype i = 0; i < a->attributes.size(); ++i)
            if (!sameValue(a->attributes.at(i), b->attributes.at(i)))
                return false;
    }
    return true;
}

qsizetype XmlStore::recordCount() const
{
    return d->graph.records.size();
}

QString XmlStore::type() const
{
    return QStringLiteral("XML");
}

QString XmlStore::path() const
{
    return d->path;
}

const DataModel &XmlStore::model() const
{
    return d->model;
}

bool XmlStore::isReadOnly() const
{
    return d->readOnly;
}

void XmlStore::setBusyTimeout(int milliseconds)
{
    d->busyTimeout = milliseconds;
}

ZEM_Result<QVariantMap> XmlStore::loadValues(const PersistentObject &record)
{
    const Schema &schema = *d->schema;
    const qint64 n = d->numberOf(d->graph, record.entityName(), record.objectID());
    if (n == 0)
        return ZEM_Error::make(ZEM_Error::NotFound,
                               QStringLiteral("The store has no %1 with the id %2.")
                                   .arg(record.entityName(), record.objectID()),
                               {record.entityName(), record.objectID()});
    const Record &stored = d->graph.records.find(n).value();
    const EntityInfo &entity = schema.entities.at(stored.entity);
    QVariantMap values;
    for (qsizetype a = 0; a < stored.attributes.size(); ++a) {
        const QVariant &value = stored.attributes.at(a);
        if (!value.isValid())
            continue;
        values.insert(entity.attributes.at(a).name, value.typeId() == QMetaType::QDateTime
                                                        ? QVariant(value.toDateTime().toLocalTime())
                                                        : value);
    }
    for (qsizetype r = 0; r < stored.relations.size(); ++r) {
        const QString &destination = schema.entities.at(entity.destination.at(r)).name;
        const QList<qint64> &targets = stored.relations.at(r);
        if (entity.relationships.at(r).toMany) {
            ObjectRefList refs;
            refs.reserve(targets.size());
            for (qint64 t : targets)
                refs.append(ObjectRef{destination, objectID(schema, entity.destination.at(r), t)});
            values.insert(entity.relationships.at(r).name, QVariant::fromValue(refs));
        } else if (!targets.isEmpty()) {
            values.insert(entity.relationships.at(r).name,
                          QVariant::fromValue(
                              ObjectRef{destination, objectID(schema, entity.destination.at(r),
                                                              targets.constFirst())}));
        }
    }
    return values;
}

ZEM_Result<QStringList> XmlStore::fetchObjectIDs(const FetchRequest &request)
{
    const Schema &schema = *d->schema;
    const int entity = d->entityOf(request.entityName);
    if (entity < 0)
        return ZEM_Error::make(
            ZEM_Error::InvalidArgument,
            QStringLiteral("Cannot fetch: the entity \"%1\" is not in the data model.")
                .arg(request.entityName),
            {request.entityName});
    QString problem;
    const Predicate predicate(prepare(schema, entity, request.predicate.root(), &problem));
    for (const SortDescriptor &s : request.sortDescriptors)
        if (problem.isEmpty())
            problem = checkKeyPath(schema, entity, s.keyPath);
    if (!problem.isEmpty())
        return ZEM_Error::make(
            ZEM_Error::InvalidArgument,
            QStringLiteral("Cannot fetch %1: %2.").arg(request.entityName, problem),
            {request.entityName});

    const Graph &graph = d->graph;
    const bool everything = request.predicate.isTrue();
    const bool stopEarly = request.sortDescriptors.isEmpty() && request.fetchLimit > 0;
    QList<QMap<qint64, Record>::const_iterator> matches;
    for (auto it = graph.records.cbegin(); it != graph.records.cend(); ++it) {
        if (it->entity != entity)
            continue;
        const Record &record = it.value();
        if (!everything && !predicate.evaluate([&](const QString &keyPath) {
                return valueAt(schema, graph, record, keyPath);
            }))
            continue;
        matches.append(it);
        if (stopEarly && matches.size() >= request.fetchLimit)
            break;
    }
    if (!request.sortDescriptors.isEmpty()) {
        // Stable, so that ties keep id order, which is insertion order.
        std::stable_sort(matches.begin(), matches.end(), [&](const auto &a, const auto &b) {
            return SortDescriptor::compare(
                       request.sortDescriptors,
                       [&](const QString &keyPath) {
                           return valueAt(schema, graph, a.value(), keyPath);
                       },
                       [&](const QString &keyPath) {
                           return valueAt(schema, graph, b.value(), keyPath);
                       }) < 0;
        });
    }
    if (request.fetchLimit > 0 && matches.size() > request.fetchLimit)
        matches.resize(request.fetchLimit);
    QStringList ids;
    ids.reserve(matches.size());
    for (const auto &it : std::as_const(matches))
        ids.append(objectID(schema, entity, it.key()));
    return ids;
}

ZEM_Result<void> XmlStore::saveChanges(const Changes &changes)
{
    if (d->readOnly)
        return ZEM_Error::make(
            ZEM_Error::WriteFailed,
            QStringLiteral("Cannot save %1: the store is read-only.").arg(d->path), {d->path});
    if (changes.inserted.isEmpty() && changes.updated.isEmpty() && changes.deleted.isEmpty())
        return {};
    const Schema &schema = *d->schema;
    const Graph &before = d->graph;
    Graph work = before;
    work.records.detach();

    // Records given as values only count when they belong to the context being saved.
    StoreContext *context = nullptr;
    for (const auto *list : {&changes.inserted, &changes.updated, &changes.deleted})
        if (!list->isEmpty() && !context)
            context = list->constFirst()->managedObjectContext();

    // Numbers for the new records first, so that links among them resolve.
    QHash<PersistentObject *, qint64> assigned;
    for (PersistentObject *record : changes.inserted) {
        const int entity = d->entityOf(record->entityName());
        if (entity < 0)
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                QStringLiteral(
                    "Cannot save a record of the entity \"%1\": it is not in the data model.")
                    .arg(record->entityName()),
                {record->entityName()});
        if (work.next > kMaxNumber)
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   QStringLiteral("Cannot save %1: no ids are left.").arg(d->path),
                                   {d->path});
        const qint64 n = work.next++;
        assigned.insert(record, n);
        work.records.insert(n, emptyRecord(schema, entity));
    }

    // Deleted records take their links with them, on both sides. Lists that lose members
    // are cleaned once each, so deleting most of a large group stays linear.
    QSet<qint64> gone;
    QSet<int> goneEntities;
    for (PersistentObject *record : changes.deleted) {
        if (const qint64 n = d->numberOf(work, record->entityName(), record->objectID()))
            gone.insert(n);
    }
    QSet<std::pair<qint64, int>> touched; // (record, relationship) holding a deleted record
    for (qint64 n : std::as_const(gone)) {
        const Record &stored = *findRecord(work, n);
        const EntityInfo &info = schema.entities.at(stored.entity);
        goneEntities.insert(stored.entity);
        for (qsizetype r = 0; r < stored.relations.size(); ++r)
            if (info.inverse.at(r) >= 0)
                for (qint64 t : stored.relations.at(r))
                    if (!gone.contains(t))
                        touched.insert({t, info.inverse.at(r)});
    }
    for (const auto &[t, r] : std::as_const(touched))
        findRecord(work, t)->relations[r].removeIf([&](qint64 x) { return gone.contains(x); });
    for (qint64 n : std::as_const(gone))
        work.records.remove(n);
    // Links without an inverse are only known from the side that holds them.
    if (!gone.isEmpty()) {
        for (auto it = work.records.begin(); it != work.records.end(); ++it) {
            const EntityInfo &info = schema.entities.at(it->entity);
            for (qsizetype r = 0; r < info.relationships.size(); ++r) {
                if (info.inverse.at(r) >= 0 || !goneEntities.contains(info.destination.at(r)))
                    continue;
                if (std::any_of(it->relations.at(r).cbegin(), it->relations.at(r).cend(),
                                [&](qint64 t) { return gone.contains(t); }))
                    it->relations[r].removeIf([&](qint64 t) { return gone.contains(t); });
            }
        }
    }

    const auto resolveInto = [&](const auto &self, const QVariant &value, int destination,
                                 QList<qint64> &out) -> void {
        const auto add = [&](const QString &entityName, const QString &id) {
            const qint64 n = d->numberOf(work, entityName, id);
            if (n != 0 && work.records.value(n).entity == destination)
                out.append(n);
        };
        if (!value.isValid())
            return;
        if (value.metaType() == QMetaType::fromType<RecordSet>()) {
            for (PersistentObject *record : PersistentObject::setFromVariant(value))
                self(self, PersistentObject::toVariant(record), destination, out);
        } else if (PersistentObject *record = PersistentObject::fromVariant(value)) {
            if (record->managedObjectContext() != context || record->isDeleted())
                return;
            if (const auto it = assigned.constFind(record); it != assigned.cend()) {
                if (work.records.value(*it).entity == destination)
                    out.append(*it);
            } else {
                add(record->entityName(), record->objectID());
            }
        } else if (value.metaType() == QMetaType::fromType<ObjectRef>()) {
            const ObjectRef ref = value.value<ObjectRef>();
            add(ref.entityName, ref.objectID);
        } else if (value.metaType() == QMetaType::fromType<ObjectRefList>()) {
            for (const ObjectRef &ref : value.value<ObjectRefList>())
                add(ref.entityName, ref.objectID);
        } else if (value.typeId() == QMetaType::QString) {
            add({}, value.toString());
        } else if (value.typeId() == QMetaType::QVariantList) {
            for (const QVariant &v : value.toList())
                self(self, v, destination, out);
        }
    };

    // Values of the inserted and changed records: attributes first, links once all values
    // are known.
    struct Written
    {
        qint64 number;
        bool isNew;
        QList<QList<qint64>> relations;
    };
    QList<Written> written;
    written.reserve(changes.inserted.size() + changes.updated.size());
    for (const QList<PersistentObject *> *list : {&changes.inserted, &changes.updated}) {
        const bool isNew = list == &changes.inserted;
        for (PersistentObject *record : *list) {
            const qint64 n = isNew ? assigned.value(record)
                                   : d->numberOf(work, record->entityName(), record->objectID());
            Record *stored = n ? findRecord(work, n) : nullptr;
            if (!stored)
                return ZEM_Error::make(
                    ZEM_Error::NotFound,
                    QStringLiteral("Cannot save %1 %2: the store does not hold it.")
                        .arg(record->entityName(), record->objectID()),
                    {record->entityName(), record->objectID()});
            const EntityInfo &info = schema.entities.at(stored->entity);
            for (qsizetype a = 0; a < info.attributes.size(); ++a) {
                const AttributeDescription &desc = info.attributes.at(a);
                const QVariant raw = record->primitiveValueForKey(desc.name);
                QVariant value;
                if (raw.isValid() && !raw.isNull()) {
                    value = desc.coerce(raw);
                    if (!value.isValid())
                        return ZEM_Error::make(
                            ZEM_Error::InvalidArgument,
                            QStringLiteral("Cannot save %1.%2 of %3: a %4 cannot hold %5.")
                                .arg(info.name, desc.name, record->objectID(), typeWord(desc.type),
                                     QString::fromLatin1(raw.typeName())),
                            {info.name, desc.name});
                }
                stored->attributes[a] = normalized(desc.type, value);
            }
            Written w{n, isNew, {}};
            for (qsizetype r = 0; r < info.relationships.size(); ++r) {
                QList<qint64> now;
                resolveInto(resolveInto,
                            record->primitiveValueForKey(info.relationships.at(r).name),
                            info.destination.at(r), now);
                // Sorted once here: sets come in hash order, and sorted inserts would be quadratic.
                std::sort(now.begin(), now.end());
                now.erase(std::unique(now.begin(), now.end()), now.end());
                if (!info.relationships.at(r).toMany && now.size() > 1)
                    now.resize(1);
                w.relations.append(now);
            }
            written.append(std::move(w));
        }
    }

    // A to-many side whose inverse is to-one follows the to-one values; only a new record's
    // list is taken as it is, and first, so that to-one values saved with it decide.
    for (const Written &w : std::as_const(written)) {
        if (!w.isNew)
            continue;
        const int entity = work.records.value(w.number).entity;
        for (qsizetype r = 0; r < w.relations.size(); ++r)
            if (isDerivedSide(schema, entity, int(r)))
                for (qint64 t : w.relations.at(r))
                    link(work, schema, w.number, int(r), t);
    }
    // Only links that differ from the store move, so a record saved with an unchanged side
    // does not undo the change another record of the same save made.
    for (const Written &w : std::as_const(written)) {
        const auto previous = before.records.constFind(w.number);
        const Record *old =
            w.isNew || previous == before.records.cend() ? nullptr : &previous.value();
        const int entity = findRecord(work, w.number)->entity;
        for (qsizetype r = 0; r < w.relations.size(); ++r) {
            if (isDerivedSide(schema, entity, int(r)))
                continue;
            const QList<qint64> &now = w.relations.at(r);
            const QList<qint64> was = old ? old->relations.at(r) : QList<qint64>();
            QList<qint64> dropped;
            std::set_difference(was.cbegin(), was.cend(), now.cbegin(), now.cend(),
                                std::back_inserter(dropped));
            unlinkAll(work, schema, w.number, int(r), dropped);
            for (qint64 t : now)
                if (!containsSorted(was, t))
                    link(work, schema, w.number, int(r), t);
        }
    }

    if (!d->path.isEmpty()) {
        const QByteArray bytes = serialize(schema, work);
        WriterLock lock;
        if (auto locked = lock.acquire(d->path, d->busyTimeout))
            return *locked;
        const auto expected = d->onDisk ? ZEM_F_Files::Expected::bytes(*d->onDisk) : ZEM_F_Files::Expected::absent();
        ZEM_Result<void> result = ZEM_F_Files::replaceFile(d->path, bytes, expected, ZEM_F_Files::Links::Follow);
        if (!result && result.error().code == ZEM_Error::Conflict)
            return ZEM_Error::make(ZEM_Error::Conflict,
                                   QStringLiteral("Cannot save %1: another program changed it since it was read; "
                                                  "open it again to see those changes.")
                                       .arg(d->path),
                                   {d->path});
        if (!result)
            return result;
        d->onDisk = bytes;
    }
    d->graph = std::move(work);
    for (auto it = assigned.cbegin(); it != assigned.cend(); ++it)
        if (StoreContext *owner = it.key()->managedObjectContext())
            owner->setObjectID(
                it.key(), objectID(schema, d->graph.records.value(it.value()).entity, it.value()));
    return {};
}

} // namespace platform
