#include "platform/InterfaceLoader.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QLayout>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QTableWidget>
#include <QUiLoader>
#include <QXmlStreamReader>

namespace platform {

namespace {

const QString kDefaultActionClass = QStringLiteral("ZEM_A_C_NSMenuItem");
const QString kDefaultColumnClass = QStringLiteral("ZEM_A_C_NSTableColumn");
// Qt's form builder recurses once per element level: a hostile file nested deep enough
// overflows the stack, and one nested a few thousand levels takes minutes. Real forms stay
// far below this (each widget adds about three levels: layout, item, widget).
constexpr int kMaxDepth = 256;

// A string property written directly on a widget or action: an outlet candidate.
struct NamedValue
{
    QString object;
    QString property;
    QString value;
};

// What Qt's loader does not keep: the class an action asks for and the names outlets
// point at (a name cannot be converted to a pointer while the file is still being built).
struct Prescan
{
    QHash<QString, QString> actionClasses;
    QList<NamedValue> strings;
    QString error;
};

// The line at which \a data nests deeper than kMaxDepth, or 0.
qint64 tooDeepAt(const QByteArray &data)
{
    QXmlStreamReader xml(data);
    int depth = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxDepth)
            return xml.lineNumber();
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return 0;
}

Prescan prescan(const QByteArray &data)
{
    Prescan result;
    if (const qint64 line = tooDeepAt(data)) {
        result.error = QStringLiteral("the interface file is nested too deeply (line %1: more than %2 levels)")
                           .arg(line)
                           .arg(kMaxDepth);
        return result;
    }
    QXmlStreamReader xml(data);
    QStringList objectStack;   // name of the widget/action each open element belongs to
    QStringList elementStack;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString element = xml.name().toString();
            const QString parentElement = elementStack.isEmpty() ? QString() : elementStack.last();
            if (element == u"widget" || element == u"action") {
                objectStack.append(xml.attributes().value(QLatin1String("name")).toString());
            } else if (element == u"property"
                       && (parentElement == u"widget" || parentElement == u"action")) {
                const QString property = xml.attributes().value(QLatin1String("name")).toString();
                // Read the value element (<string> or <cstring>); other kinds are not names.
                while (xml.readNextStartElement()) {
                    const bool text = xml.name() == u"string" || xml.name() == u"cstring";
                    const QString value = text ? xml.readElementText() : QString();
                    if (!text)
                        xml.skipCurrentElement();
                    if (text) {
                        result.strings.append({objectStack.last(), property, value});
                        if (parentElement == u"action" && property == u"kitClass")
                            result.actionClasses.insert(objectStack.last(), value);
                    }
                }
                continue; // readNextStartElement consumed the property's end element
            }
            elementStack.append(element);
        } else if (token == QXmlStreamReader::EndElement) {
            if (!elementStack.isEmpty())
                elementStack.removeLast();
            const auto name = xml.name();
            if ((name == u"widget" || name == u"action") && !objectStack.isEmpty())
                objectStack.removeLast();
        }
    }
    if (xml.hasError())
        result.error = QStringLiteral("not a valid interface file (line %1: %2)")
                           .arg(xml.lineNumber())
                           .arg(xml.errorString());
    return result;
}

class KitUiLoader : public QUiLoader
{
public:
    explicit KitUiLoader(const Prescan &scan) : m_scan(scan) {}

    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        QObject *object = ZEM_F_ClassRegistry::create(className, parent);
        QWidget *widget = qobject_cast<QWidget *>(object);
        if (object && !widget) {
            if (!parent) {
                delete object;
                m_error = QStringLiteral("class %1 of %2 is not a widget and cannot be the file's window or view")
                              .arg(className, name);
                return nullptr;
            }
            // Qt's builder only knows widgets: it gets a hidden stand-in, whose properties
            // are handed to the object once the file is built.
            object->setObjectName(name);
            created.append(object);
            auto *standIn = new QWidget(parent);
            standIn->hide();
            standIns.append({standIn, object});
            return standIn;
        }
        if (!widget)
            widget = QUiLoader::createWidget(className, parent, name);
        if (widget) {
            widget->setObjectName(name);
            created.append(widget);
        }
        return widget;
    }

    QAction *createAction(QObject *parent, const QString &name) override
    {
        const QString className = m_scan.actionClasses.value(name, kDefaultActionClass);
        QObject *object = ZEM_F_ClassRegistry::create(className, parent);
        auto *action = qobject_cast<QAction *>(object);
        if (!action) {
            delete object;
            action = QUiLoader::createAction(parent, name);
        }
        if (action) {
            action->setObjectName(name);
            created.append(action);
        }
        return action;
    }

    QLayout *createLayout(const QString &className, QObject *parent, const QString &name) override
    {
        QLayout *layout = QUiLoader::createLayout(className, parent, name);
        if (layout)
            layouts.append(layout);
        return layout;
    }

    // Layouts the builder left to no one: one given to a widget that keeps a layout of its
    // own (a main window) is never installed, and Qt only warns.
    void deleteUnownedLayouts()
    {
        for (const QPointer<QLayout> &layout : std::as_const(layouts))
            if (layout && !layout->parent())
                delete layout.data();
    }

    // Properties the file gave a non-widget object went to its stand-in; the stand-in goes.
    void replaceStandIns()
    {
        for (const auto &[standIn, object] : std::as_const(standIns)) {
            if (!standIn)
                continue;
            if (object) {
                const QList<QByteArray> names = standIn->dynamicPropertyNames();
                for (const QByteArray &name : names) {
                    // An outlet's name fails to convert to a pointer here; it is set later.
                    if (!name.startsWith("_q_"))
                        object->setProperty(name.constData(), standIn->property(name.constData()));
                }
            }
            delete standIn.data();
        }
        standIns.clear();
    }

    QList<QPointer<QObject>> created;
    QList<QPointer<QLayout>> layouts;
    QList<std::pair<QPointer<QWidget>, QPointer<QObject>>> standIns;
    QString m_error;

private:
    const Prescan &m_scan;
};

// One column object per column of every table widget that can be given columns.
void addTableColumns(QList<QPointer<QObject>> &created)
{
    const QList<QPointer<QObject>> snapshot = created;
    for (const QPointer<QObject> &object : snapshot) {
        auto *table = qobject_cast<QTableWidget *>(object.data());
        if (!table)
            continue;
        const QVariant requested = table->property("columnClass");
        const QString className = requested.isValid() ? requested.toString() : kDefaultColumnClass;
        if (className.isEmpty())
            continue;
        for (int i = 0; i < table->columnCount(); ++i) {
            QObject *column = ZEM_F_ClassRegistry::create(className, table);
            if (!column)
                break;
            column->setProperty("section", i);
            column->setObjectName(QStringLiteral("%1_column%2").arg(table->objectName()).arg(i));
            created.append(column);
        }
    }
}

QString connectOutlets(const QList<QPointer<QObject>> &created, const QList<NamedValue> &strings,
                       const QList<QObject *> &outside)
{
    QHash<QString, QObject *> byName;
    const auto add = [&byName](QObject *object) {
        if (object && !object->objectName().isEmpty() && !byName.contains(object->objectName()))
            byName.insert(object->objectName(), object);
    };
    for (const QPointer<QObject> &object : created)
        add(object);
    for (QObject *object : outside)   // the file's own objects win a clash of names
        add(object);
    for (const NamedValue &entry : strings) {
        QObject *object = byName.value(entry.object);
        if (!object)
            continue;
        const QMetaObject *meta = object->metaObject();
        const int index = meta->indexOfProperty(entry.property.toLatin1().constData());
        if (index < 0)
            continue;
        const QMetaProperty property = meta->property(index);
        const QMetaType type = property.metaType();
        if (!(type.flags() & QMetaType::PointerToQObject) || !property.isWritable())
            continue;
        if (entry.value.isEmpty())
            continue;
        QObject *target = byName.value(entry.value);
        if (!target)
            return QStringLiteral("outlet %1 of %2 names %3, which the file does not create")
                .arg(entry.property, entry.object, entry.value);
        if (!property.write(object, QVariant::fromValue(target)))
            return QStringLiteral("outlet %1 of %2 cannot hold %3 (a %4)")
                .arg(entry.property, entry.object, entry.value,
                     QString::fromLatin1(target->metaObject()->className()));
    }
    return {};
}

} // namespace

QString InterfaceLoader::defaultActionClass()
{
    return kDefaultActionClass;
}

bool InterfaceLoader::awake(QObject *object)
{
    if (!object || object->metaObject()->indexOfMethod("awakeFromNib()") < 0)
        return false;
    return QMetaObject::invokeMethod(object, "awakeFromNib", Qt::DirectConnection);
}

QWidget *InterfaceLoader::load(const QString &path, QWidget *parent, QString *error,
                               QList<QObject *> *objects, const QList<QObject *> &outside)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    QWidget *root = load(&file, parent, error, objects, outside);
    if (!root && error)
        *error = QStringLiteral("%1: %2").arg(path, *error);
    return root;
}

QWidget *InterfaceLoader::load(QIODevice *device, QWidget *parent, QString *error,
                               QList<QObject *> *objects, const QList<QObject *> &outside)
{
    const auto fail = [error](const QString &message) -> QWidget * {
        if (error)
            *error = message;
        return nullptr;
    };
    if (!device || !device->isReadable())
        return fail(QStringLiteral("the interface file is not open for reading"));
    const QByteArray data = device->readAll();
    const Prescan scan = prescan(data);
    if (!scan.error.isEmpty())
        return fail(scan.error);
    if (!data.contains("<ui"))
        return fail(QStringLiteral("not an interface file"));

    KitUiLoader loader(scan);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QWidget *root = loader.load(&buffer, parent);
    loader.deleteUnownedLayouts();
    loader.replaceStandIns();
    if (!root || !loader.m_error.isEmpty()) {
        delete root;
        const QString why = !loader.m_error.isEmpty() ? loader.m_error : loader.errorString();
        return fail(why.isEmpty() ? QStringLiteral("the interface file creates no window or view") : why);
    }
    addTableColumns(loader.created);
    if (const QString outletError = connectOutlets(loader.created, scan.strings, outside); !outletError.isEmpty()) {
        delete root;
        return fail(outletError);
    }
    // Start-up runs only once the whole file is built and connected, so an object may rely
    // on its outlets and on the objects around it.
    QList<QObject *> alive;
    for (const QPointer<QObject> &object : std::as_const(loader.created)) {
        if (object)
            alive.append(object);
    }
    for (QObject *object : std::as_const(alive))
        awake(object);
    if (objects)
        *objects = alive;
    return root;
}

} // namespace platform
