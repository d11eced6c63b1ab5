#include "tables/detail/RecordValues.h"

#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/Predicate.h"
#include "platform/store/RecordClass.h"
#include "platform/store/StoreContext.h"
#include "tables/ZEM_A_C_ArrayControllerObject.h"

namespace tables::detail {

QVariant recordValue(QObject *record, const QString &keyPath)
{
    if (auto *row = qobject_cast<ZEM_A_C_ArrayControllerObject *>(record))
        return row->valueForKeyPath(keyPath);
    if (auto *object = qobject_cast<platform::PersistentObject *>(record))
        return object->valueForKeyPath(keyPath);
    return record ? record->property(keyPath.toUtf8().constData()) : QVariant();
}

bool setRecordValue(QObject *record, const QVariant &value, const QString &keyPath)
{
    if (auto *row = qobject_cast<ZEM_A_C_ArrayControllerObject *>(record))
        return row->setValueForKeyPath(value, keyPath);
    if (auto *object = qobject_cast<platform::PersistentObject *>(record)) {
        object->setValueForKeyPath(value, keyPath);
        return true;
    }
    return record && record->setProperty(keyPath.toUtf8().constData(), value);
}

bool recordAnswers(QObject *record, const QString &key)
{
    if (auto *row = qobject_cast<ZEM_A_C_ArrayControllerObject *>(record))
        return row->answers(key);
    if (auto *object = qobject_cast<platform::PersistentObject *>(record)) {
        QVariant unused;
        if (object->recordClass()->getValue(*object, key, &unused))
            return true;
        const platform::StoreContext *context = object->managedObjectContext();
        const platform::DataModel *model = context ? context->model() : nullptr;
        const platform::EntityDescription *entity = model ? model->entity(object->entityName()) : nullptr;
        if (entity)
            return entity->attribute(key) != nullptr;
        return object->primitiveKeys().contains(key);
    }
    return record && record->metaObject()->indexOfProperty(key.toUtf8().constData()) >= 0;
}

QString foldCase(const QString &text)
{
    QString folded = text;
    const qsizetype n = folded.size();
    QChar *data = folded.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i].unicode();
        if (c >= 0x80)
            return platform::Predicate::fold(text, platform::Predicate::Option::CaseInsensitive);
        if (c >= u'A' && c <= u'Z')
            data[i] = QChar(char16_t(c + 32));
    }
    return folded;
}

int compareCodePoints(QStringView a, QStringView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y)
            continue;
        // UTF-16 puts surrogates (astral code points) below U+E000..U+FFFF; move them above.
        if (x >= 0xD800 && y >= 0xD800) {
            x = x >= 0xE000 ? char16_t(x - 0x800) : char16_t(x + 0x2000);
            y = y >= 0xE000 ? char16_t(y - 0x800) : char16_t(y + 0x2000);
        }
        return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace tables::detail
