#include "platform/addressbook/detail/CardFile.h"

#include <QByteArrayView>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

namespace {

QByteArrayView trimmedView(QByteArrayView s)
{
    while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t'))
        s = s.sliced(1);
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t'))
        s.chop(1);
    return s;
}

bool isLine(QByteArrayView text, QByteArrayView what)
{
    return trimmedView(text).compare(what, Qt::CaseInsensitive) == 0;
}

// "AGENT:" with nothing after it: 2.1 writes the agent's own card on the next lines.
bool isEmptyAgent(QByteArrayView text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0 || !trimmedView(text.sliced(colon + 1)).isEmpty())
        return false;
    QByteArrayView name = text.first(colon);
    if (const qsizetype semicolon = name.indexOf(';'); semicolon >= 0)
        name = name.first(semicolon);
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    return trimmedView(name).compare("AGENT", Qt::CaseInsensitive) == 0;
}

struct Span
{
    qsizetype start;
    qsizetype end;
};

// Where each top-level card lies: from its BEGIN line to the end of its END line (or to
// the next card's BEGIN when it has none), the way the reader finds them.
QList<Span> cardSpans(QByteArrayView data)
{
    QList<Span> spans;
    int depth = 0;
    bool agentBefore = false;
    qsizetype start = 0;
    const qsizetype n = data.size();
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype lineEnd = pos;
        while (lineEnd < n && data[lineEnd] != '\r' && data[lineEnd] != '\n')
            ++lineEnd;
        qsizetype next = lineEnd;
        if (next < n && data[next] == '\r' && next + 1 < n && data[next + 1] == '\n')
            ++next;
        next = std::min(next + 1, n);
        const QByteArrayView text = data.sliced(pos, lineEnd - pos);
        const bool continuation = !text.isEmpty() && (text.front() == ' ' || text.front() == '\t');
        if (!continuation && !trimmedView(text).isEmpty()) {
            if (isLine(text, "BEGIN:VCARD")) {
                if (depth == 0) {
                    start = pos;
                    depth = 1;
                } else if (depth == 1 && !agentBefore) {
                    spans.append({start, pos}); // the card before had no END
                    start = pos;
                } else {
                    ++depth;
                }
            } else if (isLine(text, "END:VCARD") && depth > 0) {
                if (--depth == 0)
                    spans.append({start, next});
            }
            agentBefore = depth == 1 && isEmptyAgent(text);
        }
        pos = next;
    }
    if (depth > 0)
        spans.append({start, n});
    return spans;
}

} // namespace

int CardFile::indexOf(const QString &uid) const
{
    for (int i = 0; i < cards.size(); ++i)
        if (cards[i].uid == uid)
            return i;
    return -1;
}

CardFile readCardFile(const QByteArray &bytes, const QString &baseName)
{
    CardFile file;
    VCardReadResult whole = readVCards(bytes);
    file.problems = whole.problems;
    const qsizetype count = whole.cards.size();
    for (qsizetype i = 0; i < count; ++i) {
        FileCard c;
        c.card = std::move(whole.cards[i]);
        c.uid = c.card.uid().trimmed();
        if (c.uid.isEmpty())
            c.uid = i == 0 ? baseName : u"%1-%2"_s.arg(baseName).arg(i + 1);
        file.cards.append(std::move(c));
    }
    if (count == 1) {
        file.cards[0].bytes = bytes;
        file.cards[0].end = bytes.size();
    } else if (count > 1) {
        // Trust the spans only when each reads as exactly the card the whole file gave.
        const QList<Span> spans = cardSpans(bytes);
        file.splittable = spans.size() == count;
        for (qsizetype i = 0; file.splittable && i < count; ++i) {
            FileCard &c = file.cards[i];
            c.start = spans[i].start;
            c.end = spans[i].end;
            c.bytes = bytes.sliced(c.start, c.end - c.start);
            VCardReadResult one = readVCards(c.bytes);
            file.splittable = one.cards.size() == 1 && one.cards.first() == c.card;
            if (file.splittable)
                c.card = std::move(one.cards.first()); // where its lines lie in its own bytes
        }
        if (!file.splittable) {
            // Without their own bytes the cards still differ from each other for change checks.
            for (FileCard &c : file.cards) {
                c.bytes = writeVCard(c.card, c.card.version);
                c.start = c.end = 0;
                for (VCardProperty &p : c.card.properties)
                    p.sourceStart = p.sourceEnd = -1;
            }
        }
    }
    return file;
}

QByteArray rewriteCardFile(const QByteArray &bytes, const CardFile &file,
                           const QMap<int, std::optional<QByteArray>> &changes)
{
    QByteArray out;
    out.reserve(bytes.size());
    qsizetype pos = 0;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        const FileCard &c = file.cards.at(it.key());
        out.append(bytes.sliced(pos, c.start - pos));
        if (it.value())
            out.append(*it.value());
        pos = c.end;
    }
    out.append(bytes.sliced(pos));
    return out;
}

} // namespace platform::detail::card
