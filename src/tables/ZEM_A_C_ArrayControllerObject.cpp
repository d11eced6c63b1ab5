#include "ZEM_A_C_ArrayControllerObject.h"

#include <QDate>
#include <QDateTime>
#include <QImage>

ZEM_A_C_ArrayControllerObject::Accessors::Accessors(std::initializer_list<Accessor> accessors)
{
    for (const Accessor &a : accessors) {
        m_getters.insert(a.getterName, a.get);
        m_setters.insert(a.setterName, a.set);
    }
}

ZEM_A_C_ArrayControllerObject::ZEM_A_C_ArrayControllerObject(const Accessors &accessors, QObject *parent)
    : QObject(parent)
    , m_accessors(&accessors)
{
}

ZEM_A_C_ArrayControllerObject::~ZEM_A_C_ArrayControllerObject() = default;

QString ZEM_A_C_ArrayControllerObject::setterNameForKey(const QString &key)
{
    if (key.isEmpty())
        return QStringLiteral("set");
    return QStringLiteral("set") + key.front().toUpper() + key.mid(1);
}

bool ZEM_A_C_ArrayControllerObject::isNil(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return true;
    case QMetaType::QString:
        return value.toString().isNull();
    case QMetaType::QByteArray:
        return value.toByteArray().isNull();
    case QMetaType::QObjectStar:
        return value.value<QObject *>() == nullptr;
    default:
        return false;
    }
}

QVariant ZEM_A_C_ArrayControllerObject::objectForKey(const QString &key) const
{
    const Getter get = m_accessors->getter(key);
    return get ? get(*this) : QVariant();
}

quint64 ZEM_A_C_ArrayControllerObject::s_valueChanges = 0;

bool ZEM_A_C_ArrayControllerObject::setObject(const QVariant &value, const QString &key)
{
    const Setter set = m_accessors->setter(setterNameForKey(key));
    if (!set)
        return false;
    set(*this, value);
    ++s_valueChanges;
    return true;
}

void ZEM_A_C_ArrayControllerObject::removeObjectForKey(const QString &key)
{
    const QVariant current = objectForKey(key);
    if (isNil(current))
        return;
    switch (current.typeId()) {
    case QMetaType::QString:
    case QMetaType::QDateTime: // a cleared date shows as an empty text
    case QMetaType::QDate:
        setObject(QStringLiteral(""), key);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        setObject(0, key);
        break;
    case QMetaType::QByteArray:
        setObject(QByteArray(""), key);
        break;
    default:
        break;
    }
}

void ZEM_A_C_ArrayControllerObject::setAddToAllKeys(const QStringList &keys)
{
    m_allKeys += keys;
}

ZEM_A_C_ArrayControllerObject *ZEM_A_C_ArrayControllerObject::setRecordValuesFromDict(const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        setValueForKeyPath(it.value(), it.key());
    return this;
}

void ZEM_A_C_ArrayControllerObject::setInitialVales(const QStringList &keys, const QString &className)
{
    setAddToAllKeys(keys);
    QVariant empty;
    if (className == u"NSString" || className == u"NSCalendarDate")
        empty = QStringLiteral("");
    else if (className == u"NSNumber")
        empty = 0;
    else if (className == u"NSDecimalNumber")
        empty = 0.0;
    else if (className == u"NSData")
        empty = QByteArray("");
    else if (className == u"NSImage")
        empty = QImage();
    else
        return;
    for (const QString &key : keys)
        if (isNil(objectForKey(key)))
            setObject(empty, key);
}

QVariant ZEM_A_C_ArrayControllerObject::valueForKeyPath(const QString &keyPath) const
{
    const qsizetype dot = keyPath.indexOf(u'.');
    if (dot < 0)
        return objectForKey(keyPath);
    const QVariant head = objectForKey(keyPath.left(dot));
    const QString rest = keyPath.mid(dot + 1);
    if (auto *row = qobject_cast<ZEM_A_C_ArrayControllerObject *>(head.value<QObject *>()))
        return row->valueForKeyPath(rest);
    if (head.typeId() == QMetaType::QVariantMap) {
        QVariant value = head;
        for (const QString &part : rest.split(u'.'))
            value = value.toMap().value(part);
        return value;
    }
    return {};
}

bool ZEM_A_C_ArrayControllerObject::setValueForKeyPath(const QVariant &value, const QString &keyPath)
{
    const qsizetype dot = keyPath.indexOf(u'.');
    if (dot < 0)
        return setObject(value, keyPath);
    auto *row = qobject_cast<ZEM_A_C_ArrayControllerObject *>(objectForKey(keyPath.left(dot)).value<QObject *>());
    return row && row->setValueForKeyPath(value, keyPath.mid(dot + 1));
}
