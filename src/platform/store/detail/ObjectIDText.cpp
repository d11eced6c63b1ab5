#include "platform/store/detail/ObjectIDText.h"

namespace platform::detail {

QString objectIDText(const QString &entity, qint64 number)
{
    return entity + u'/' + QString::number(number);
}

bool parseObjectNumber(QStringView digits, qint64 *number)
{
    if (digits.isEmpty() || digits.front() == u'0')
        return false;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return false;
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    if (!ok || n < 1)
        return false;
    *number = n;
    return true;
}

bool parseObjectIDText(QStringView id, QStringView *entity, qint64 *number)
{
    const qsizetype slash = id.lastIndexOf(u'/');
    if (slash <= 0 || !parseObjectNumber(id.mid(slash + 1), number))
        return false;
    *entity = id.left(slash);
    return true;
}

} // namespace platform::detail
