#pragma once
// The French language file the localized control tests switch to, written into the
// private data home, and the notifications a control meets.

#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_L_Language.h"

namespace french {

/** Writes \a table as the French language file of the private data home. */
inline bool write(const ZEM_F_StringTable &table)
{
    const QString path = ZEM_F_E_Language::languageFilePath(QStringLiteral("French"));
    if (!path.startsWith(ZemTestEnv::current()->dataHome()))
        return false;
    return zemtest::writeFile(path, ZEM_F_PropertyList::writeStringTable(table));
}

/** The French file most control tests share. */
inline bool write()
{
    ZEM_F_StringTable table;
    const std::pair<const char *, const char *> rows[] = {
        {"NL:Save", "Enregistrer"},
        {"NL:Delete", "Supprimer"},
        {"NL:Print", "Imprimer"},
        {"NL:Name", "Nom"},
        {"NL:Button", "Bouton"},
        {"B:Column", "Colonne"},
        {"B:ToolBarItem", "Outil"},
        {"NT:Remove the record", "Supprimer la fiche"},
        {"NT:Keep a copy", "Garder une copie"},
        {"NT:Date Picker", "Choix de date"},
        {"NT:Search Field", "Champ de recherche"},
        {"NT:Pick a colour", "Choisir une couleur"},
        {"NP:Print all", "Tout imprimer"},
        {"M:TabViewSegment", "Onglet %@"},
    };
    for (const auto &[key, text] : rows)
        table.insert(QString::fromUtf8(key), QString::fromUtf8(text));
    return write(table);
}

inline bool use(const char *language)
{
    return ZEM_F_E_Language::shared()->setActiveLanguage(QString::fromLatin1(language)).has_value();
}

inline ZEM_F_Notification reset()
{
    return ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(0), {}};
}

} // namespace french
