#pragma once
// The boundary between the parts of a message with attachments.

#include "zem_appkit_export.h"

#include <QByteArray>

namespace messaging::detail {

/** "----_=_NextPart_%8.8X_%8.8X" filled from a generator seeded from the system's entropy. */
ZEM_APPKIT_EXPORT QByteArray nextPartBoundary();

/** Lets a test choose the boundaries drawn (nullptr: the random ones again). */
ZEM_APPKIT_EXPORT void setBoundarySource(QByteArray (*source)());

} // namespace messaging::detail
