#pragma once
// The French language file the localized control tests switch to, written into the
// private data home, and the notifications a control meets.

#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Language.h"

namespace french {

/** Makes "Organiser" the host and writes the French file most control tests share. */
inline bool setUp()
{
    return zemFrenchLanguage({
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
           })
        != nullptr;
}

inline bool use(const char *language)
{
    return ZEM_F_E_Language::shared()->setActiveLanguage(QString::fromLatin1(language)).has_value();
}

inline QString shown(const QString &text) { return text; }
inline QString shown(const QStringList &texts) { return texts.join(u'|'); }

/** What \a read answers now, in French, and in English again, joined by " / ". */
template <class Read>
QString roundTrip(Read read)
{
    QStringList seen{shown(read())};
    for (const char *language : {"French", "English"})
        seen.append(use(language) ? shown(read()) : QStringLiteral("(no %1)").arg(QLatin1String(language)));
    return seen.join(u" / ");
}

inline QMap<QString, QString> dictionary()
{
    return ZEM_F_E_Language::shared()->languageDictionary();
}

/** Waits for the language dictionary to hold \a key ("NL:Save") with its own text ("Save"). */
[[nodiscard]] inline bool entered(const char *key)
{
    const QString k = QString::fromUtf8(key);
    return QTest::qWaitFor([&k] { return dictionary().value(k) == k.mid(3); });
}

inline ZEM_F_Notification reset()
{
    return ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(0), {}};
}

} // namespace french
