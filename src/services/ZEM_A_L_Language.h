#pragma once

#include "foundation/ZEM_F_B_Language.h"
#include "zem_appkit_export.h"

/**
 * The kit's default string table: message key to English text, 130 pairs. The language
 * engine falls back to it for every key the active language does not translate.
 */
class ZEM_APPKIT_EXPORT ZEM_A_L_Language : public ZEM_F_B_Language
{
    Q_OBJECT
public:
    /** The one table, created on the first call and never released. */
    static ZEM_A_L_Language *shared();

    /** The table's dictionary; filled, in table order, on the first call. */
    ZEM_F_StringTable *lk() override;

    /** True once the class is known to the class registry by its name. */
    static bool isRegistered();

private:
    explicit ZEM_A_L_Language(QObject *parent = nullptr);
    ~ZEM_A_L_Language() override;
};
