#include "TestFiles.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace ZEM_F_Files;

class tst_ZEM_F_Files : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    void put(const char *name, const QByteArray &bytes) { QVERIFY(zemtest::writeFile(path(name), bytes)); }
    QByteArray contents(const char *name) const { return zemtest::readFile(path(name)); }

private slots:
    // Pipes and devices, directly or behind a link, must neither block nor feed endless data.
    void readRefusesWhatIsNotAPlainFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("says");
        QTest::newRow("fifo") << "fifo" << "named pipe";
        QTest::newRow("link to fifo") << "fifo-link" << "symbolic link";
        QTest::newRow("link to /dev/zero") << "zero-link" << "symbolic link";
        QTest::newRow("folder") << "sub" << "folder";
    }
    void readRefusesWhatIsNotAPlainFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, says);
        if (!QFile::exists(path("fifo"))) {
            QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
            QVERIFY(QFile::link(path("fifo"), path("fifo-link")));
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path("zero-link")));
            QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
        }
        const auto r = readRegularFile(m_dir.filePath(name));
        QVERIFY(!r);
        QCOMPARE(r.error().code, ZEM_Error::ReadFailed);
        QVERIFY2(r.error().message.contains(says), qPrintable(r.error().message));
    }

    void readHonoursTheLimitAndStamps()
    {
        put("plain", "0123456789");
        Stamp stamp;
        QCOMPARE(readRegularFile(path("plain"), 10, &stamp).value(), QByteArray("0123456789"));
        QCOMPARE(stamp, stampOf(path("plain")));
        QVERIFY(stamp.regular && stamp.size == 10 && stamp.inode != 0);
        QVERIFY(!readRegularFile(path("plain"), 9));
    }

    // The write must land beside the link's target, never in it.
    void replaceNeverWritesThroughALink()
    {
        put("target", "secret");
        QVERIFY(QFile::link(path("target"), path("card.vcf")));
        const auto r = replaceFile(path("card.vcf"), "new");
        QVERIFY(!r);
        QVERIFY(r.error().message.contains(QStringLiteral("symbolic link")));
        QCOMPARE(contents("target"), QByteArray("secret"));
        QVERIFY(QFileInfo(path("card.vcf")).isSymLink());
        // A store file the host named through a link is followed on request.
        QVERIFY(replaceFile(path("card.vcf"), "new", Expected::anything(), Links::Follow));
        QCOMPARE(contents("target"), QByteArray("new"));
        QVERIFY(QFileInfo(path("card.vcf")).isSymLink());
    }

    void replaceChecksWhatItReplaces()
    {
        put("a", "base");
        // Another program's edit between our read and our write is a conflict, not lost.
        put("a", "theirs");
        auto r = replaceFile(path("a"), "ours", Expected::bytes("base"));
        QCOMPARE(r.error().code, ZEM_Error::Conflict);
        QCOMPARE(contents("a"), QByteArray("theirs"));
        QVERIFY(replaceFile(path("a"), "ours", Expected::bytes("theirs")));
        QCOMPARE(contents("a"), QByteArray("ours"));
        // A new item must not overwrite a file that appeared meanwhile.
        QCOMPARE(replaceFile(path("a"), "x", Expected::absent()).error().code, ZEM_Error::Conflict);
        QVERIFY(replaceFile(path("fresh"), "x", Expected::absent()));
        // A removal checks too; a file already gone is no error.
        QCOMPARE(removeFile(path("a"), Expected::bytes("base")).error().code, ZEM_Error::Conflict);
        QVERIFY(removeFile(path("a"), Expected::bytes("ours")));
        QVERIFY(removeFile(path("a")));
        QVERIFY(!QFile::exists(path("a")));
        // An edit at the last moment, after the new bytes are on disk, is still seen.
        put("late", "base");
        setBeforeCheckForTesting([this](const QString &) { put("late", "theirs"); });
        r = replaceFile(path("late"), "ours", Expected::bytes("base"));
        setBeforeCheckForTesting({});
        QCOMPARE(r.error().code, ZEM_Error::Conflict);
        QCOMPARE(contents("late"), QByteArray("theirs"));
        const QStringList left = QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files);
        QVERIFY2(left.filter(QStringLiteral(".tmp-")).isEmpty(), qPrintable(left.join(u' ')));
    }

    void replaceKeepsPermissionsAndRefusesReadOnly()
    {
        put("mode", "1");
        QVERIFY(::chmod(QFile::encodeName(path("mode")).constData(), 0640) == 0);
        QVERIFY(replaceFile(path("mode"), "2"));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path("mode")).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(::chmod(QFile::encodeName(path("mode")).constData(), 0444) == 0);
        const auto r = replaceFile(path("mode"), "3");
        QVERIFY(r.error().message.contains(QStringLiteral("read-only")));
        QCOMPARE(contents("mode"), QByteArray("2"));
    }

    void staleTemporariesGoButYoungOnesStay()
    {
        QTemporaryDir dir;
        const auto make = [&](const QString &name, bool old) {
            QVERIFY(zemtest::writeFile(dir.filePath(name), {}));
            if (old) {
                struct utimbuf t{::time(nullptr) - 3600, ::time(nullptr) - 3600};
                QVERIFY(::utime(QFile::encodeName(dir.filePath(name)).constData(), &t) == 0);
            }
        };
        make(temporaryPrefix(QStringLiteral("store.xml")) + QStringLiteral("old"), true);
        make(temporaryPrefix(QStringLiteral("store.xml")) + QStringLiteral("young"), false);
        make(temporaryPrefix(QStringLiteral("other.xml")) + QStringLiteral("old"), true);
        make(QStringLiteral(".hidden-old"), true);
        QCOMPARE(removeStaleTemporaries(dir.path(), QStringLiteral("store.xml")), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).size(), 3);
        QCOMPARE(removeStaleTemporaries(dir.path()), 1);
    }

    void linksOnTheWayAreSeen()
    {
        QDir root(m_dir.path());
        QVERIFY(root.mkpath(QStringLiteral("real/inner")));
        QVERIFY(QFile::link(path("real"), path("linked")));
        QVERIFY(!passesThroughLink(m_dir.path(), path("real/inner/x.ics")));
        QVERIFY(passesThroughLink(m_dir.path(), path("linked/inner/x.ics")));
        QVERIFY(passesThroughLink(m_dir.path(), path("linked")));
    }
};

QTEST_GUILESS_MAIN(tst_ZEM_F_Files)
#include "tst_ZEM_F_Files.moc"
