#include "ZEM_A_E_ManagedObject.h"

#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Clock.h"
#include "platform/store/RecordClass.h"
#include "platform/RtfReader.h"
#include "platform/store/ValueTransformer.h"

#include <QFontDatabase>
#include <QLocale>
#include <QTime>

#include <algorithm>

using platform::AttributedString;
using platform::Clock;

namespace {
[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_ManagedObject"), [] { return static_cast<QObject *>(ZEM_A_E_ManagedObject::shared()); });

// The day at 00:00 \a days from today, as a calendar date in the default time zone.
QDate dayFromToday(int days)
{
    return QDateTime(Clock::today().addDays(days), QTime(0, 0)).date();
}

bool sameDay(const QDateTime &date, const QDate &reference)
{
    if (!date.isValid() || !reference.isValid())
        return false;
    const QDate day = date.toLocalTime().date();
    return day.year() == reference.year() && day.month() == reference.month() && day.day() == reference.day();
}
} // namespace

ZEM_A_E_ManagedObject::ZEM_A_E_ManagedObject(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_ManagedObject::~ZEM_A_E_ManagedObject() = default;

ZEM_A_E_ManagedObject *ZEM_A_E_ManagedObject::shared()
{
    static auto *instance = new ZEM_A_E_ManagedObject;
    return instance;
}

QString ZEM_A_E_ManagedObject::getCheckMark(const QVariant &flag) const
{
    return flag.isValid() && flag.toBool() ? QString(QChar(char16_t(0x2713))) : QStringLiteral("");
}

QString ZEM_A_E_ManagedObject::getSetAccessor(const QString &key) const
{
    return platform::RecordClass::setterNameForKey(key) + QLatin1Char(':');
}

QString ZEM_A_E_ManagedObject::convertedDateString(const QDateTime &date) const
{
    if (!date.isValid())
        return {};
    if (isToday(date))
        return ZEM_F_E_Language::shared()->stringForKeyLook(QStringLiteral("NL:Today"));
    if (isTomorrow(date))
        return ZEM_F_E_Language::shared()->stringForKeyLook(QStringLiteral("NL:Tomorrow"));
    if (isYesterday(date))
        return ZEM_F_E_Language::shared()->stringForKeyLook(QStringLiteral("NL:Yesterday"));
    return QLocale::c().toString(date.toLocalTime(), QStringLiteral("MMM dd, yyyy"));
}

QString ZEM_A_E_ManagedObject::restrictStringLength(const QString &string, qint64 limit) const
{
    if (string.isNull())
        return {};
    if (string.isEmpty() || limit == 0)
        return string;
    return string.left(qsizetype(std::clamp<qint64>(limit, 0, string.size())));
}

AttributedString ZEM_A_E_ManagedObject::getAttributedString(const QString &string) const
{
    if (string.isEmpty())
        return {};
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(11);
    return AttributedString(string, {font, {}});
}

AttributedString ZEM_A_E_ManagedObject::restrictAttributedStringLength(const AttributedString &string,
                                                                      qint64 limit) const
{
    if (string.isNull())
        return {};
    if (string.isEmpty() || limit == 0)
        return string;
    return string.left(int(std::clamp<qint64>(limit, 0, string.length())));
}

AttributedString ZEM_A_E_ManagedObject::dataAttributedString(const QByteArray &data) const
{
    if (data.isNull())
        return {};
    QVariant value;
    if (const platform::ValueTransformer *t = platform::ValueTransformer::valueTransformerForName(
            platform::ValueTransformer::unarchiveFromDataName()))
        value = t->transformedValue(data);
    QByteArray rtf;
    if (value.metaType() == QMetaType::fromType<AttributedString>())
        return value.value<AttributedString>();
    if (value.metaType() == QMetaType::fromType<QByteArray>())
        rtf = value.toByteArray();
    else if (value.metaType() == QMetaType::fromType<QString>())
        rtf = value.toString().toUtf8();
    else if (!value.isValid())
        rtf = data; // files written by other programs hold the RTF itself
    ZEM_Result<AttributedString> text = platform::RtfReader::read(rtf);
    return text ? *text : AttributedString();
}

bool ZEM_A_E_ManagedObject::isToday(const QDateTime &date) const
{
    return sameDay(date, Clock::today());
}

bool ZEM_A_E_ManagedObject::isTomorrow(const QDateTime &date) const
{
    return sameDay(date, dayFromToday(1));
}

bool ZEM_A_E_ManagedObject::isYesterday(const QDateTime &date) const
{
    return sameDay(date, dayFromToday(-1));
}

QColor ZEM_A_E_ManagedObject::todayOverDueDateColor(const QDateTime &date) const
{
    if (isToday(date))
        return ZEM_F_Host::defaults()->getColorFromClass(QStringLiteral("DateTodayColor"));
    if (isTomorrow(date))
        return ZEM_F_Host::defaults()->getColorFromClass(QStringLiteral("DateTomorrowColor"));
    if (isYesterday(date))
        return ZEM_F_Host::defaults()->getColorFromClass(QStringLiteral("DateYesterdayColor"));
    return QColor(Qt::black);
}

bool ZEM_A_E_ManagedObject::overDueDate(const QDateTime &date) const
{
    return date.isValid() && date <= Clock::now();
}
