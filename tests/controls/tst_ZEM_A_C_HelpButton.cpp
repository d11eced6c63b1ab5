// The help buttons: shown only when the host uses its help, tool tips that follow the
// language, the host's viewer opened on a press, and the video button's image.
#include "TestImages.h"
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_HelpButton.h"
#include "controls/ZEM_A_C_VideoHelpButton.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/ImagePosition.h"

namespace {

// A host whose help choices are set by the test and which records what it is asked to show.
class HelpHost : public ZEM_F_SettingsHostDelegate
{
public:
    HelpHost() : ZEM_F_SettingsHostDelegate(QStringLiteral("Organiser")) {}
    bool help = false;
    bool video = false;
    bool answers = true;
    QStringList pages;
    QStringList videos;
    bool useAppHelp() const override { return help; }
    bool useAppHelpVideo() const override { return video; }
    ZEM_Result<void> appShowHelpViewer(const QString &page) override
    {
        if (!answers)
            return ZEM_F_HostDelegate::appShowHelpViewer(page);
        pages.append(page);
        return {};
    }
    ZEM_Result<void> appShowHelpVideoViewer(const QString &name) override
    {
        videos.append(name);
        return {};
    }
};

} // namespace

class tst_ZEM_A_C_HelpButton : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NT:Open Help Viewer", "Ouvrir l'aide"},
            {"NT:Open Video Help Viewer", "Ouvrir la vidéo"},
        }));
        ZEM_F_Host::setDelegate(&host); // after the language set-up, which makes a host of its own
        ZEM_F_C_StoreGroup::shared()->setImage(QStringLiteral("VideoHelpSmall"),
                                               zemtest::filled(QSize(12, 10), Qt::darkBlue));
    }

    void init()
    {
        QVERIFY(french::use("English"));
        host.help = host.video = false;
        host.answers = true;
        host.pages.clear();
        host.videos.clear();
    }

    void cleanupTestCase()
    {
        ZEM_F_C_StoreGroup::shared()->removeImage(QStringLiteral("VideoHelpSmall"));
        ZEM_F_Host::setDelegate(nullptr);
    }

    void shownOnlyWhenTheHostUsesHelp_data()
    {
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("video");
        QTest::newRow("neither") << false << false;
        QTest::newRow("help only") << true << false;
        QTest::newRow("video only") << false << true;
        QTest::newRow("both") << true << true;
    }

    void shownOnlyWhenTheHostUsesHelp()
    {
        QFETCH(bool, help);
        QFETCH(bool, video);
        host.help = help;
        host.video = video;
        QWidget window;
        auto *helpButton = new ZEM_A_C_HelpButton(&window);
        auto *videoButton = new ZEM_A_C_VideoHelpButton(&window);
        helpButton->awakeFromNib();
        videoButton->awakeFromNib();
        window.show();
        QCOMPARE(helpButton->isVisible(), help);
        QCOMPARE(videoButton->isVisible(), video);
        QCOMPARE(helpButton->focusPolicy(), Qt::NoFocus);
        QCOMPARE(videoButton->focusPolicy(), Qt::NoFocus);
    }

    void toolTipFollowsTheLanguage()
    {
        ZEM_A_C_HelpButton help;
        ZEM_A_C_VideoHelpButton video;
        help.awakeFromNib();
        video.awakeFromNib();
        QCOMPARE(help.toolTipKey(), u"NT:Open Help Viewer"_qs);
        QVERIFY(help.hasToolTip());
        QVERIFY(!help.hasMadeUpToolTip());
        QCOMPARE(french::roundTrip([&] { return QStringList{help.toolTip(), video.toolTip()}; }),
                 u"Open Help Viewer|Open Video Help Viewer / Ouvrir l'aide|Ouvrir la vidéo / "
                 u"Open Help Viewer|Open Video Help Viewer"_qs);

        // Loaded while French is active: the same key, shown in French.
        QVERIFY(french::use("French"));
        ZEM_A_C_HelpButton late;
        late.awakeFromNib();
        QCOMPARE(late.toolTipKey(), u"NT:Open Help Viewer"_qs);
        QCOMPARE(late.toolTip(), u"Ouvrir l'aide"_qs);
        QVERIFY(french::use("English"));
        QCOMPARE(late.toolTip(), u"Open Help Viewer"_qs);
    }

    void pressOpensTheViewer()
    {
        ZEM_A_C_HelpButton help;
        help.setHelpFile(QStringLiteral("MainAdvanced"));
        ZEM_A_C_VideoHelpButton video;
        video.setProperty("helpVideoFile", u"Tour"_qs);
        help.awakeFromNib();
        help.awakeFromNib(); // a second load must not open the viewer twice
        video.awakeFromNib();
        help.click();
        video.click();
        QCOMPARE(host.pages, QStringList{u"MainAdvanced"_qs});
        QCOMPARE(host.videos, QStringList{u"Tour"_qs});

        // A button with a tag of its own is left for its host to wire.
        ZEM_A_C_HelpButton tagged;
        tagged.setTag(3);
        tagged.awakeFromNib();
        tagged.click();
        QCOMPARE(host.pages.size(), 1);

        // A host without a help viewer: the press does nothing, and says why in the log.
        host.answers = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Cannot show help.*MainAdvanced"_qs));
        help.click();
        QCOMPARE(host.pages.size(), 1);
    }

    void videoButtonShowsItsImageOnly()
    {
        ZEM_A_C_VideoHelpButton video;
        video.setTitle(QStringLiteral("Video"));
        video.awakeFromNib();
        QCOMPARE(platform::imagePosition(&video), platform::ImagePosition::ImageOnly);
        // Kept at its own size.
        QCOMPARE(video.iconSize(), QSize(12, 10));
        QVERIFY(!video.icon().isNull());
        QVERIFY(!video.hasTitle());
        QCOMPARE(video.titleKey(), QString());
        QVERIFY(french::use("French"));
        QCOMPARE(video.title(), u"Video"_qs);
    }

private:
    HelpHost host;
};

ZEM_TEST_MAIN(tst_ZEM_A_C_HelpButton)
#include "tst_ZEM_A_C_HelpButton.moc"
