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
    // ---- Server control ----
    {"Starting servers...", "Démarrage des serveurs..."},
    {"Stopping servers...", "Arrêt des serveurs..."},
    {"Restarting servers...", "Redémarrage des serveurs..."},
    {"Starting Apache...", "Démarrage d'Apache..."},
    {"Stopping Apache...", "Arrêt d'Apache..."},
    {"Restarting Apache...", "Redémarrage d'Apache..."},
    {"Starting MySQL...", "Démarrage de MySQL..."},
    {"Stopping MySQL...", "Arrêt de MySQL..."},
    {"Restarting MySQL...", "Redémarrage de MySQL..."},
    {"Applying the configuration...", "Application de la configuration..."},
    {"internal error: ", "erreur interne : "},
    {"Apache / PHP configuration changed: restarting Apache.", "Configuration Apache / PHP modifiée : redémarrage d'Apache."},
    {"MySQL configuration changed: restarting MySQL.", "Configuration MySQL modifiée : redémarrage de MySQL."},
    {"another program", "un autre programme"},
    {" - Windows HTTP service (IIS, http.sys...)", " - service HTTP de Windows (IIS, http.sys...)"},
    {"Port %d is already used by %s", "Le port %d est déjà utilisé par %s"},
    {"Port %d unavailable", "Port %d indisponible"},
    {"Port %d needed by %s is already used by %s.\n\nStop that program or change the port in Zerva.",
     "Le port %d nécessaire à %s est déjà utilisé par %s.\n\nArrêtez ce programme ou changez le port dans Zerva."},
    {"Apache is not installed", "Apache n'est pas installé"},
    {"No Apache version was found in bin/apache.\nInstall one from the Components page.",
     "Aucune version d'Apache n'a été trouvée dans bin/apache.\nInstallez-en une depuis la page Composants."},
    {"Starting Apache", "Démarrage d'Apache"},
    {"PHP version not usable", "Version de PHP inutilisable"},
    {"%s has no Apache module (php*apache2_4.dll). Use a Thread Safe (TS) build.",
     "%s n'a pas de module Apache (php*apache2_4.dll). Utilisez une version Thread Safe (TS)."},
    {"Incompatible architectures", "Architectures incompatibles"},
    {"PHP %s is %s but Apache %s is %s.\nApache can only load a PHP build of the same architecture.",
     "PHP %s est en %s mais Apache %s est en %s.\nApache ne peut charger qu'une version de PHP de la même architecture."},
    {"PHP %s configured from %s.", "PHP %s configuré à partir de %s."},
    {"PHP build %s is no longer found.", "La version de PHP %s est introuvable."},
    {"No PHP version installed: Apache starts without PHP.", "Aucune version de PHP installée : Apache démarre sans PHP."},
    {"Apache configuration error", "Erreur de configuration d'Apache"},
    {"httpd -t failed.", "httpd -t a échoué."},
    {"Cannot start httpd.exe: ", "Impossible de lancer httpd.exe : "},
    {"Apache is running but does not listen on every port yet.",
     "Apache fonctionne mais n'écoute pas encore sur tous les ports."},
    {"Apache started", "Apache démarré"},
    {"ports", "ports"},
    {"Apache stopped right after starting. See the messages above or logs/error.log.",
     "Apache s'est arrêté juste après son démarrage. Voir les messages ci-dessus ou logs/error.log."},
    {"Apache did not start", "Apache n'a pas démarré"},
    {"Apache stopped right after starting.\nCheck the console and the Apache error log.",
     "Apache s'est arrêté juste après son démarrage.\nConsultez la console et le journal d'erreurs d'Apache."},
    {"MySQL / MariaDB is not installed", "MySQL / MariaDB n'est pas installé"},
    {"No database server was found in bin/database.\nInstall MariaDB from the Components page.",
     "Aucun serveur de base de données n'a été trouvé dans bin/database.\nInstallez MariaDB depuis la page Composants."},
    {"Starting", "Démarrage de"},
    {"MySQL initialization failed", "Échec de l'initialisation de MySQL"},
    {"Cannot start the database server: ", "Impossible de lancer le serveur de base de données : "},
    {"The database server is running but does not answer on its port yet.",
     "Le serveur de base de données fonctionne mais ne répond pas encore sur son port."},
    {"started", "démarré"},
    {"port", "port"},
    {"The database server stopped right after starting. See the MySQL error log.",
     "Le serveur de base de données s'est arrêté juste après son démarrage. Voir le journal d'erreurs de MySQL."},
    {"MySQL did not start", "MySQL n'a pas démarré"},
    {"The database server stopped right after starting.\nCheck the console and the MySQL error log (Logs page).",
     "Le serveur de base de données s'est arrêté juste après son démarrage.\nConsultez la console et le journal d'erreurs de MySQL (page Journaux)."},
    {"Apache stopped.", "Apache arrêté."},
    {"Apache is still running after the forced stop.", "Apache fonctionne encore après l'arrêt forcé."},
    {"Apache did not stop", "Apache ne s'est pas arrêté"},
    {"Apache is still running after the stop request and the forced end.\nEnd httpd.exe in the Task Manager.",
     "Apache fonctionne encore après la demande d'arrêt et l'arrêt forcé.\nTerminez httpd.exe dans le Gestionnaire des tâches."},
    {"Clean shutdown failed: the process is terminated.", "L'arrêt propre a échoué : le processus est terminé de force."},
    {"MySQL stopped.", "MySQL arrêté."},
    {"The database server is still running after the forced stop.",
     "Le serveur de base de données fonctionne encore après l'arrêt forcé."},
    {"MySQL did not stop", "MySQL ne s'est pas arrêté"},
    {"The database server is still running after the stop request and the forced end.\nEnd it in the Task Manager.",
     "Le serveur de base de données fonctionne encore après la demande d'arrêt et l'arrêt forcé.\nTerminez-le dans le Gestionnaire des tâches."},
    {"Cannot start the server thread", "Impossible de démarrer le fil des serveurs"},
    {"Zerva cannot start or stop the servers until it is restarted.",
     "Zerva ne peut ni démarrer ni arrêter les serveurs avant d'être redémarré."},

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
    {" - Zerva.exe could not be put back: the previous version is %s",
     " - Zerva.exe n'a pas pu être remis en place : la version précédente est %s"},
    {" - Zerva.exe could not be put back: the new version is %s",
     " - Zerva.exe n'a pas pu être remis en place : la nouvelle version est %s"},

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

    // ---- Catalogs and installer ----
    {"Cannot load the catalog", "Impossible de charger le catalogue"},
    {"Installing", "Installation de"},
    {"Removing", "Suppression de"},
    {"Extracting", "Extraction de"},
    {"Configuring...", "Configuration..."},
    {"Creating the databases (first initialization)...", "Création des bases de données (première initialisation)..."},
    {"Deleting files...", "Suppression des fichiers..."},
    {"Using the cached archive", "Utilisation de l'archive en cache"},
    {"downloaded", "téléchargé"},
    {"SHA-256 checksum verified", "Somme SHA-256 vérifiée"},
    {"CA certificates bundle downloaded", "Paquet de certificats CA téléchargé"},
    {"installed", "installé"},
    {"removed", "supprimé"},
    {"already installed", "déjà installé"},
    {"unsafe file or folder name", "nom de fichier ou de dossier dangereux"},
    {"Download failed", "Échec du téléchargement"},
    {"Checksum mismatch, the downloaded file was deleted: ",
     "Somme de contrôle incorrecte, le fichier téléchargé a été supprimé : "},
    {"Cannot replace phpMyAdmin (files in use?)", "Impossible de remplacer phpMyAdmin (fichiers utilisés ?)"},
    {"Unexpected archive content", "Contenu d'archive inattendu"},
    {"not found", "introuvable"},
    {"Extraction failed", "Échec de l'extraction"},
    {"Cannot create the folder", "Impossible de créer le dossier"},
    {"This folder cannot be removed from Zerva", "Ce dossier ne peut pas être supprimé depuis Zerva"},
    {"Cannot delete", "Impossible de supprimer"},
    {"files in use?", "fichiers utilisés ?"},
    {"Cannot start the installer thread", "Impossible de démarrer le fil d'installation"},

    // ---- Window, notification area and start-up ----
    {"Hide Zerva", "Masquer Zerva"},
    {"Show Zerva", "Afficher Zerva"},
    {"Start servers", "Démarrer les serveurs"},
    {"Stop servers", "Arrêter les serveurs"},
    {"Restart servers", "Redémarrer les serveurs"},
    {"Apache / MySQL", "Apache / MySQL"},
    {"Start Apache only", "Démarrer Apache seulement"},
    {"Stop Apache only", "Arrêter Apache seulement"},
    {"Start MySQL only", "Démarrer MySQL seulement"},
    {"Stop MySQL only", "Arrêter MySQL seulement"},
    {"Open localhost", "Ouvrir localhost"},
    {"www folder", "Dossier www"},
    {"Quit", "Quitter"},
    {"Zerva cannot write in its folder:\n%s\n\nZerva keeps its configuration and its servers in this folder. Move the "
     "Zerva folder somewhere you can write (for example C:\\Zerva or your Documents), or restart it as "
     "administrator.\n\nRestart as administrator now?",
     "Zerva ne peut pas écrire dans son dossier :\n%s\n\nZerva garde sa configuration et ses serveurs dans ce "
     "dossier. Déplacez le dossier de Zerva dans un endroit où vous pouvez écrire (par exemple C:\\Zerva ou vos "
     "Documents), ou redémarrez-le en tant qu'administrateur.\n\nRedémarrer en tant qu'administrateur maintenant ?"},
    {"A MySQL configuration file from another package was found (ignored by Zerva): ",
     "Un fichier de configuration MySQL d'un autre logiciel a été trouvé (ignoré par Zerva) : "},
    {"libmysql.dll was installed in Windows by another package and may disturb PHP: ",
     "libmysql.dll a été installé dans Windows par un autre logiciel et peut gêner PHP : "},

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

    // ---- Frame: sidebar, header, console ----

    // ---- Dialogs, alerts and toasts ----

    // ---- Dashboard ----

    // ---- Apache page ----

    // ---- PHP page ----

    // ---- Components page and install wizard ----

    // ---- MySQL / MariaDB page ----

    // ---- Logs page ----

    // ---- Settings page ----
};

}  // namespace

const TranslationPair* TranslationTable(size_t* count) {
    if (count) *count = sizeof kTable / sizeof kTable[0];
    return kTable;
}
