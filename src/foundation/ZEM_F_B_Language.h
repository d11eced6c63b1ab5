#pragma once

#include "ZEM_F_B_Securitry.h"
#include "ZEM_F_StringTable.h"

#include <memory>

/**
 * Base of a default string table: holds the dictionary `lk` from message key to text.
 * A subclass fills it on its first lk() call with k() and is found by the language
 * engine through its registered class name (ZEM_F_E_Language::addDefaultTable()).
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_B_Language : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    explicit ZEM_F_B_Language(QObject *parent = nullptr);
    ~ZEM_F_B_Language() override;

    /** The dictionary, or null until one is set. Subclasses create and fill it here. */
    virtual ZEM_F_StringTable *lk();
    /** Stores \a table as the dictionary, taking ownership. */
    void setLk(std::unique_ptr<ZEM_F_StringTable> table);

    /** Adds the pair (\a key, \a text) to \a table's dictionary, creating it if needed. */
    static void k(const QString &key, const QString &text, ZEM_F_B_Language *table);

protected:
    ZEM_F_StringTable *storedLk() const { return m_lk.get(); }

private:
    std::unique_ptr<ZEM_F_StringTable> m_lk;
};
