#pragma once

#include "zem_foundation_export.h"

#include <QLoggingCategory>

ZEM_FOUNDATION_EXPORT Q_DECLARE_LOGGING_CATEGORY(zemFoundation)
