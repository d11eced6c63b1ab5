#pragma once

#include "zem_appkit_export.h"
#include "foundation/ZEM_F_ClassRegistry.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <type_traits>

class QIODevice;
class QObject;

namespace platform {

/**
 * Loads Qt Designer interface files (.ui) with the kit's classes in them.
 *
 * - A `<widget class="…">` whose class is registered with ZEM_INTERFACE_CLASS (the kit's
 *   controls, or a host's own) is created as that class; any other class is left to Qt.
 *   A registered class that is not a widget (an array controller) is created as an object
 *   owned by the widget it sits in, and takes the properties the file gives it; it adds
 *   nothing to the layout. In Qt Designer it is a custom widget placed anywhere (hidden).
 * - Actions are created as the class named by their "kitClass" string property, or as
 *   defaultActionClass() ("ZEM_A_C_NSMenuItem", a localized menu item) when they name none.
 * - Every QTableWidget gets one column object per column it has, of the class named by
 *   its "columnClass" property (default "ZEM_A_C_NSTableColumn"; an empty value gives
 *   none), parented to the table and named "<table>_column<N>".
 * - Outlets: a string or cstring property whose name is a writable object-pointer property
 *   of the object (for example `table` of a search field) is set to the object of that
 *   name in the same file, or else to the one of that name among \a outside (objects the
 *   host made, such as its store controller). A name that is missing or of the wrong
 *   class is an error.
 * - When everything is created and connected, `awakeFromNib()` runs on every object that
 *   has one, in the order the file creates them: a container before what it holds.
 *
 * Controls built in code are set up the same way by calling their awakeFromNib().
 *
 * **Example**
 * \code
 * QString error;
 * auto window = platform::InterfaceLoader::load(u":/ui/Contacts.ui"_s, nullptr, &error);
 * if (!window)
 *     qWarning() << error;
 * \endcode
 */
class ZEM_APPKIT_EXPORT InterfaceLoader
{
public:
    /** The window or view of the file, without a parent unless \a parent is given; null
        with \a error set when the file cannot be read, is not an interface file, or names
        an outlet that does not resolve. */
    static QWidget *load(const QString &path, QWidget *parent = nullptr, QString *error = nullptr,
                         QList<QObject *> *objects = nullptr, const QList<QObject *> &outside = {});
    /** As above from an open device; \a objects receives every object the file created, in
        creation order (the root first). */
    static QWidget *load(QIODevice *device, QWidget *parent = nullptr, QString *error = nullptr,
                         QList<QObject *> *objects = nullptr, const QList<QObject *> &outside = {});

    static QString defaultActionClass();

    /** Runs awakeFromNib() on \a object when it has one; whether it had. */
    static bool awake(QObject *object);
};

namespace detail {
template<class T>
QObject *createForInterface(QObject *parent)
{
    if constexpr (std::is_base_of_v<QWidget, T> && std::is_constructible_v<T, QWidget *>) {
        return new T(qobject_cast<QWidget *>(parent));
    } else if constexpr (std::is_base_of_v<QWidget, T>) {
        auto *widget = new T();
        widget->setParent(qobject_cast<QWidget *>(parent));
        return widget;
    } else if constexpr (std::is_constructible_v<T, QObject *>) {
        return new T(parent);
    } else {
        auto *object = new T();
        object->setParent(parent);
        return object;
    }
}
} // namespace detail

} // namespace platform

#define ZEM_INTERFACE_CLASS_VARIABLE2(n) zemInterfaceClassRegistered_##n
#define ZEM_INTERFACE_CLASS_VARIABLE(n) ZEM_INTERFACE_CLASS_VARIABLE2(n)

/**
 * Makes class \a T creatable by name from interface files; a table entry, no code run.
 * Use it at file scope, once per class. \a T may be qualified (`myapp::Badge`); the name
 * interface files give is the class name moc knows ("myapp::Badge").
 */
#define ZEM_INTERFACE_CLASS(T)                                                                     \
    namespace {                                                                                    \
    [[maybe_unused]] const bool ZEM_INTERFACE_CLASS_VARIABLE(__COUNTER__) =                        \
        ::ZEM_F_ClassRegistry::registerFactory(QString::fromLatin1(T::staticMetaObject.className()), \
                                               &::platform::detail::createForInterface<T>);        \
    }
