#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "platform/AttributedString.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QString>
#include <QVariant>

/**
 * The derived display values that records of every kind share: check marks, setter names,
 * relative date texts and colours, the over-due test, and conversions between plain,
 * styled and archived rich text.
 *
 * Dates are taken as calendar dates in the process's default time zone; "now" is
 * platform::Clock::now(). "No value" arguments are an invalid QVariant or QDateTime, a null
 * QString, a null QByteArray or a null AttributedString; the matching "no result" is of
 * the same kind.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_ManagedObject : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_ManagedObject *shared();

    /** U+2713 when \a flag is true, else ""; no value counts as false. */
    Q_INVOKABLE QString getCheckMark(const QVariant &flag) const;
    /** "set", \a key with its first character capitalised, ":" ("firstName" gives "setFirstName:"). */
    Q_INVOKABLE QString getSetAccessor(const QString &key) const;
    /**
     * The language's "NL:Today", "NL:Tomorrow" or "NL:Yesterday" for those days, else the
     * date as "Jan 05, 2024"; a null string for no date.
     */
    Q_INVOKABLE QString convertedDateString(const QDateTime &date) const;
    /**
     * The first min(length, limit) characters of \a string; \a string itself when it is
     * empty or \a limit is 0; a null string for no string. A negative limit keeps nothing.
     */
    QString restrictStringLength(const QString &string, qint64 limit) const;
    /** \a string in the system font at 11 points; null for no string or the empty string. */
    platform::AttributedString getAttributedString(const QString &string) const;
    /** As restrictStringLength(), keeping the attributes of the kept characters. */
    platform::AttributedString restrictAttributedStringLength(const platform::AttributedString &string,
                                                              qint64 limit) const;
    /**
     * The styled text archived in \a data (through the "NSUnarchiveFromData" transformer,
     * then read as RTF); plain RTF bytes are read as they are. Null for no data or data
     * that is not readable rich text.
     */
    platform::AttributedString dataAttributedString(const QByteArray &data) const;

    Q_INVOKABLE bool isToday(const QDateTime &date) const;
    Q_INVOKABLE bool isTomorrow(const QDateTime &date) const;
    Q_INVOKABLE bool isYesterday(const QDateTime &date) const;
    /**
     * For today, tomorrow and yesterday the host's colour "DateTodayColor",
     * "DateTomorrowColor" or "DateYesterdayColor" (as the host answers it, invalid when
     * unset); black for any other date and for no date.
     */
    Q_INVOKABLE QColor todayOverDueDateColor(const QDateTime &date) const;
    /** True when \a date is at or before now; false for no date. */
    Q_INVOKABLE bool overDueDate(const QDateTime &date) const;

    ~ZEM_A_E_ManagedObject() override;

private:
    explicit ZEM_A_E_ManagedObject(QObject *parent = nullptr);
};
