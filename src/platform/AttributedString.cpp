#include "platform/AttributedString.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace platform {

AttributedString::AttributedString() = default;

AttributedString::AttributedString(const QString &text, const Format &format)
    : m_text(text), m_null(false)
{
    if (!m_text.isEmpty())
        m_runs.append({0, length(), format});
    if (m_text.isNull())
        m_text = QStringLiteral("");
}

AttributedString::Format AttributedString::formatAt(int position) const
{
    if (m_runs.isEmpty())
        return {};
    position = std::clamp(position, 0, length() - 1);
    const auto it = std::upper_bound(m_runs.cbegin(), m_runs.cend(), position,
                                     [](int pos, const Run &r) { return pos < r.start; });
    return std::prev(it)->format;
}

void AttributedString::append(const QString &text, const Format &format)
{
    m_null = false;
    if (m_text.isNull())
        m_text = QStringLiteral("");
    if (text.isEmpty())
        return;
    const int start = length();
    m_text.append(text);
    if (!m_runs.isEmpty() && m_runs.last().format == format)
        m_runs.last().length += int(text.size());
    else
        m_runs.append({start, int(text.size()), format});
}

void AttributedString::append(const AttributedString &other)
{
    if (other.isNull())
        return;
    m_null = false;
    if (m_text.isNull())
        m_text = QStringLiteral("");
    for (const Run &r : other.m_runs)
        append(other.m_text.mid(r.start, r.length), r.format);
}

void AttributedString::setFormat(int start, int n, const Format &format)
{
    start = std::clamp(start, 0, length());
    const int end = std::clamp(n < 0 ? length() : start + n, start, length());
    if (start == end)
        return;
    QList<Run> before, after;
    for (const Run &r : std::as_const(m_runs)) {
        const int rEnd = r.start + r.length;
        if (r.start < start)
            before.append({r.start, std::min(rEnd, start) - r.start, r.format});
        if (rEnd > end)
            after.append({std::max(r.start, end), rEnd - std::max(r.start, end), r.format});
    }
    QList<Run> runs = before;
    runs.append({start, end - start, format});
    runs.append(after);
    m_runs = runs;
    normalize();
}

void AttributedString::normalize()
{
    QList<Run> merged;
    for (const Run &r : std::as_const(m_runs)) {
        if (r.length <= 0)
            continue;
        if (!merged.isEmpty() && merged.last().format == r.format)
            merged.last().length += r.length;
        else
            merged.append(r);
    }
    m_runs = merged;
}

AttributedString AttributedString::mid(int position, int n) const
{
    if (m_null)
        return {};
    const int start = std::clamp(position, 0, length());
    const int end = n < 0 ? length() : int(std::clamp<qint64>(qint64(start) + n, start, length()));
    AttributedString result(QStringLiteral(""));
    for (const Run &r : m_runs) {
        const int from = std::max(r.start, start);
        const int to = std::min(r.start + r.length, end);
        if (from < to)
            result.append(m_text.mid(from, to - from), r.format);
    }
    return result;
}

AttributedString AttributedString::left(int n) const
{
    return mid(0, std::max(n, 0));
}

std::unique_ptr<QTextDocument> AttributedString::toTextDocument() const
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    for (const Run &r : m_runs) {
        QTextCharFormat format;
        format.setFont(r.format.font);
        if (r.format.foreground.isValid())
            format.setForeground(r.format.foreground);
        // insertText turns "\n" into new blocks itself.
        cursor.insertText(m_text.mid(r.start, r.length), format);
    }
    return document;
}

QString AttributedString::toHtml() const
{
    return toTextDocument()->toHtml();
}

AttributedString AttributedString::fromTextDocument(const QTextDocument &document)
{
    AttributedString result(QStringLiteral(""));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            result.append(QStringLiteral("\n"), result.formatAt(result.length() - 1));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat cf = fragment.charFormat();
            Format format{cf.font(), cf.hasProperty(QTextFormat::ForegroundBrush) ? cf.foreground().color() : QColor()};
            result.append(fragment.text(), format);
        }
    }
    return result;
}

} // namespace platform
