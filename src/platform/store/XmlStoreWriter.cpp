// The XML store's writer: a graph as the file XmlStore documents, replaced atomically.

#include "platform/store/XmlStore_p.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::detail::xml {

namespace {

// Appends \a text to \a out as XML character data, or as an attribute value (where
// whitespace other than spaces is escaped too, since readers turn it into spaces).
void appendEscaped(QByteArray &out, QStringView text, bool attribute)
{
    const QByteArray utf8 = text.toUtf8();
    const char *begin = utf8.constData();
    const char *end = begin + utf8.size();
    const char *plain = begin;
    for (const char *p = begin; p != end; ++p) {
        const char *entity = nullptr;
        switch (*p) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '\r':
            entity = "&#13;";
            break;
        case '"':
            entity = attribute ? "&quot;" : nullptr;
            break;
        case '\t':
            entity = attribute ? "&#9;" : nullptr;
            break;
        case '\n':
            entity = attribute ? "&#10;" : nullptr;
            break;
        default:
            break;
        }
        if (!entity)
            continue;
        out.append(plain, p - plain);
        out.append(entity);
        plain = p + 1;
    }
    out.append(plain, end - plain);
}

} // namespace

// the format is small and flat, and large stores save several times faster this way.
// Every text reaching here is XML-safe (names are checked with the model, values encoded).
QByteArray serialize(const Schema &schema, const Graph &graph)
{
    QByteArray out;
    out.reserve(qsizetype(graph.records.size()) * 160 + 256);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<store version=\"1\" model=\"";
    appendEscaped(out, QString::fromLatin1(schema.fingerprint), true);
    out += "\" next=\"" + QByteArray::number(graph.next) + "\">\n";
    // Names as they appear in the file, escaped once.
    QList<QByteArray> entityNames;
    QList<QList<QByteArray>> attributeStarts, relationshipStarts, destinationPrefixes;
    for (const EntityInfo &entity : schema.entities) {
        QByteArray name;
        appendEscaped(name, entity.name, true);
        entityNames.append(name);
        QList<QByteArray> starts;
        for (const AttributeDescription &a : entity.attributes) {
            QByteArray start = "        <attribute name=\"";
            appendEscaped(start, a.name, true);
            start += "\" type=\"" + typeWord(a.type).toLatin1() + '"';
            starts.append(start);
        }
        attributeStarts.append(starts);
        starts.clear();
        for (const RelationshipDescription &r : entity.relationships) {
            QByteArray start = "        <relationship name=\"";
            appendEscaped(start, r.name, true);
            start += r.toMany ? "\" type=\"to-many\">" : "\" type=\"to-one\">";
            starts.append(start);
        }
        relationshipStarts.append(starts);
    }
    for (qsizetype e = 0; e < schema.entities.size(); ++e) {
        QList<QByteArray> prefixes;
        for (int destination : schema.entities.at(e).destination) {
            QByteArray prefix;
            appendEscaped(prefix, schema.entities.at(destination).name, false);
            prefixes.append(prefix + '/');
        }
        destinationPrefixes.append(prefixes);
    }

    for (auto it = graph.records.cbegin(); it != graph.records.cend(); ++it) {
        const Record &record = it.value();
        const EntityInfo &entity = schema.entities.at(record.entity);
        out += "    <object entity=\"" + entityNames.at(record.entity) + "\" id=\"" +
               QByteArray::number(it.key());
        bool empty = true;
        for (qsizetype a = 0; a < record.attributes.size(); ++a) {
            const QVariant &value = record.attributes.at(a);
            if (!value.isValid())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            const EncodedValue encoded = encodeValue(entity.attributes.at(a).type, value);
            out += attributeStarts.at(record.entity).at(a);
            if (!encoded.encoding.isEmpty())
                out += " encoding=\"" + encoded.encoding.toLatin1() + '"';
            out += '>';
            appendEscaped(out, encoded.text, false);
            out += "</attribute>\n";
        }
        for (qsizetype r = 0; r < record.relations.size(); ++r) {
            const QList<qint64> &targets = record.relations.at(r);
            if (targets.isEmpty())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            out += relationshipStarts.at(record.entity).at(r);
            const QByteArray &prefix = destinationPrefixes.at(record.entity).at(r);
            for (qsizetype i = 0; i < targets.size(); ++i) {
                if (i)
                    out += ' ';
                out += prefix;
                out += QByteArray::number(targets.at(i));
            }
            out += "</relationship>\n";
        }
        out += empty ? "\"/>\n" : "    </object>\n";
    }
    out += "</store>\n";
    return out;
}

// Replaces \a path by \a bytes so that a crash at any moment leaves the old or the new
// file: a temporary file in the same folder, synced, renamed over, and the folder synced.
ZEM_Result<void> writeAtomically(const QString &path, const QByteArray &bytes)
{
    QFileInfo info(path);
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    const QString folder = info.absolutePath();
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const auto failure = [&](const QString &step, int error) {
        return ZEM_Error::make(
            ZEM_Error::WriteFailed,
            QStringLiteral("Cannot save %1: %2 (%3).").arg(path, step, qt_error_string(error)),
            {path});
    };

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() +
                                 QStringLiteral(".tmp-") +
                                 QString::number(QRandomGenerator::global()->generate64(), 36));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failure(QStringLiteral("cannot create a file in %1").arg(folder), errno);

    const auto abandon = [&](const QString &step, int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return failure(step, error);
    };
    // A replaced file keeps its permissions; a new one gets the usual ones (umask applied).
    struct stat st;
    if (::stat(target.constData(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(QStringLiteral("writing failed"), errno);
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return abandon(QStringLiteral("syncing to disk failed"), errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return abandon(QStringLiteral("closing failed"), errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return abandon(QStringLiteral("replacing the file failed"), errno);

    // Without this the rename may not survive a power cut. The new file is in place either
    // way, so a folder that cannot be synced is no reason to report a failed save.
    const int dirfd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        (void)::fsync(dirfd);
        ::close(dirfd);
    }
    return {};
}

} // namespace platform::detail::xml
