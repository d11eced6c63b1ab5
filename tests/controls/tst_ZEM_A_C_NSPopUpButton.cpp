// Pop-up buttons: every item follows the language with its own key, the pop-up grows to its
// new texts, and its items are menu items that carry images and states.
#include "LocalizedControlsFrench.h"
#include "TestImages.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_C_NSMenuItem.h"
#include "controls/ZEM_A_C_NSPopUpButton.h"
#include "services/ZEM_A_E_Icons.h"

namespace {
QStringList texts(const QComboBox &popUp)
{
    QStringList out;
    for (int i = 0; i < popUp.count(); ++i)
        out.append(popUp.itemText(i));
    return out;
}
} // namespace

class tst_ZEM_A_C_NSPopUpButton : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(french::setUp()); }
    void init() { QVERIFY(french::use("English")); }

    void everyItemKeepsItsKeyAndFits()
    {
        QWidget window; // no layout: the pop-up sizes itself
        auto *popUp = new ZEM_A_C_NSPopUpButton(&window);
        popUp->addItems({QStringLiteral("Save"), QStringLiteral("Print"), QStringLiteral("Delete")});
        popUp->awakeFromNib();
        popUp->adjustSize();
        const int english = popUp->width();
        popUp->setCurrentIndex(1); // the user picks another item than the one loaded

        QVERIFY(french::use("French"));
        QCOMPARE(texts(*popUp), QStringList({u"Enregistrer"_qs, u"Imprimer"_qs, u"Supprimer"_qs}));
        QCOMPARE(popUp->title(), u"Imprimer"_qs);
        QCOMPARE(popUp->titleKey(), u"NL:Print"_qs);
        // It grows to its new texts.
        QVERIFY2(popUp->sizeHint().width() > english, qPrintable(QString::number(popUp->sizeHint().width())));
        QCOMPARE(popUp->width(), popUp->sizeHint().width());

        popUp->setCurrentIndex(2);
        QVERIFY(french::use("English"));
        QCOMPARE(texts(*popUp), QStringList({u"Save"_qs, u"Print"_qs, u"Delete"_qs}));
        QCOMPARE(popUp->currentIndex(), 2);

        // An item added after the load follows the language as well.
        popUp->addItem(QStringLiteral("Name"));
        QVERIFY(french::use("French"));
        QCOMPARE(popUp->itemText(3), u"Nom"_qs);
        QCOMPARE(popUp->itemText(2), u"Supprimer"_qs);
    }

    void itemsAreMenuItems()
    {
        ZEM_A_C_NSPopUpButton popUp;
        popUp.addItems({QStringLiteral("Red"), QStringLiteral("Green")});
        QCOMPARE(popUp.menu()->actions().size(), 2);
        ZEM_A_C_NSMenuItem *green = popUp.itemAtIndex(1);
        QVERIFY(green);
        QCOMPARE(green->title(), u"Green"_qs);
        QCOMPARE(popUp.itemAtIndex(2), nullptr);

        // Changed as menu items, shown by the pop-up.
        green->setTitle(QStringLiteral("Lime"));
        QCOMPARE(popUp.itemText(1), u"Lime"_qs);
        ZEM_A_E_Icons::shared()->setPopUpImage(green, Qt::green);
        QCOMPARE(popUp.itemIcon(1).pixmap(12, 12).toImage().pixelColor(6, 6), QColor(0, 204, 0));
        green->setState(ZEM_A_C_NSMenuItem::OnState);
        QCOMPARE(popUp.itemData(1, Qt::CheckStateRole).toInt(), int(Qt::Checked));
        green->setEnabled(false);
        QVERIFY(!(popUp.model()->flags(popUp.model()->index(1, 0)) & Qt::ItemIsEnabled));

        // Items put in the menu are the pop-up's items; items deleted or removed go.
        popUp.menu()->addAction(new ZEM_A_C_NSMenuItem(QStringLiteral("Blue"), {}, popUp.menu()));
        QCOMPARE(texts(popUp), QStringList({u"Red"_qs, u"Lime"_qs, u"Blue"_qs}));
        delete popUp.itemAtIndex(0);
        QCOMPARE(texts(popUp), QStringList({u"Lime"_qs, u"Blue"_qs}));
        popUp.removeItem(0);
        QCOMPARE(popUp.menu()->actions().size(), 1);
        QCOMPARE(popUp.selectedItem(), popUp.itemAtIndex(0));
        QCOMPARE(popUp.selectedItem()->title(), u"Blue"_qs);
    }

    void swatchOutlivesTheState()
    {
        ZEM_A_C_NSPopUpButton popUp;
        popUp.addItem(QStringLiteral("Red"));
        ZEM_A_C_NSMenuItem *red = popUp.itemAtIndex(0);
        const QImage mark = zemtest::filled(QSize(16, 16), Qt::black);
        red->setOnStateImage(mark);
        red->setState(ZEM_A_C_NSMenuItem::OnState);

        // The swatch takes the place of the state images, so it stays when the state goes off.
        ZEM_A_E_Icons::shared()->setPopUpImage(red, Qt::red);
        QVERIFY(red->onStateImage().isNull());
        red->setState(ZEM_A_C_NSMenuItem::OffState);
        QCOMPARE(popUp.itemIcon(0).pixmap(12, 12).toImage().pixelColor(6, 6), QColor(204, 0, 0));

        // An on-state image set later shows only on an item without an image of its own.
        red->setOnStateImage(mark);
        red->setState(ZEM_A_C_NSMenuItem::OnState);
        QCOMPARE(popUp.itemIcon(0).pixmap(12, 12).toImage().pixelColor(6, 6), QColor(204, 0, 0));
        ZEM_A_C_NSMenuItem plain(QStringLiteral("Plain"), {});
        plain.setOnStateImage(mark);
        QVERIFY(plain.icon().isNull());
        plain.setState(ZEM_A_C_NSMenuItem::OnState);
        QCOMPARE(plain.icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::black));
    }

    void titleIsTheChosenItem()
    {
        ZEM_A_C_NSPopUpButton popUp;
        QCOMPARE(popUp.title(), QString());
        popUp.setTitle(QString());
        QCOMPARE(popUp.count(), 0);
        popUp.setTitle(QStringLiteral("Save"));
        QCOMPARE(popUp.count(), 1);
        QCOMPARE(popUp.currentText(), u"Save"_qs);
        popUp.addItem(QStringLiteral("Options"));
        popUp.setCurrentIndex(1);
        popUp.setProperty("title", u"Réglages"_qs);
        QCOMPARE(texts(popUp), QStringList({u"Save"_qs, u"Réglages"_qs}));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSPopUpButton)
#include "tst_ZEM_A_C_NSPopUpButton.moc"
