#pragma once
// How the tables read and write a record's keyed values, whatever the record is: a
// persistent record, a dictionary row, or any other object through its properties.

#include <QObject>
#include <QString>
#include <QVariant>

namespace tables::detail {

QVariant recordValue(QObject *record, const QString &keyPath);
/** False when the record has no way to take \a keyPath. */
bool setRecordValue(QObject *record, const QVariant &value, const QString &keyPath);
/** True when the record has a value under \a key, set or not (a getter, an attribute, a property). */
bool recordAnswers(QObject *record, const QString &key);

/** \a text as the tables compare it ignoring case (ASCII lowered in place; others folded fully). */
QString foldCase(const QString &text);
/** Code-point order of two texts: negative, zero or positive. */
int compareCodePoints(QStringView a, QStringView b);

} // namespace tables::detail
