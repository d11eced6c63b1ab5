#include "ZEM_F_Format.h"

namespace ZEM_F_Format {

QString fill(const QString &format, const QStringList &arguments)
{
    QString result;
    result.reserve(format.size() + 16 * arguments.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < format.size()) {
            const QChar after = format.at(i + 1);
            if (after == u'%') {
                result.append(u'%');
                ++i;
                continue;
            }
            if (after == u'@' && next < arguments.size()) {
                result.append(arguments.at(next++));
                ++i;
                continue;
            }
        }
        result.append(c);
    }
    return result;
}

} // namespace ZEM_F_Format
