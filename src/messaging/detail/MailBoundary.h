#pragma once
// The boundary between the parts of a message with attachments.

#include "zem_appkit_export.h"

#include <QByteArray>

namespace messaging::detail {

/** "----_=_NextPart_%8.8X_%8.8X" filled from a generator seeded from the system's entropy. */
ZEM_APPKIT_EXPORT QByteArray nextPartBoundary();

/** Lets a test choose the values drawn for boundaries (nullptr: the random ones again). */
ZEM_APPKIT_EXPORT void setBoundarySource(long (*source)());

} // namespace messaging::detail
