// Interface files with the kit's controls: the window holding one of each localized control
// follows a language switch and the return to its loaded texts; outlets, start-up order and
// bad files.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSMenuItem.h"
#include "controls/ZEM_A_C_NSSearchField.h"
#include "controls/ZEM_A_C_NSTableColumn.h"
#include "controls/ZEM_A_C_NSToolbarItem.h"
#include "controls/ZEM_A_C_NSWindow.h"
#include "platform/InterfaceLoader.h"

#include <QBuffer>
#include <QLayout>
#include <QTableWidget>

// A host's own class in an interface file, in a namespace of the host: it notes when it
// starts up and what its outlet held at that moment.
namespace host {
class StartUpRecorder : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QWidget *partner READ partner WRITE setPartner)
public:
    explicit StartUpRecorder(QWidget *parent = nullptr) : QWidget(parent) {}
    QWidget *partner() const { return m_partner; }
    void setPartner(QWidget *partner) { m_partner = partner; }
    Q_INVOKABLE void awakeFromNib()
    {
        log().append(objectName() + u'>' + (m_partner ? m_partner->objectName() : u"-"_qs));
    }
    static QStringList &log()
    {
        static QStringList entries;
        return entries;
    }

private:
    QWidget *m_partner = nullptr;
};
// A controller that is not a widget, as a table window's file names one.
class ListKeeper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList keys MEMBER keys)
    Q_PROPERTY(int limit MEMBER limit)
    Q_PROPERTY(QWidget *view MEMBER view)
    Q_PROPERTY(QObject *store MEMBER store)
public:
    explicit ListKeeper(QObject *parent = nullptr) : QObject(parent) {}
    Q_INVOKABLE void awakeFromNib() { awokeWith = view ? view->objectName() : QString(); }
    QStringList keys;
    int limit = 0;
    QWidget *view = nullptr;
    QObject *store = nullptr;
    QString awokeWith;
};
} // namespace host
ZEM_INTERFACE_CLASS(host::StartUpRecorder)
ZEM_INTERFACE_CLASS(host::ListKeeper)
using host::StartUpRecorder;

namespace {

QString dataFile(const char *name)
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/controls/data/") + QLatin1String(name);
}

QString text(const QObject *object, const char *property)
{
    const QVariant value = object->property(property);
    return value.metaType().id() == QMetaType::QStringList ? value.toStringList().join(u'|') : value.toString();
}

struct Expected
{
    const char *object;
    const char *property;
    const char *english;
    const char *french;
};

// Every text of the window, as loaded and in French. Made-up tool tips are the title and
// the control's noun; a tool tip the file gives is a message of its own.
const Expected kTexts[] = {
    {"contactsWindow", "title", "Contacts", "Personnes"},
    {"saveButton", "title", "Save", "Enregistrer"},
    {"saveButton", "toolTip", "Keep a copy", "Garder une copie"},
    {"deleteButton", "title", "Delete", "Supprimer"},
    {"deleteButton", "toolTip", "Delete Button", "Supprimer Bouton"},
    {"detailsBox", "title", "Details", "Détails"},
    {"detailsBox", "toolTip", "Remove the record", "Supprimer la fiche"},
    {"sortPopUp", "title", "Options", "Réglages"},
    {"printButton", "title", "Print", "Imprimer"},
    {"nameLabel", "stringValue", "Name", "Nom"},
    {"notesLabel", "stringValue", "Notes", "Remarques"},
    {"helpButton", "toolTip", "Open Help Viewer", "Ouvrir l'aide"},
    {"kindMatrix", "titles", "|Home|Work", "|Domicile|Travail"},
    {"viewSegments", "titles", "Day|Week", "Jour|Semaine"},
    {"moveSegments", "titles", "Save|Delete", "Enregistrer|Supprimer"},
    {"moveSegments", "toolTips", "Keep a copy|Remove the record", "Garder une copie|Supprimer la fiche"},
    {"datePicker", "toolTip", "Date Picker", "Choix de date"},
    {"comboBox", "toolTip", "Pick one", "Choisir"},
    {"slider", "toolTip", "Volume", "Volume sonore"},
    {"imageView", "toolTip", "Photo", "Portrait"},
    {"stepper", "toolTip", "Count", "Nombre"},
    {"textView", "toolTip", "Notes", "Remarques"},
    {"scrollView", "toolTip", "Details", "Détails"},
    {"movieView", "toolTip", "Video", "Vidéo"},
    {"colorWell", "toolTip", "Pick a colour", "Choisir une couleur"},
    {"searchField", "toolTip", "Search Field", "Champ de recherche"},
    {"peopleTable_column0", "title", "Name", "Nom"},
    {"peopleTable_column0", "toolTip", "Remove the record", "Supprimer la fiche"},
    {"peopleTable_column1", "title", "Phone", "Téléphone"},
    {"generalTab", "label", "General", "Général"},
    {"advancedTab", "label", "Advanced", "Avancé"},
    {"fileMenu", "title", "File", "Fichier"},
    {"saveItem", "title", "Save", "Enregistrer"},
    {"printItem", "title", "Print", "Imprimer"},
    {"toolItem", "label", "Print", "Imprimer"},
    {"toolItem", "toolTip", "Print all", "Tout imprimer"},
    {"toolItem", "paletteLabel", "Printing", "Impression"},
};

} // namespace

class tst_InterfaceLoader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Contacts", "Personnes"},  {"NL:Save", "Enregistrer"},     {"NL:Delete", "Supprimer"},
            {"NL:Details", "Détails"},     {"NL:Options", "Réglages"},     {"NL:Print", "Imprimer"},
            {"NL:Name", "Nom"},            {"NL:Notes", "Remarques"},      {"NL:Home", "Domicile"},
            {"NL:Work", "Travail"},        {"NL:Day", "Jour"},             {"NL:Week", "Semaine"},
            {"NL:General", "Général"},     {"NL:Advanced", "Avancé"},      {"NL:Phone", "Téléphone"},
            {"NL:File", "Fichier"},        {"NL:Button", "Bouton"},        {"B:Column", "Colonne"},
            {"NT:Keep a copy", "Garder une copie"},        {"NT:Remove the record", "Supprimer la fiche"},
            {"NT:Pick one", "Choisir"},    {"NT:Volume", "Volume sonore"}, {"NT:Date Picker", "Choix de date"},
            {"NT:Search Field", "Champ de recherche"},     {"NT:Pick a colour", "Choisir une couleur"},
            {"NT:Open Help Viewer", "Ouvrir l'aide"},      {"NT:Print all", "Tout imprimer"},
            {"NP:Printing", "Impression"}, {"NT:Photo", "Portrait"},  {"NT:Count", "Nombre"},
            {"NT:Notes", "Remarques"},     {"NT:Details", "Détails"},  {"NT:Video", "Vidéo"},
        }));
    }

    void init() { QVERIFY(french::use("English")); }

    void everyControlFollowsTheLanguage()
    {
        QString error;
        std::unique_ptr<QWidget> window(platform::InterfaceLoader::load(dataFile("AllControls.ui"), nullptr, &error));
        QVERIFY2(window, qPrintable(error));

        // Every wrong text is listed, not just the first.
        const auto wrongTexts = [&window](bool inFrench) {
            QStringList wrong;
            for (const Expected &row : kTexts) {
                const QObject *object = window->objectName() == QLatin1String(row.object)
                    ? window.get()
                    : window->findChild<QObject *>(QLatin1String(row.object));
                const QString expected = QString::fromUtf8(inFrench ? row.french : row.english);
                const QString actual = object ? text(object, row.property) : u"(missing)"_qs;
                if (actual != expected)
                    wrong.append(QStringLiteral("%1.%2 is \"%3\", not \"%4\"")
                                     .arg(QLatin1String(row.object), QLatin1String(row.property), actual, expected));
            }
            return wrong.join(u"; ");
        };
        QCOMPARE(wrongTexts(false), QString());
        // English is language number 0: switching to it restores the texts of the file.
        for (int round = 0; round < 2; ++round) {
            QVERIFY(french::use("French"));
            QCOMPARE(wrongTexts(true), QString());
            QVERIFY(french::use("English"));
            QCOMPARE(wrongTexts(false), QString());
        }
    }

    void createsTheKitsClasses()
    {
        QString error;
        QList<QObject *> objects;
        std::unique_ptr<QWidget> window(
            platform::InterfaceLoader::load(dataFile("AllControls.ui"), nullptr, &error, &objects));
        QVERIFY2(window, qPrintable(error));
        QCOMPARE(objects.value(0), window.get());
        QVERIFY(qobject_cast<ZEM_A_C_NSWindow *>(window.get()));

        // Actions are localized menu items unless they name another kit class.
        QVERIFY(qobject_cast<ZEM_A_C_NSMenuItem *>(window->findChild<QAction *>(u"saveItem"_qs)));
        QVERIFY(qobject_cast<ZEM_A_C_NSToolbarItem *>(window->findChild<QAction *>(u"toolItem"_qs)));

        // The search field's outlet is the table of the same file, whose columns are objects.
        auto *search = window->findChild<ZEM_A_C_NSSearchField *>(u"searchField"_qs);
        auto *table = window->findChild<QTableWidget *>(u"peopleTable"_qs);
        QVERIFY(search && table);
        QCOMPARE(search->table(), table);
        const auto columns = table->findChildren<ZEM_A_C_NSTableColumn *>();
        QCOMPARE(columns.size(), 2);
        QVERIFY(objects.contains(columns.at(0)) && objects.contains(columns.at(1)));
        QCOMPARE(columns.at(0)->section() + columns.at(1)->section(), 1);

        // Kit classes are created as themselves, not as the Qt class they extend.
        QCOMPARE(window->findChild<QWidget *>(u"kindMatrix"_qs)->metaObject()->className(), "ZEM_A_C_NSMatrix");
        QCOMPARE(window->findChild<QWidget *>(u"largeText"_qs)->metaObject()->className(),
                 "ZEM_A_C_TransparentTextField");
    }

    void outletsAreSetBeforeStartUp()
    {
        // "first" is created before "second" yet already holds it at start-up; "inner" sits in
        // "first" and starts after it, before "second".
        const QByteArray ui = R"(<ui version="4.0"><widget class="QWidget" name="root">
            <widget class="host::StartUpRecorder" name="first">
              <property name="partner"><cstring>second</cstring></property>
              <widget class="host::StartUpRecorder" name="inner"/>
            </widget>
            <widget class="host::StartUpRecorder" name="second">
              <property name="partner"><string>first</string></property>
            </widget>
            <widget class="QTableWidget" name="plain">
              <property name="columnClass"><string></string></property>
              <column><property name="text"><string>A</string></property></column>
            </widget>
            <action name="free"><property name="kitClass"><string>NoSuchClass</string></property></action>
          </widget></ui>)";
        QBuffer buffer;
        buffer.setData(ui);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        StartUpRecorder::log().clear();
        QString error;
        std::unique_ptr<QWidget> root(platform::InterfaceLoader::load(&buffer, nullptr, &error));
        QVERIFY2(root, qPrintable(error));
        QCOMPARE(StartUpRecorder::log(), QStringList({u"first>second"_qs, u"inner>-"_qs, u"second>first"_qs}));
        QVERIFY(root->findChild<QTableWidget *>(u"plain"_qs)->findChildren<ZEM_A_C_NSTableColumn *>().isEmpty());
        QAction *free = root->findChild<QAction *>(u"free"_qs);
        QVERIFY(free);
        QCOMPARE(free->metaObject()->className(), "QAction");

        // A control built in code runs the same start-up when asked.
        StartUpRecorder byHand;
        byHand.setObjectName(u"byHand"_qs);
        QVERIFY(platform::InterfaceLoader::awake(&byHand));
        QCOMPARE(StartUpRecorder::log().last(), u"byHand>-"_qs);
        QObject noStartUp;
        QVERIFY(!platform::InterfaceLoader::awake(&noStartUp));
    }

    void objectsThatAreNotWidgets()
    {
        const QByteArray ui = R"(<ui version="4.0"><widget class="QWidget" name="root">
            <layout class="QVBoxLayout" name="box">
              <item><widget class="QLabel" name="label"/></item>
              <item><widget class="host::ListKeeper" name="keeper">
                <property name="keys"><stringlist><string>1:title</string><string>2:due</string></stringlist></property>
                <property name="limit"><number>7</number></property>
                <property name="view"><cstring>label</cstring></property>
                <property name="store"><cstring>hostStore</cstring></property>
                <property name="note" stdset="0"><string>kept</string></property>
              </widget></item>
            </layout></widget></ui>)";
        QObject hostStore;
        hostStore.setObjectName(u"hostStore"_qs);
        QBuffer buffer;
        buffer.setData(ui);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QString error;
        QList<QObject *> objects;
        std::unique_ptr<QWidget> root(platform::InterfaceLoader::load(&buffer, nullptr, &error, &objects, {&hostStore}));
        QVERIFY2(root, qPrintable(error));
        auto *keeper = root->findChild<host::ListKeeper *>(u"keeper"_qs);
        QVERIFY(keeper);
        QVERIFY(objects.contains(keeper));
        QCOMPARE(keeper->keys, QStringList({u"1:title"_qs, u"2:due"_qs}));
        QCOMPARE(keeper->limit, 7);
        QCOMPARE(keeper->view, root->findChild<QWidget *>(u"label"_qs));
        QCOMPARE(keeper->store, &hostStore);
        QCOMPARE(keeper->property("note").toString(), u"kept"_qs);
        QCOMPARE(keeper->awokeWith, u"label"_qs);
        // Nothing of it stays in the window: the layout holds the label alone.
        QCOMPARE(root->layout()->count(), 1);
        QCOMPARE(root->findChildren<QWidget *>().size(), 1);

        // A file whose window is not a widget has nothing to show.
        QBuffer bare;
        bare.setData(R"(<ui version="4.0"><widget class="host::ListKeeper" name="alone"/></ui>)");
        QVERIFY(bare.open(QIODevice::ReadOnly));
        QVERIFY(!platform::InterfaceLoader::load(&bare, nullptr, &error));
        QVERIFY2(error.contains(u"not a widget"_qs), qPrintable(error));
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("empty") << QByteArray() << u"not a valid interface file"_qs;
        QTest::newRow("not XML") << QByteArray("\x89PNG\r\n\x1a\n\0\0binary", 16) << u"not a valid interface file"_qs;
        QTest::newRow("cut short") << QByteArray(R"(<ui version="4.0"><widget class="QWidget" name="w">)")
                                   << u"not a valid interface file"_qs;
        QTest::newRow("nested 100,000 deep")
            << QByteArray(R"(<ui version="4.0">)") + QByteArray(R"(<widget class="QWidget">)").repeated(100000)
            << u"nested too deeply (line 1: more than 256 levels)"_qs;
        QTest::newRow("other XML") << QByteArray("<html><body/></html>") << u"not an interface file"_qs;
        QTest::newRow("outlet to nothing")
            << QByteArray(R"(<ui version="4.0"><widget class="QWidget" name="w">
                 <widget class="host::StartUpRecorder" name="r"><property name="partner"><cstring>ghost</cstring></property></widget>
               </widget></ui>)")
            << u"outlet partner of r names ghost"_qs;
        QTest::newRow("outlet of the wrong class")
            << QByteArray(R"(<ui version="4.0"><widget class="QWidget" name="w">
                 <widget class="ZEM_A_C_NSSearchField" name="s"><property name="table"><cstring>label</cstring></property></widget>
                 <widget class="QLabel" name="label"/>
               </widget></ui>)")
            << u"outlet table of s cannot hold label"_qs;
    }

    void badFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, errorPart);
        QBuffer buffer;
        buffer.setData(content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        StartUpRecorder::log().clear();
        QString error;
        QWidget *root = platform::InterfaceLoader::load(&buffer, nullptr, &error);
        QVERIFY(!root);
        QVERIFY2(error.contains(errorPart), qPrintable(error));
        // Nothing of a refused file starts up.
        QVERIFY(StartUpRecorder::log().isEmpty());
    }

    void missingFileNamesThePath()
    {
        const QString path = QDir(ZemTestEnv::current()->dataHome()).filePath(u"Missing.ui"_qs);
        QString error;
        QVERIFY(!platform::InterfaceLoader::load(path, nullptr, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
};

ZEM_TEST_MAIN(tst_InterfaceLoader)
#include "tst_InterfaceLoader.moc"
