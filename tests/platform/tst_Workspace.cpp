#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using platform::RecordingWorkspace;
using platform::Workspace;
using Kind = platform::WorkspaceRequest::Kind;
using zemtest::writeFile;

namespace {

QString makeExecutable(const QString &path, bool executable = true)
{
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        p |= QFile::ExeOwner;
    return writeFile(path, "#!/bin/sh\nexit 0\n") && QFile::setPermissions(path, p) ? path : QString();
}

} // namespace

class tst_Workspace : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        m_onPath = makeExecutable(bin + QStringLiteral("/zem-fake-mailer"));
        makeExecutable(bin + QStringLiteral("/zem-not-executable"), false);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ':' + m_oldPath);

        // A program outside PATH, in a folder with a space, reached only through its entry.
        const QString apps = ZemTestEnv::current()->dataHome() + QStringLiteral("/applications");
        QDir().mkpath(m_dir.filePath(QStringLiteral("opt dir")));
        m_fromDesktop = makeExecutable(m_dir.filePath(QStringLiteral("opt dir/organiser-bin")));
        QVERIFY(writeFile(apps + QStringLiteral("/org.example.ZemOrganiser.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Zem Organiser\n"
                          "Exec=\"" + m_fromDesktop.toUtf8() + "\" %U\n"
                          "[Desktop Action New]\nName=Other Name\nExec=/bin/false\n"));
        QVERIFY(writeFile(apps + QStringLiteral("/sub/zem-hidden.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Zem Hidden\nHidden=true\nExec=" +
                              m_fromDesktop.toUtf8() + "\n"));
        QVERIFY(writeFile(apps + QStringLiteral("/zem-broken.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Zem Broken\n"
                          "Exec=/nonexistent/zem-broken %f\n"));
        QVERIFY(writeFile(apps + QStringLiteral("/zem-link.desktop"),
                          "[Desktop Entry]\nType=Link\nName=Zem Link\nExec=" + m_fromDesktop.toUtf8() + "\n"));
    }
    void cleanupTestCase();

    void recordsRequests()
    {
        RecordingWorkspace ws;
        QCOMPARE(Workspace::backend(), &ws);
        QVERIFY(Workspace::openURL(QUrl(QStringLiteral("mailto:john@example.org"))));
        QVERIFY(Workspace::launchApplication(QStringLiteral("zem-fake-mailer"),
                                             {QStringLiteral("-compose")}));
        const QString file = m_dir.filePath(QStringLiteral("note.txt"));
        QVERIFY(writeFile(file, "x"));
        QVERIFY(Workspace::revealFile(file));

        const auto &r = ws.requests();
        QCOMPARE(r.size(), 3);
        QCOMPARE(r.at(0).kind, Kind::OpenURL);
        QCOMPARE(r.at(0).url, QUrl(QStringLiteral("mailto:john@example.org")));
        QCOMPARE(r.at(1).kind, Kind::LaunchApplication);
        QCOMPARE(r.at(1).path, m_onPath);
        QCOMPARE(r.at(1).arguments, QStringList{QStringLiteral("-compose")});
        QCOMPARE(r.at(2).kind, Kind::RevealFile);
        QCOMPARE(r.at(2).path, file);
    }

    void configuredFailure()
    {
        {
            RecordingWorkspace ws;
            ws.setFailure(ZEM_Error::make(ZEM_Error::Unavailable, QStringLiteral("no handler")));
            const auto r = Workspace::openURL(QUrl(QStringLiteral("https://example.org")));
            QVERIFY(!r);
            QCOMPARE(r.error().code, ZEM_Error::Unavailable);
            QCOMPARE(ws.requests().size(), 1);
        }
        // The recorder is gone: the desktop backend answers again.
        QVERIFY(Workspace::backend() != nullptr);
        QVERIFY(dynamic_cast<RecordingWorkspace *>(Workspace::backend()) == nullptr);
    }

    void badRequests_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("code");
        const auto row = [](const char *name, Kind kind, const char *argument, ZEM_Error::Code code) {
            QTest::newRow(name) << int(kind) << QString::fromUtf8(argument) << int(code);
        };
        row("empty URL", Kind::OpenURL, "", ZEM_Error::InvalidArgument);
        row("URL without scheme", Kind::OpenURL, "example.org", ZEM_Error::InvalidArgument);
        row("missing file", Kind::RevealFile, "/nonexistent/zem.txt", ZEM_Error::NotFound);
        row("no file", Kind::RevealFile, "", ZEM_Error::InvalidArgument);
        row("unknown application", Kind::LaunchApplication, "zem-no-such-application", ZEM_Error::NotFound);
        row("not executable", Kind::LaunchApplication, "zem-not-executable", ZEM_Error::NotFound);
        row("no application", Kind::LaunchApplication, "  ", ZEM_Error::InvalidArgument);
    }

    void badRequests()
    {
        QFETCH(int, kind);
        QFETCH(QString, argument);
        QFETCH(int, code);
        RecordingWorkspace ws;
        ZEM_Result<void> r;
        switch (Kind(kind)) {
        case Kind::OpenURL: r = Workspace::openURL(QUrl(argument)); break;
        case Kind::RevealFile: r = Workspace::revealFile(argument); break;
        case Kind::LaunchApplication: r = Workspace::launchApplication(argument); break;
        }
        QVERIFY(!r);
        QCOMPARE(int(r.error().code), code);
        QVERIFY(!r.error().message.isEmpty());
        QVERIFY(ws.requests().isEmpty());
    }

    void findApplication_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected"); // 0 none, 1 the PATH program, 2 the desktop entry's
        QTest::newRow("on PATH") << QStringLiteral("zem-fake-mailer") << 1;
        QTest::newRow("on PATH, other case") << QStringLiteral("ZEM-Fake-Mailer") << 1;
        QTest::newRow("with .app") << QStringLiteral("zem-fake-mailer.app") << 1;
        QTest::newRow("by entry name") << QStringLiteral("zem organiser") << 2;
        QTest::newRow("by file id") << QStringLiteral("org.example.ZemOrganiser") << 2;
        QTest::newRow("by last part of id") << QStringLiteral("ZemOrganiser") << 2;
        QTest::newRow("action names do not count") << QStringLiteral("Other Name") << 0;
        QTest::newRow("hidden entry") << QStringLiteral("Zem Hidden") << 0;
        QTest::newRow("entry of a missing program") << QStringLiteral("Zem Broken") << 0;
        QTest::newRow("not an application") << QStringLiteral("Zem Link") << 0;
        QTest::newRow("not executable") << QStringLiteral("zem-not-executable") << 0;
        QTest::newRow("unknown") << QStringLiteral("zem-no-such-application") << 0;
        QTest::newRow("empty") << QString() << 0;
    }

    void findApplication()
    {
        QFETCH(QString, name);
        QFETCH(int, expected);
        const QString want = expected == 1 ? m_onPath : expected == 2 ? m_fromDesktop : QString();
        QCOMPARE(Workspace::findApplication(name), want);
        if (expected)
            QCOMPARE(Workspace::findApplication(want), want); // a path is taken as it is
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
    QString m_onPath;
    QString m_fromDesktop;
};

void tst_Workspace::cleanupTestCase() { qputenv("PATH", m_oldPath); }

ZEM_TEST_MAIN(tst_Workspace)
#include "tst_Workspace.moc"
