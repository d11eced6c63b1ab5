// Renders a window of localized controls in English and French, a context menu and the
// large-type window to PNG files under <build>/screenshots, for a person to look at, and
// checks that what was drawn changed with the language and came back with it.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "platform/InterfaceLoader.h"
#include "controls/ZEM_A_E_MenuSupport.h"
#include "services/ZEM_A_E_TransparentTextView.h"
#include "services/ZEM_A_I_TransparentWindow.h"

#include <QDir>
#include <QImage>

namespace {

QString shotPath(const QString &name)
{
    const QString folder = QStringLiteral(ZEM_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    return QDir(folder).filePath(name + u".png"_qs);
}

// Lets the layouts take in new texts before a picture is taken.
QImage settledShot(QWidget *widget)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    return widget->grab().toImage();
}

// Saves \a image and reads it back: what a person opens is what was checked.
QImage saved(const QImage &image, const QString &name)
{
    const QString path = shotPath(name);
    if (!image.save(path, "PNG"))
        return {};
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

int countPixels(const QImage &image, const std::function<bool(QRgb)> &test)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += test(line[x]) ? 1 : 0;
    }
    return count;
}

// Where two same-sized pictures differ, for a failure message.
QString differingArea(const QImage &a, const QImage &b)
{
    QRect area;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                area |= QRect(x, y, 1, 1);
    return QStringLiteral("pictures differ in %1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
}

} // namespace

class tst_Screenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Contacts", "Personnes"}, {"NL:Save", "Enregistrer"}, {"NL:Delete", "Supprimer"},
            {"NL:Details", "Détails"},    {"NL:Print", "Imprimer"},   {"NL:Name", "Nom"},
            {"NL:Home", "Domicile"},      {"NL:Work", "Travail"},     {"NL:Day", "Jour"},
            {"NL:Week", "Semaine"},       {"NL:General", "Général"},  {"NL:Phone", "Téléphone"},
            {"NL:File", "Fichier"},       {"L:Print", "Imprimer..."}, {"L:Clear", "Effacer"},
            {"L:CopyAddress", "Copier l'étiquette"},
        }));
        QVERIFY(french::use("English"));
    }

    void windowInBothLanguages()
    {
        QString error;
        std::unique_ptr<QWidget> window(platform::InterfaceLoader::load(
            QStringLiteral(ZEM_SOURCE_DIR "/tests/controls/data/AllControls.ui"), nullptr, &error));
        QVERIFY2(window, qPrintable(error));
        window->resize(900, 560);
        QVERIFY(zemtest::showExposed(*window));

        const QImage english = saved(settledShot(window.get()), u"window-English"_qs);
        QVERIFY(french::use("French"));
        const QImage frenchShot = saved(settledShot(window.get()), u"window-French"_qs);
        QVERIFY(french::use("English"));
        const QImage back = saved(settledShot(window.get()), u"window-English-again"_qs);

        QCOMPARE(english.size(), window->size() * window->devicePixelRatio());
        QCOMPARE(frenchShot.size(), english.size());
        // Text was drawn, not a blank window.
        QVERIFY(countPixels(english, [](QRgb p) { return qGray(p) < 96; }) > 500);
        QVERIFY(english != frenchShot);
        QVERIFY2(back == english, qPrintable(differingArea(back, english)));
    }

    void contextMenu()
    {
        ZEM_A_E_MenuSupport *menus = ZEM_A_E_MenuSupport::shared();
        // The titles themselves are tst_ZEM_A_E_MenuSupport's and tst_ZEM_A_C_NSMenuItem's.
        const auto render = [menus](const char *name) {
            const QVariantList items = {
                menus->setUpContextMenuArray(QString(), QString(), u"L:Print"_qs, u"print:"_qs),
                menus->setUpMenuSeparator(),
                menus->setUpContextMenuArray(QString(), QString(), u"L:CopyAddress"_qs, u"copy:"_qs),
                menus->setUpContextMenuArray(QString(), QString(), u"L:Clear"_qs, u"clear:"_qs),
            };
            QObject controller;
            std::unique_ptr<ZEM_A_C_NSMenu> menu(menus->setContextMenu(items, &controller));
            menu->adjustSize();
            return saved(menu->grab().toImage(), QString::fromLatin1(name));
        };
        const QImage english = render("context-menu-English");
        QVERIFY(french::use("French"));
        const QImage frenchShot = render("context-menu-French");
        QVERIFY(french::use("English"));
        QVERIFY(!english.isNull() && !frenchShot.isNull());
        QVERIFY(english.height() > 3 * QFontMetrics(QFont()).height());
        QVERIFY(english != frenchShot);
    }

    void largeType()
    {
        ZEM_A_E_TransparentTextView *large = ZEM_A_E_TransparentTextView::shared();
        QVERIFY(large->showTransparentWindow(u"+49 30 1234567"_qs));
        ZEM_A_I_TransparentWindow *window = large->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QImage shot = saved(window->grab().toImage(), u"large-type"_qs);
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.size(), window->size() * window->devicePixelRatio());
        // The rounded corner lets the desktop through; the middle is a dark backdrop with
        // large white letters on it.
        QCOMPARE(qAlpha(shot.pixel(0, 0)), 0);
        const int white = countPixels(shot, [](QRgb p) { return qAlpha(p) > 200 && qGray(p) > 230; });
        const int dark = countPixels(shot, [](QRgb p) { return qAlpha(p) > 60 && qAlpha(p) < 120 && qGray(p) < 30; });
        QVERIFY2(white > shot.width() * shot.height() / 50, qPrintable(QString::number(white)));
        QVERIFY2(dark > shot.width() * shot.height() / 3, qPrintable(QString::number(dark)));
        window->hide();
    }
};

ZEM_TEST_MAIN(tst_Screenshots)
#include "tst_Screenshots.moc"
