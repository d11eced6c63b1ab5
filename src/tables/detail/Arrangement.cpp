#include "tables/detail/Arrangement.h"

#include "tables/detail/RecordValues.h"

#include <algorithm>
#include <cmath>

namespace tables::detail {

namespace {

// The direction does not change what is read, so reversing a sort reuses the keys.
bool sameKeys(const QList<platform::SortDescriptor> &a, const QList<platform::SortDescriptor> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].keyPath != b[i].keyPath || a[i].caseInsensitive != b[i].caseInsensitive)
            return false;
    return true;
}

bool isPlainNumber(const QVariant &v, double *out)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        *out = v.toDouble();
        return true;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: {
        // Beyond 2^53 a double no longer tells integers apart; NaN has its own order.
        const double d = v.toDouble();
        *out = d;
        return !std::isnan(d) && std::fabs(d) <= 9007199254740992.0;
    }
    default:
        return false;
    }
}

// The first four UTF-16 units of \a text as one number that orders as their code points
// do (surrogates move above the units after them).
quint64 codePointPrefix(const QString &text)
{
    quint64 prefix = 0;
    const qsizetype n = text.size();
    const QChar *data = text.constData();
    for (qsizetype i = 0; i < 4; ++i) {
        quint64 unit = i < n ? data[i].unicode() : 0;
        if (unit >= 0xD800 && unit < 0xE000)
            unit += 0x2000;
        else if (unit >= 0xE000)
            unit -= 0x800;
        prefix = (prefix << 16) | unit;
    }
    return prefix;
}

} // namespace

void Arrangement::setContent(const QList<QObject *> *content)
{
    m_content = content;
    invalidate();
}

void Arrangement::invalidate()
{
    m_foldedValid = false;
    m_columnsValid = false;
    m_folded.clear();
    m_columns.clear();
}

const std::vector<QString> &Arrangement::foldedSearchTexts(const QString &searchKey)
{
    if (m_foldedValid && m_foldedKey == searchKey)
        return m_folded;
    m_folded.clear();
    m_folded.reserve(size_t(m_content->size()));
    for (QObject *record : *m_content) {
        const QVariant value = recordValue(record, searchKey);
        m_folded.push_back(value.isValid() ? foldCase(value.toString()) : QString());
    }
    m_foldedKey = searchKey;
    m_foldedValid = true;
    return m_folded;
}

bool Arrangement::readTextColumn(SortColumn &column) const
{
    const auto n = size_t(m_content->size());
    const bool folded = column.descriptor.caseInsensitive;
    column.kind = SortColumn::Text;
    column.missing.assign(n, 0);
    column.text.resize(n);
    if (folded)
        column.raw.resize(n);
    for (size_t i = 0; i < n; ++i) {
        QVariant v = recordValue(m_content->at(qsizetype(i)), column.descriptor.keyPath);
        if (!v.isValid() || v.isNull()) {
            column.missing[i] = 1;
            continue;
        }
        if (v.typeId() != QMetaType::QString)
            return false;
        QString s = std::move(*static_cast<QString *>(v.data()));
        column.text[i] = folded ? foldCase(s) : s;
        if (folded)
            column.raw[i] = std::move(s);
    }
    return true;
}

Arrangement::SortColumn Arrangement::readColumn(const platform::SortDescriptor &descriptor) const
{
    SortColumn column;
    column.descriptor = descriptor;
    // Most sort keys are texts: read them straight into place, without a list of variants.
    if (readTextColumn(column))
        return column;
    column = SortColumn();
    column.descriptor = descriptor;
    const auto n = size_t(m_content->size());
    QList<QVariant> values;
    values.reserve(qsizetype(n));
    bool allNumber = true;
    for (QObject *record : *m_content) {
        QVariant v = recordValue(record, descriptor.keyPath);
        double d = 0;
        const bool missing = !v.isValid() || v.isNull();
        allNumber = allNumber && (missing || isPlainNumber(v, &d));
        values.append(std::move(v));
    }
    column.missing.resize(n);
    if (allNumber) {
        column.kind = SortColumn::Number;
        column.number.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const QVariant &v = values.at(qsizetype(i));
            column.missing[i] = !v.isValid() || v.isNull();
            if (!column.missing[i])
                isPlainNumber(v, &column.number[i]);
        }
    } else {
        column.values = std::move(values);
    }
    return column;
}

const std::vector<Arrangement::SortColumn> &Arrangement::sortColumns(const QList<platform::SortDescriptor> &descriptors)
{
    if (m_columnsValid && sameKeys(m_columnsFor, descriptors)) {
        for (size_t i = 0; i < m_columns.size(); ++i)
            m_columns[i].descriptor.ascending = descriptors.at(qsizetype(i)).ascending;
        return m_columns;
    }
    m_columns.clear();
    for (const platform::SortDescriptor &d : descriptors)
        m_columns.push_back(readColumn(d));
    m_columnsFor = descriptors;
    m_columnsValid = true;
    return m_columns;
}

int Arrangement::SortColumn::compare(int a, int b) const
{
    int c = 0;
    if (kind == Mixed) {
        c = platform::Predicate::order(values.at(a), values.at(b), descriptor.caseInsensitive);
    } else if (missing[size_t(a)] || missing[size_t(b)]) {
        c = int(!missing[size_t(a)]) - int(!missing[size_t(b)]);
    } else if (kind == Number) {
        const double x = number[size_t(a)], y = number[size_t(b)];
        c = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        c = compareCodePoints(text[size_t(a)], text[size_t(b)]);
        if (c == 0 && descriptor.caseInsensitive)
            c = compareCodePoints(raw[size_t(a)], raw[size_t(b)]);
    }
    return descriptor.ascending ? c : -c;
}

void Arrangement::sortByText(QList<int> &rows, const SortColumn &column)
{
    // The sort moves small keys that hold each text's first units, so most comparisons
    // touch no text at all; only equal prefixes compare the texts.
    struct Keyed
    {
        quint64 prefix;
        int row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(rows.size()));
    for (int row : std::as_const(rows))
        keyed.push_back({column.missing[size_t(row)] ? 0 : codePointPrefix(column.text[size_t(row)]), row});
    const bool ascending = column.descriptor.ascending;
    std::stable_sort(keyed.begin(), keyed.end(), [&column, ascending](const Keyed &a, const Keyed &b) {
        if (a.prefix != b.prefix)
            return ascending ? a.prefix < b.prefix : a.prefix > b.prefix;
        return column.compare(a.row, b.row) < 0;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        rows[qsizetype(i)] = keyed[i].row;
}

QList<int> Arrangement::arrange(const QString &searchKey, const QString &searchString,
                                const platform::Predicate &filter,
                                const QList<platform::SortDescriptor> &sortDescriptors)
{
    QList<int> rows;
    if (!m_content)
        return rows;
    const int n = int(m_content->size());
    rows.reserve(n);
    if (!searchKey.isEmpty() && !searchString.isEmpty()) {
        const std::vector<QString> &folded = foldedSearchTexts(searchKey);
        const QString needle = foldCase(searchString);
        for (int i = 0; i < n; ++i)
            if (folded[size_t(i)].contains(needle))
                rows.append(i);
    } else {
        for (int i = 0; i < n; ++i)
            rows.append(i);
    }
    if (!filter.isTrue()) {
        QList<int> kept;
        kept.reserve(rows.size());
        for (int i : rows) {
            QObject *record = m_content->at(i);
            if (filter.evaluate([record](const QString &keyPath) { return recordValue(record, keyPath); }))
                kept.append(i);
        }
        rows = std::move(kept);
    }
    if (!sortDescriptors.isEmpty()) {
        const std::vector<SortColumn> &columns = sortColumns(sortDescriptors);
        if (columns.size() == 1 && columns.front().kind == SortColumn::Text) {
            sortByText(rows, columns.front());
            return rows;
        }
        std::stable_sort(rows.begin(), rows.end(), [&columns](int a, int b) {
            for (const SortColumn &column : columns)
                if (const int c = column.compare(a, b))
                    return c < 0;
            return false;
        });
    }
    return rows;
}

} // namespace tables::detail
