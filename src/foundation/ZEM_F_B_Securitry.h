#pragma once

#include "zem_foundation_export.h"

#include <QObject>

/**
 * The common base object of every engine. Engines are process-wide singletons created on
 * their first shared() call and never destroyed; they hold no state worth copying, so
 * copying is disabled here once for all of them.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_B_Securitry : public QObject
{
    Q_OBJECT
public:
    explicit ZEM_F_B_Securitry(QObject *parent = nullptr);
    ~ZEM_F_B_Securitry() override;

    Q_DISABLE_COPY_MOVE(ZEM_F_B_Securitry)
};
