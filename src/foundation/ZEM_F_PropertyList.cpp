#include "ZEM_F_PropertyList.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace {

// ---------------------------------------------------------------------------------------
// Reading

class Parser
{
public:
    explicit Parser(const QByteArray &xml) : m_xml(xml) {}

    // Takes one dict pair; returns why it is refused, or a null string.
    using PairSink = std::function<QString(const QString &, const QVariant &)>;

    // The document's one value; with \a pair set, the root must be a dict and each of
    // its pairs goes to \a pair in file order instead of into the returned map.
    std::optional<QVariant> parseDocument(const PairSink &pair = {})
    {
        if (!nextElement())
            return fail(QStringLiteral("no property list element"));
        bool wrapped = false;
        if (m_xml.name() == u"plist") {
            wrapped = true;
            if (!nextElement())
                return fail(QStringLiteral("the property list is empty"));
        }
        if (pair && m_xml.name() != u"dict")
            return fail(QStringLiteral("the root must be a dict, not <%1>").arg(m_xml.name()));
        std::optional<QVariant> value = pair ? parseDict(1, pair) : parseValue(1);
        if (!value)
            return std::nullopt;
        if (wrapped) {
            // Only </plist> may follow the value.
            if (nextElement())
                return fail(QStringLiteral("a property list holds one value"));
            if (m_error.isEmpty() && !(m_xml.isEndElement() && m_xml.name() == u"plist"))
                return fail(QStringLiteral("unterminated <plist>"));
            if (!m_error.isEmpty())
                return std::nullopt;
        }
        // Let the stream reader see the rest so trailing garbage is reported.
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                return fail(QStringLiteral("content after the property list"));
            if (token == QXmlStreamReader::Characters && !m_xml.isWhitespace())
                return fail(QStringLiteral("text after the property list"));
        }
        if (m_xml.hasError())
            return fail(m_xml.errorString());
        return value;
    }

    ZEM_Error error() const
    {
        return ZEM_Error::make(ZEM_Error::ParseFailed, m_error,
                               {QString::number(m_line), QString::number(m_column)});
    }

private:
    std::nullopt_t fail(const QString &what)
    {
        if (m_error.isEmpty()) {
            m_line = m_xml.lineNumber();
            m_column = m_xml.columnNumber();
            m_error = QStringLiteral("line %1, column %2: %3").arg(m_line).arg(m_column).arg(what);
        }
        return std::nullopt;
    }

    // Moves to the next start element at this level. False at an end element (the
    // reader stays on it), at the end of input or on an error (m_error set).
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace()) {
                    fail(QStringLiteral("unexpected text \"%1\"").arg(m_xml.text().left(40)));
                    return false;
                }
                break;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("unknown entity &%1;").arg(m_xml.name()));
                return false;
            case QXmlStreamReader::Invalid:
                fail(m_xml.errorString());
                return false;
            default: // declaration, DTD, comments, processing instructions
                break;
            }
        }
        if (m_xml.hasError())
            fail(m_xml.errorString());
        return false;
    }

    // The text of the current element up to its end tag; comments are skipped, child
    // elements are an error.
    std::optional<QString> elementText()
    {
        const QString element = m_xml.name().toString();
        QString text;
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::Characters:
                text += m_xml.text();
                break;
            case QXmlStreamReader::EndElement:
                return text;
            case QXmlStreamReader::StartElement:
                fail(QStringLiteral("<%1> inside <%2>").arg(m_xml.name(), element));
                return std::nullopt;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("unknown entity &%1;").arg(m_xml.name()));
                return std::nullopt;
            case QXmlStreamReader::Invalid:
                fail(m_xml.errorString());
                return std::nullopt;
            default:
                break;
            }
        }
        fail(m_xml.hasError() ? m_xml.errorString()
                              : QStringLiteral("unterminated <%1>").arg(element));
        return std::nullopt;
    }

    std::optional<QVariant> parseValue(int depth)
    {
        const QStringView name = m_xml.name();
        if (name == u"dict") {
            QVariantMap map;
            auto value = parseDict(depth, [&](const QString &key, const QVariant &v) {
                if (map.contains(key))
                    return QStringLiteral("key \"%1\" appears twice").arg(key);
                map.insert(key, v);
                return QString();
            });
            if (!value)
                return std::nullopt;
            return QVariant(map);
        }
        if (name == u"array")
            return parseArray(depth);
        if (name == u"string") {
            auto text = elementText();
            return text ? std::optional<QVariant>(QVariant(*text)) : std::nullopt;
        }
        if (name == u"integer")
            return parseInteger();
        if (name == u"real")
            return parseReal();
        if (name == u"true" || name == u"false") {
            const bool flag = name == u"true";
            auto text = elementText();
            if (!text)
                return std::nullopt;
            if (!text->trimmed().isEmpty())
                return fail(QStringLiteral("<%1> must be empty").arg(flag ? u"true" : u"false"));
            return QVariant(flag);
        }
        if (name == u"date")
            return parseDate();
        if (name == u"data")
            return parseData();
        if (name == u"key")
            return fail(QStringLiteral("<key> outside a dict"));
        return fail(QStringLiteral("unknown element <%1>").arg(name));
    }

    std::optional<QVariant> parseDict(int depth, const PairSink &pair)
    {
        if (depth > ZEM_F_PropertyList::MaxDepth)
            return fail(QStringLiteral("nesting deeper than %1").arg(ZEM_F_PropertyList::MaxDepth));
        while (nextElement()) {
            if (m_xml.name() != u"key")
                return fail(QStringLiteral("<%1> where a <key> belongs").arg(m_xml.name()));
            auto key = elementText();
            if (!key)
                return std::nullopt;
            if (!nextElement())
                return fail(QStringLiteral("key \"%1\" has no value").arg(*key));
            if (m_xml.name() == u"key")
                return fail(QStringLiteral("key \"%1\" has no value").arg(*key));
            auto value = parseValue(depth + 1);
            if (!value)
                return std::nullopt;
            if (const QString refused = pair(*key, *value); !refused.isNull())
                return fail(refused);
        }
        if (!m_error.isEmpty())
            return std::nullopt;
        if (m_xml.atEnd())
            return fail(QStringLiteral("unterminated <dict>"));
        return QVariant();
    }

    std::optional<QVariant> parseArray(int depth)
    {
        if (depth > ZEM_F_PropertyList::MaxDepth)
            return fail(QStringLiteral("nesting deeper than %1").arg(ZEM_F_PropertyList::MaxDepth));
        QVariantList list;
        while (nextElement()) {
            auto value = parseValue(depth + 1);
            if (!value)
                return std::nullopt;
            list.append(*value);
        }
        if (!m_error.isEmpty())
            return std::nullopt;
        if (m_xml.atEnd())
            return fail(QStringLiteral("unterminated <array>"));
        return QVariant(list);
    }

    std::optional<QVariant> parseInteger()
    {
        auto text = elementText();
        if (!text)
            return std::nullopt;
        QString digits = text->trimmed();
        bool ok = false;
        // Decimal only; an explicit "+" is accepted, nothing else around the digits.
        const bool plainDecimal = !digits.isEmpty() && [&] {
            qsizetype i = (digits.front() == u'-' || digits.front() == u'+') ? 1 : 0;
            if (i == digits.size())
                return false;
            for (; i < digits.size(); ++i)
                if (digits.at(i) < u'0' || digits.at(i) > u'9')
                    return false;
            return true;
        }();
        if (plainDecimal) {
            if (digits.front() == u'+')
                digits.remove(0, 1);
            const qlonglong value = digits.toLongLong(&ok, 10);
            if (ok)
                return QVariant(value);
            if (digits.front() != u'-') {
                const qulonglong big = digits.toULongLong(&ok, 10);
                if (ok)
                    return QVariant(big);
            }
        }
        return fail(QStringLiteral("bad integer \"%1\"").arg(text->left(40)));
    }

    std::optional<QVariant> parseReal()
    {
        auto text = elementText();
        if (!text)
            return std::nullopt;
        const QString number = text->trimmed();
        const QString lower = number.toLower();
        if (lower == u"nan")
            return QVariant(std::numeric_limits<double>::quiet_NaN());
        if (lower == u"inf" || lower == u"+inf" || lower == u"infinity" || lower == u"+infinity")
            return QVariant(std::numeric_limits<double>::infinity());
        if (lower == u"-inf" || lower == u"-infinity")
            return QVariant(-std::numeric_limits<double>::infinity());
        bool ok = false;
        const double value = QLocale::c().toDouble(number, &ok);
        if (!ok || !std::isfinite(value))
            return fail(QStringLiteral("bad real \"%1\"").arg(text->left(40)));
        return QVariant(value);
    }

    std::optional<QVariant> parseDate()
    {
        auto text = elementText();
        if (!text)
            return std::nullopt;
        const QString stamp = text->trimmed();
        static const QRegularExpression form(QStringLiteral(
            "^(\\d{4}-\\d{2}-\\d{2})T(\\d{2}:\\d{2}:\\d{2}(?:\\.\\d{1,3})?)(Z|([+-])(\\d{2}):(\\d{2}))?$"));
        QDateTime when;
        if (const auto m = form.match(stamp); m.hasMatch()) {
            const QDate date = QDate::fromString(m.captured(1), Qt::ISODate);
            // Range-checked here: the ISO parser takes leap seconds and 24:00 on itself.
            const QString clock = m.captured(2);
            const bool inRange = clock.mid(0, 2).toInt() <= 23 && clock.mid(3, 2).toInt() <= 59
                                 && clock.mid(6, 2).toInt() <= 59;
            const QTime time = inRange ? QTime::fromString(clock, Qt::ISODateWithMs) : QTime();
            // No zone written means UTC, which is what the writer always means.
            // QDateTime would take an invalid time for midnight.
            if (date.isValid() && time.isValid())
                when = QDateTime(date, time, QTimeZone::utc());
            if (when.isValid() && m.capturedLength(4) > 0) {
                const int hours = m.captured(5).toInt();
                const int minutes = m.captured(6).toInt();
                if (hours > 23 || minutes > 59)
                    when = {};
                else
                    when = when.addSecs((m.captured(4) == u"-" ? 1 : -1) * (hours * 3600 + minutes * 60));
            }
        }
        if (!dateInRange(when))
            return fail(QStringLiteral("bad date \"%1\"").arg(text->left(40)));
        return QVariant(when);
    }

    static bool dateInRange(const QDateTime &when)
    {
        return when.isValid() && when.date().year() >= 1 && when.date().year() <= 9999;
    }

    std::optional<QVariant> parseData()
    {
        auto text = elementText();
        if (!text)
            return std::nullopt;
        QByteArray base64;
        base64.reserve(text->size());
        for (const QChar c : *text) {
            if (c.isSpace())
                continue;
            if (c.unicode() > 0x7f)
                return fail(QStringLiteral("bad base64 data"));
            base64.append(char(c.unicode()));
        }
        auto decoded = QByteArray::fromBase64Encoding(base64,
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(QStringLiteral("bad base64 data"));
        return QVariant(*decoded);
    }

    QXmlStreamReader m_xml;
    QString m_error;
    qint64 m_line = 0;
    qint64 m_column = 0;
};

ZEM_Result<QByteArray> readAll(const QString &path)
{
    // A language file may sit in a folder the user shares: a link to a pipe or a device
    // must not hang or exhaust the process.
    return ZEM_F_Files::readRegularFile(path);
}

ZEM_Error inFile(const QString &path, ZEM_Error error)
{
    error.message = QStringLiteral("%1: %2").arg(path, error.message);
    error.arguments.prepend(path);
    return error;
}

// ---------------------------------------------------------------------------------------
// Writing

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
           || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isXmlText(const QString &text)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= n || !QChar::isLowSurrogate(p[i + 1]))
                return false;
            ++i;
            continue;
        }
        if (QChar::isLowSurrogate(c) || !isXmlChar(c))
            return false;
    }
    return true;
}

void appendEscaped(QByteArray &out, const QString &text)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype plainFrom = 0;
    QString buffer;
    auto flush = [&](qsizetype to) {
        if (to > plainFrom)
            out += QStringView(p + plainFrom, to - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        const char *entity = nullptr;
        switch (c) {
        case u'&': entity = "&amp;"; break;
        case u'<': entity = "&lt;"; break;
        case u'>': entity = "&gt;"; break;
        // A raw carriage return would come back as a line feed.
        case u'\r': entity = "&#13;"; break;
        default: break;
        }
        if (entity) {
            flush(i);
            out += entity;
            plainFrom = i + 1;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c) || !isXmlChar(c)) {
            flush(i);
            out += "\xEF\xBF\xBD"; // U+FFFD
            plainFrom = i + 1;
        }
    }
    flush(n);
}

QString dateText(const QDateTime &when)
{
    const QDateTime utc = when.toUTC();
    return utc.toString(utc.time().msec() ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")
                                          : QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

QString realText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    if (value == 0 && std::signbit(value))
        return QStringLiteral("-0");
    return QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest);
}

class Writer
{
public:
    QByteArray document(const std::function<void()> &body)
    {
        m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
        body();
        m_out += "</plist>\n";
        return std::move(m_out);
    }

    void value(const QVariant &v, int indent)
    {
        switch (v.typeId()) {
        case QMetaType::QVariantMap: {
            const QVariantMap map = v.toMap();
            dict(indent, map.size(), [&] {
                for (auto it = map.cbegin(); it != map.cend(); ++it) {
                    key(it.key(), indent + 1);
                    value(it.value(), indent + 1);
                }
            });
            return;
        }
        case QMetaType::QVariantHash: {
            // Sorted, so the same hash always gives the same file.
            const QVariantHash hash = v.toHash();
            QStringList keys = hash.keys();
            keys.sort();
            dict(indent, keys.size(), [&] {
                for (const QString &k : keys) {
                    key(k, indent + 1);
                    value(hash.value(k), indent + 1);
                }
            });
            return;
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            const QVariantList list = v.toList();
            if (list.isEmpty()) {
                line(indent, "<array/>");
                return;
            }
            line(indent, "<array>");
            for (const QVariant &item : list)
                value(item, indent + 1);
            line(indent, "</array>");
            return;
        }
        case QMetaType::Bool:
            line(indent, v.toBool() ? "<true/>" : "<false/>");
            return;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::SChar:
            element(indent, "integer", QString::number(v.toLongLong()).toLatin1());
            return;
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UChar:
            element(indent, "integer", QString::number(v.toULongLong()).toLatin1());
            return;
        case QMetaType::Double:
        case QMetaType::Float:
            element(indent, "real", realText(v.toDouble()).toLatin1());
            return;
        case QMetaType::QDateTime:
            element(indent, "date", dateText(v.toDateTime()).toLatin1());
            return;
        case QMetaType::QDate:
            element(indent, "date",
                    dateText(v.toDate().startOfDay(QTimeZone::utc())).toLatin1());
            return;
        case QMetaType::QByteArray:
            element(indent, "data", v.toByteArray().toBase64());
            return;
        default:
            string(v.toString(), indent);
            return;
        }
    }

    void key(const QString &text, int indent)
    {
        tabs(indent);
        m_out += "<key>";
        appendEscaped(m_out, text);
        m_out += "</key>\n";
    }

    void string(const QString &text, int indent)
    {
        tabs(indent);
        m_out += "<string>";
        appendEscaped(m_out, text);
        m_out += "</string>\n";
    }

    void dict(int indent, qsizetype count, const std::function<void()> &pairs)
    {
        if (count == 0) {
            line(indent, "<dict/>");
            return;
        }
        line(indent, "<dict>");
        pairs();
        line(indent, "</dict>");
    }

private:
    void tabs(int indent) { m_out.append(indent, '\t'); }

    void line(int indent, const char *text)
    {
        tabs(indent);
        m_out += text;
        m_out += '\n';
    }

    void element(int indent, const char *name, const QByteArray &text)
    {
        tabs(indent);
        m_out += '<';
        m_out += name;
        m_out += '>';
        m_out += text;
        m_out += "</";
        m_out += name;
        m_out += ">\n";
    }

    QByteArray m_out;
};

bool writable(const QVariant &v, int depth)
{
    if (depth > ZEM_F_PropertyList::MaxDepth)
        return false;
    switch (v.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = v.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            if (!isXmlText(it.key()) || !writable(it.value(), depth + 1))
                return false;
        return true;
    }
    case QMetaType::QVariantHash: {
        const QVariantHash hash = v.toHash();
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            if (!isXmlText(it.key()) || !writable(it.value(), depth + 1))
                return false;
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList list = v.toList();
        for (const QVariant &item : list)
            if (!writable(item, depth + 1))
                return false;
        return true;
    }
    case QMetaType::QStringList: {
        const QStringList list = v.toStringList();
        return depth + 1 <= ZEM_F_PropertyList::MaxDepth
               && std::all_of(list.cbegin(), list.cend(), isXmlText);
    }
    case QMetaType::QString:
        return isXmlText(v.toString());
    case QMetaType::QDateTime: {
        const QDateTime when = v.toDateTime();
        if (!when.isValid())
            return false;
        const int year = when.toUTC().date().year();
        return year >= 1 && year <= 9999;
    }
    case QMetaType::QDate:
        return v.toDate().isValid() && v.toDate().year() >= 1 && v.toDate().year() <= 9999;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::QByteArray:
        return true;
    default:
        return false;
    }
}

} // namespace

ZEM_Result<QVariant> ZEM_F_PropertyList::read(const QByteArray &xml)
{
    Parser parser(xml);
    auto value = parser.parseDocument();
    if (!value)
        return parser.error();
    return std::move(*value);
}

ZEM_Result<QVariant> ZEM_F_PropertyList::readFile(const QString &path)
{
    auto bytes = readAll(path);
    if (!bytes)
        return bytes.error();
    auto value = read(*bytes);
    if (!value)
        return inFile(path, value.error());
    return value;
}

ZEM_Result<ZEM_F_StringTable> ZEM_F_PropertyList::readStringTable(const QByteArray &xml)
{
    ZEM_F_StringTable table;
    Parser parser(xml);
    auto value = parser.parseDocument([&](const QString &key, const QVariant &text) {
        if (table.contains(key))
            return QStringLiteral("key \"%1\" appears twice").arg(key);
        if (text.typeId() != QMetaType::QString)
            return QStringLiteral("the value of key \"%1\" is not a string").arg(key);
        table.insert(key, text.toString());
        return QString();
    });
    if (!value)
        return parser.error();
    return table;
}

ZEM_Result<ZEM_F_StringTable> ZEM_F_PropertyList::readStringTableFile(const QString &path)
{
    auto bytes = readAll(path);
    if (!bytes)
        return bytes.error();
    auto table = readStringTable(*bytes);
    if (!table)
        return inFile(path, table.error());
    return table;
}

QByteArray ZEM_F_PropertyList::write(const QVariant &value)
{
    Writer writer;
    return writer.document([&] { writer.value(value, 0); });
}

QByteArray ZEM_F_PropertyList::writeStringTable(const ZEM_F_StringTable &table)
{
    Writer writer;
    return writer.document([&] {
        writer.dict(0, table.size(), [&] {
            for (const QString &key : table.keys()) {
                writer.key(key, 1);
                writer.string(table.value(key), 1);
            }
        });
    });
}

bool ZEM_F_PropertyList::canWrite(const QVariant &value)
{
    return writable(value, 1);
}

ZEM_Result<void> ZEM_F_PropertyList::writeFile(const QString &path, const QVariant &value)
{
    if (!canWrite(value)) {
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("%1: the value cannot be written as a property list")
                                   .arg(path),
                               {path});
    }
    // Property lists are the host's own files: one it names through a link is followed.
    return ZEM_F_Files::replaceFile(path, write(value), ZEM_F_Files::Expected::anything(),
                                    ZEM_F_Files::Links::Follow);
}

ZEM_Result<void> ZEM_F_PropertyList::writeStringTableFile(const QString &path,
                                                          const ZEM_F_StringTable &table)
{
    for (const QString &key : table.keys()) {
        if (!isXmlText(key) || !isXmlText(table.value(key))) {
            return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                   QStringLiteral("%1: the text of key \"%2\" holds characters a "
                                                  "property list cannot carry")
                                       .arg(path, key),
                                   {path, key});
        }
    }
    // Property lists are the host's own files: one it names through a link is followed.
    return ZEM_F_Files::replaceFile(path, writeStringTable(table), ZEM_F_Files::Expected::anything(),
                                    ZEM_F_Files::Links::Follow);
}
