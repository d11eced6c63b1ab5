#pragma once
// Not installed: the text form of a stored record's object id, "<entity>/<n>", which both
// stores of this kit hand out and read back.

#include <QString>
#include <QStringView>

namespace platform::detail {

/** "<entity>/<number>". */
QString objectIDText(const QString &entity, qint64 number);

/**
 * The number of an id, from plain digits without a leading zero (so that every id has one
 * spelling) and from 1 to the largest qint64; false for anything else.
 */
bool parseObjectNumber(QStringView digits, qint64 *number);

/**
 * "<entity>/<number>" split at its last slash into a non-empty entity name and a number as
 * parseObjectNumber() reads it; false when \a id is not of that form. \a entity views \a id.
 */
bool parseObjectIDText(QStringView id, QStringView *entity, qint64 *number);

} // namespace platform::detail
