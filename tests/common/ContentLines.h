#pragma once
// The content lines of vCard and iCalendar files as they stand in the bytes, and which of
// them an edit changed: golden tests check with them that a save rewrote only the lines of
// what was edited.

#include "TestFiles.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <utility>

namespace zemtest {

/** The content lines of a file as they stand in it: folds, 2.1 soft line breaks and line ends
    included, so two files compare byte for byte line by line. */
inline QList<QByteArray> rawLines(const QByteArray &text)
{
    QList<QByteArray> out;
    for (qsizetype pos = 0; pos < text.size();) {
        const qsizetype nl = text.indexOf('\n', pos);
        const QByteArray line = text.mid(pos, nl < 0 ? -1 : nl - pos + 1);
        pos += line.size();
        const QByteArray before = out.isEmpty() ? QByteArray() : out.last().trimmed();
        const bool softBreak = before.endsWith('=') && before.toUpper().contains("QUOTED-PRINTABLE");
        if (!out.isEmpty() && (line.startsWith(' ') || line.startsWith('\t') || softBreak))
            out.last() += line;
        else
            out.append(line);
    }
    return out;
}

/** A content line's property name, without its group. */
inline QByteArray propertyName(const QByteArray &line)
{
    QByteArray head = unfoldedLines(line).value(0);
    const qsizetype colon = head.indexOf(':'), semicolon = head.indexOf(';');
    head.truncate(semicolon >= 0 && (colon < 0 || semicolon < colon) ? semicolon : colon < 0 ? head.size() : colon);
    return head.mid(head.indexOf('.') + 1).toUpper();
}

/** The lines of \a before that \a after no longer has, and the lines it has that \a before
    had not, found by the longest common run of lines. */
inline std::pair<QList<QByteArray>, QList<QByteArray>> lineDiff(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    const qsizetype n = before.size(), m = after.size();
    QList<QList<int>> common(n + 1, QList<int>(m + 1, 0));
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            common[i][j] = before[i] == after[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    std::pair<QList<QByteArray>, QList<QByteArray>> out;
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && before[i] == after[j])
            ++i, ++j;
        else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1]))
            out.first.append(before[i++]);
        else
            out.second.append(after[j++]);
    }
    return out;
}

} // namespace zemtest
