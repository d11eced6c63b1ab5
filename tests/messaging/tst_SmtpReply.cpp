#include "ZemTestEnv.h"

#include "messaging/detail/SmtpReply.h"

using messaging::detail::SmtpReplyReader;
using State = SmtpReplyReader::State;

namespace {

using Reply = std::pair<int, QByteArray>; // code and text

struct Outcome
{
    QList<Reply> replies;
    State last = State::NeedMore;
};

/** Feeds \a stream in the pieces \a cuts (offsets) and takes every reply that completes. */
Outcome readAll(const QByteArray &stream, const QList<qsizetype> &cuts = {})
{
    SmtpReplyReader reader;
    Outcome out;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(stream.size());
    for (const qsizetype to : ends) {
        State s = reader.feed(stream.constData() + from, static_cast<std::size_t>(to - from));
        from = to;
        while (s == State::Complete) {
            out.replies.append({reader.code(), reader.reply()});
            s = reader.takeReply();
        }
        out.last = s;
        if (s == State::Malformed)
            break;
    }
    return out;
}

} // namespace

class tst_SmtpReply : public QObject
{
    Q_OBJECT
private slots:
    // One whole reply in the stream: the reply is all of it.
    void wholeReplies_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("code");
        QTest::newRow("one line") << QByteArray("250 OK\r\n") << 250;
        QTest::newRow("code only") << QByteArray("354\r\n") << 354;
        QTest::newRow("bare LF") << QByteArray("220 hi\n") << 220;
        QTest::newRow("multi-line") << QByteArray("220-mx.test\r\n220-second\r\n220 ready\r\n") << 220;
        QTest::newRow("mixed line ends, empty continuation") << QByteArray("250-a\n250-\r\n250 c\r\n") << 250;
        QTest::newRow("CR and NUL inside text") << QByteArray("550 no\rsuch\0user\r\n", 18) << 550;
        QTest::newRow("lowest and highest first digit") << QByteArray("199 x\r\n") << 199;
        QTest::newRow("5xx") << QByteArray("599 x\r\n") << 599;
    }

    void wholeReplies()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, code);
        SmtpReplyReader reader;
        QCOMPARE(reader.code(), 0);
        QCOMPARE(reader.feed(stream.constData(), static_cast<std::size_t>(stream.size())),
                 State::Complete);
        QCOMPARE(reader.state(), State::Complete);
        QCOMPARE(reader.code(), code);
        QCOMPARE(reader.reply(), stream);
        QVERIFY(reader.remainder().isEmpty());
        QCOMPARE(reader.takeReply(), State::NeedMore);
        QCOMPARE(reader.code(), 0);
        QVERIFY(reader.reply().isEmpty());
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("no code") << QByteArray("hello there\r\n");
        QTest::newRow("no code, no line end yet") << QByteArray("hello");
        QTest::newRow("two digits") << QByteArray("25 OK\r\n");
        QTest::newRow("short line") << QByteArray("25\r\n");
        QTest::newRow("empty line") << QByteArray("\r\n");
        QTest::newRow("four digits") << QByteArray("2500 OK\r\n");
        QTest::newRow("tab after code") << QByteArray("250\tOK\r\n");
        QTest::newRow("first digit 6") << QByteArray("650 x\r\n");
        QTest::newRow("first digit 0") << QByteArray("050 x\r\n");
        QTest::newRow("letter in code") << QByteArray("2x0 x\r\n");
        QTest::newRow("continuation with other code") << QByteArray("250-a\r\n251-b\r\n250 c\r\n");
        QTest::newRow("final with other code") << QByteArray("220-a\r\n250 ready\r\n");
        QTest::newRow("other code before its line ends") << QByteArray("220-a\r\n221");
        QTest::newRow("garbage continuation") << QByteArray("250-a\r\nbla\r\n");
        QTest::newRow("CR inside code position") << QByteArray("250\rX\r\n");
    }

    void malformed()
    {
        QFETCH(QByteArray, stream);
        SmtpReplyReader reader;
        QCOMPARE(reader.feed(stream.constData(), static_cast<std::size_t>(stream.size())),
                 State::Malformed);
        QCOMPARE(reader.code(), 0);
        // It stays so: a later good reply is not taken for an answer.
        QCOMPARE(reader.feed("250 OK\r\n", 8), State::Malformed);
        QCOMPARE(reader.takeReply(), State::Malformed);
        reader.reset();
        QCOMPARE(reader.feed("250 OK\r\n", 8), State::Complete);
        QCOMPARE(reader.code(), 250);

        // Byte by byte it fails at the same line, never completing before.
        QList<qsizetype> cuts;
        for (qsizetype i = 1; i < stream.size(); ++i)
            cuts.append(i);
        const Outcome pieces = readAll(stream, cuts);
        QVERIFY(pieces.replies.isEmpty());
        QCOMPARE(pieces.last, State::Malformed);
    }

    void everySplitPoint()
    {
        const QByteArray stream("220-mx.test ESMTP\r\n220-more\n220 ready\r\n250 hello\r\n"
                                "354 go\n250-a\r\n250 2.0.0 queued\r\n");
        const QList<Reply> expected = {
            {220, "220-mx.test ESMTP\r\n220-more\n220 ready\r\n"},
            {250, "250 hello\r\n"},
            {354, "354 go\n"},
            {250, "250-a\r\n250 2.0.0 queued\r\n"},
        };
        const Outcome whole = readAll(stream);
        QCOMPARE(whole.replies.size(), expected.size());
        QVERIFY(whole.replies == expected);
        QCOMPARE(whole.last, State::NeedMore);

        for (qsizetype i = 0; i <= stream.size(); ++i) {
            for (qsizetype j = i; j <= stream.size(); ++j) {
                const Outcome split = readAll(stream, {i, j});
                if (!(split.replies == expected) || split.last != State::NeedMore)
                    QFAIL(qPrintable(QStringLiteral("cut at %1 and %2").arg(i).arg(j)));
            }
        }
        QList<qsizetype> bytes;
        for (qsizetype i = 1; i < stream.size(); ++i)
            bytes.append(i);
        QVERIFY(readAll(stream, bytes).replies == expected);
    }

    void leftoverBytesStayForNextReply()
    {
        SmtpReplyReader reader;
        QCOMPARE(reader.feed("250 a\r\n35", 9), State::Complete);
        QCOMPARE(reader.reply(), QByteArray("250 a\r\n"));
        QCOMPARE(reader.remainder(), QByteArray("35"));
        // More bytes while a reply waits to be taken are kept, not judged yet.
        QCOMPARE(reader.feed("4 go\r\n", 6), State::Complete);
        QCOMPARE(reader.code(), 250);
        QCOMPARE(reader.takeReply(), State::Complete);
        QCOMPARE(reader.code(), 354);
        QCOMPARE(reader.reply(), QByteArray("354 go\r\n"));
        QCOMPARE(reader.takeReply(), State::NeedMore);
        QVERIFY(reader.remainder().isEmpty());

        // The leftover is read as a reply of its own: here a broken one.
        SmtpReplyReader second;
        QCOMPARE(second.feed("250 ok\r\nxyz", 11), State::Complete);
        QCOMPARE(second.takeReply(), State::Malformed);

        // A fresh reader started from a remainder continues where the first stopped.
        SmtpReplyReader first;
        QCOMPARE(first.feed("221 bye\r\n250-x\r\n", 16), State::Complete);
        const QByteArray rest = first.remainder();
        SmtpReplyReader next;
        QCOMPARE(next.feed(rest.constData(), static_cast<std::size_t>(rest.size())), State::NeedMore);
        QCOMPARE(next.feed("250 y\r\n", 7), State::Complete);
        QCOMPARE(next.reply(), QByteArray("250-x\r\n250 y\r\n"));
    }

    void sizeLimit()
    {
        constexpr auto max = static_cast<qsizetype>(SmtpReplyReader::MaxReplyBytes);
        const QByteArray finalLine("250 end\r\n");
        // Continuation lines of 100 bytes each up to exactly the limit.
        QByteArray atLimit;
        const QByteArray line = QByteArray("250-") + QByteArray(94, 'x') + "\r\n";
        while (atLimit.size() + line.size() + finalLine.size() <= max)
            atLimit += line;
        atLimit += QByteArray("250-") + QByteArray(max - atLimit.size() - finalLine.size() - 6, 'y')
                   + "\r\n";
        atLimit += finalLine;
        QCOMPARE(atLimit.size(), max);
        QCOMPARE(readAll(atLimit).replies.size(), 1);

        QByteArray over = atLimit;
        over.insert(4, 'z');
        const Outcome tooLong = readAll(over);
        QVERIFY(tooLong.replies.isEmpty());
        QCOMPARE(tooLong.last, State::Malformed);

        // A line that never ends fails once it passes the limit, not later.
        SmtpReplyReader reader;
        QCOMPARE(reader.feed("250 ", 4), State::NeedMore);
        const QByteArray filler(max - 4, 'a');
        QCOMPARE(reader.feed(filler.constData(), static_cast<std::size_t>(filler.size())),
                 State::NeedMore);
        QCOMPARE(reader.feed("a", 1), State::Malformed);

        // The limit is per reply: a reply after a long one starts from nothing.
        SmtpReplyReader twice;
        QCOMPARE(twice.feed(atLimit.constData(), static_cast<std::size_t>(atLimit.size())),
                 State::Complete);
        QCOMPARE(twice.feed(atLimit.constData(), static_cast<std::size_t>(atLimit.size())),
                 State::Complete);
        QCOMPARE(twice.takeReply(), State::Complete);
        QCOMPARE(twice.reply().size(), max);
    }
};

ZEM_TEST_MAIN(tst_SmtpReply)
#include "tst_SmtpReply.moc"
