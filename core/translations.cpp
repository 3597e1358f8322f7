// core/translations.cpp: the French for every English interface text passed to Tr. Each French
// text keeps the printf placeholders of its English text, in the same order. Grouped by the
// part of the program that shows the text; an English text appears only once.
#include "core/translate.h"

namespace {

const TranslationPair kTable[] = {
    // ---- Shared labels ----
    {"(empty)", "(vide)"},
    {"Not installed", "Non installé"},
    {"Open in the browser", "Ouvrir dans le navigateur"},
    {"Offline: only this computer", "Hors ligne : cet ordinateur uniquement"},
    {"Online: reachable from the network", "En ligne : accessible depuis le réseau"},
    {"(+%d queued)", "(+%d en attente)"},
    {"%d / %d extensions enabled", "%d / %d extensions activées"},
    {"%d session files deleted", "%d fichiers de session supprimés"},

    // ---- Database ----
    {"Initializing the data directory (first start of %s)...",
     "Initialisation du dossier de données (premier démarrage de %s)..."},
    {"Data directory created (user root).", "Dossier de données créé (utilisateur root)."},
};

}  // namespace

const TranslationPair* TranslationTable(size_t* count) {
    if (count) *count = sizeof kTable / sizeof kTable[0];
    return kTable;
}
