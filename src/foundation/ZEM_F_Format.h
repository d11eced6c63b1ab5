#pragma once

#include "zem_foundation_export.h"

#include <QString>
#include <QStringList>

/**
 * Fills the "%@" places of a message text (the form the language files use) with
 * \a arguments in order; "%%" stands for one "%". Places beyond the arguments stay as
 * they are, and arguments beyond the places are ignored, so a translation that drops or
 * adds a place never fails. A null argument fills its place with nothing.
 *
 * **Example**
 * \code
 * ZEM_F_Format::fill(u"%@ saved the Address Book changes"_s, {appName});
 * \endcode
 */
namespace ZEM_F_Format {
ZEM_FOUNDATION_EXPORT QString fill(const QString &format, const QStringList &arguments);
}
