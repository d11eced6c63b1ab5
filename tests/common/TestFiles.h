#pragma once
// Files for tests: writing fixtures, reading back what the code wrote, and comparing it with
// golden files kept beside the samples they come from; and what a store of them announced.
//
// Golden files: with ZEM_UPDATE_GOLDEN=1 in the environment, ZEM_COMPARE_GOLDEN rewrites
// each golden file with what the code produces now instead of comparing, for instance
//     ZEM_UPDATE_GOLDEN=1 ctest --test-dir build-test -R 'tst_VCard|tst_CalendarStore'
// Then read what changed (git diff) before committing it: a golden file is only worth
// something if a person checked that it is right, not merely what the code does today.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QtTest>

namespace zemtest {

/** Writes \a bytes to \a path, making its folders first; true when every byte was written. */
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/** The bytes of \a path; empty when it cannot be read. */
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** \a text with CRLF line ends, as vCard and iCalendar files have them. */
inline QByteArray crlf(QByteArray text)
{
    text.replace("\r\n", "\n");
    return text.replace("\n", "\r\n");
}

/** The logical lines of a vCard or iCalendar text: folded lines joined, empty lines dropped. */
inline QList<QByteArray> unfoldedLines(const QByteArray &text)
{
    QList<QByteArray> out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !out.isEmpty())
            out.last().append(line.mid(1));
        else if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

/**
 * Empty when \a actual equals the golden file \a golden; else what differs first. Under
 * ZEM_UPDATE_GOLDEN=1 the golden file is rewritten with \a actual instead.
 */
[[nodiscard]] inline QString goldenMismatch(const QByteArray &actual, const QString &golden)
{
    const QByteArray expected = readFile(golden);
    if (qEnvironmentVariableIntValue("ZEM_UPDATE_GOLDEN") == 1) {
        if (expected == actual && QFileInfo::exists(golden))
            return {};
        if (!writeFile(golden, actual))
            return QStringLiteral("cannot write %1").arg(golden);
        qInfo("rewrote %s", qPrintable(golden));
        return {};
    }
    if (!QFileInfo::exists(golden))
        return QStringLiteral("%1 is missing; ZEM_UPDATE_GOLDEN=1 writes it").arg(golden);
    if (expected == actual)
        return {};
    const QList<QByteArray> want = expected.split('\n'), got = actual.split('\n');
    qsizetype line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    const auto show = [line](const QList<QByteArray> &lines) {
        return line < lines.size() ? QString::fromUtf8(lines[line]).replace(u'\r', QStringLiteral("\\r"))
                                   : QStringLiteral("<end of file>");
    };
    return QStringLiteral("%1, line %2:\n   expected: %3\n   actual:   %4\n(ZEM_UPDATE_GOLDEN=1 rewrites it)")
        .arg(golden)
        .arg(line + 1)
        .arg(show(want), show(got));
}

/** What a store or book announced, one line a signal: "+inserted ~updated -deleted by sender". */
inline QStringList announced(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << QStringLiteral("+%1 ~%2 -%3 by %4")
                   .arg(args[0].toStringList().join(u','), args[1].toStringList().join(u','),
                        args[2].toStringList().join(u','), args[3].toString());
    return out;
}

} // namespace zemtest

/** Fails the test unless \a actual equals the golden file \a golden (see goldenMismatch). */
#define ZEM_COMPARE_GOLDEN(actual, golden)                                                       \
    do {                                                                                         \
        const QString zemGoldenMismatch = zemtest::goldenMismatch((actual), (golden));          \
        QVERIFY2(zemGoldenMismatch.isEmpty(), qPrintable(zemGoldenMismatch));                   \
    } while (false)
