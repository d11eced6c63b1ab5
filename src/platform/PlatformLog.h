#pragma once

#include "zem_appkit_export.h"

#include <QLoggingCategory>

ZEM_APPKIT_EXPORT Q_DECLARE_LOGGING_CATEGORY(zemPlatform)
