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
    // ---- Self-updater ----
    {"Zerva %s is available (installed: %s).", "Zerva %s est disponible (installée : %s)."},
    {"Downloading", "Téléchargement"},
    {"Checking the SHA-256 checksum...", "Vérification de la somme SHA-256..."},
    {"checksum mismatch: the downloaded file was deleted",
     "somme de contrôle incorrecte : le fichier téléchargé a été supprimé"},
    {"Zerva.exe not found in the archive", "Zerva.exe introuvable dans l'archive"},
    {"the Zerva folder is read-only", "le dossier de Zerva est en lecture seule"},
    {"the downloaded file is not a Zerva executable for this computer",
     "le fichier téléchargé n'est pas un exécutable Zerva pour cet ordinateur"},
    {"the downloaded file is not version %s", "le fichier téléchargé n'est pas la version %s"},
    {"Zerva %s downloaded and verified (SHA-256).", "Zerva %s téléchargé et vérifié (SHA-256)."},
    {"Update failed: ", "Échec de la mise à jour : "},
    {"cannot start a thread", "impossible de démarrer un thread"},
    {"cannot rename Zerva.exe: ", "impossible de renommer Zerva.exe : "},
    {"cannot install the new Zerva.exe: ", "impossible d'installer le nouveau Zerva.exe : "},
    {"cannot start the new Zerva.exe: ", "impossible de démarrer le nouveau Zerva.exe : "},
    {"Restarting Zerva with the new version...", "Redémarrage de Zerva avec la nouvelle version..."},

    // ---- Apache configuration ----
    {"VirtualHost on port %d disabled (SSL module or certificate missing).",
     "VirtualHost sur le port %d désactivé (module SSL ou certificat manquant)."},
    {"SSL certificate generated for https://localhost (self-signed).",
     "Certificat SSL généré pour https://localhost (auto-signé)."},
    {"Could not generate the SSL certificate: ", "Impossible de générer le certificat SSL : "},

    // ---- Database ----
    {"Initializing the data directory (first start of %s)...",
     "Initialisation du dossier de données (premier démarrage de %s)..."},
    {"Data directory created (user root).", "Dossier de données créé (utilisateur root)."},

    // ---- Interface: pages, widgets, confirmation ----
    {"Dashboard", "Tableau de bord"},
    {"Components", "Composants"},
    {"Logs", "Journaux"},
    {"Settings", "Paramètres"},
    {"Cancel", "Annuler"},
    {"running", "en marche"},
    {"stopped", "arrêté"},
    {"Apache - errors (error.log)", "Apache - erreurs (error.log)"},
    {"Apache - requests (access.log)", "Apache - requêtes (access.log)"},
    {"errors", "erreurs"},
    {"PHP - error_log", "PHP - error_log"},
    {"Zerva updated from %s to %s.", "Zerva mis à jour de %s vers %s."},
    {"Zerva updated to version %s", "Zerva mis à jour vers la version %s"},
};

}  // namespace

const TranslationPair* TranslationTable(size_t* count) {
    if (count) *count = sizeof kTable / sizeof kTable[0];
    return kTable;
}
