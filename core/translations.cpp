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

    // ---- Interface: pages, widgets, confirmation ----
    {"Dashboard", "Tableau de bord"},
    {"Components", "Composants"},
    {"Logs", "Journaux"},
    {"Settings", "Paramètres"},
    {"Cancel", "Annuler"},
    {"running", "en marche"},
    {"stopped", "arrêté"},
};

}  // namespace

const TranslationPair* TranslationTable(size_t* count) {
    if (count) *count = sizeof kTable / sizeof kTable[0];
    return kTable;
}
