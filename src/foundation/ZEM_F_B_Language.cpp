#include "ZEM_F_B_Language.h"

ZEM_F_B_Language::ZEM_F_B_Language(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_B_Language::~ZEM_F_B_Language() = default;

ZEM_F_StringTable *ZEM_F_B_Language::lk() { return m_lk.get(); }

void ZEM_F_B_Language::setLk(std::unique_ptr<ZEM_F_StringTable> table) { m_lk = std::move(table); }

void ZEM_F_B_Language::k(const QString &key, const QString &text, ZEM_F_B_Language *table)
{
    if (!table)
        return;
    if (!table->m_lk)
        table->m_lk = std::make_unique<ZEM_F_StringTable>();
    table->m_lk->insert(key, text);
}
