// ui/pages/mysql.h: the MySQL / MariaDB page: the current database build, its port, the stored
// root password and its change, the client console, phpMyAdmin, the template, the data folder,
// the error log, the first initialisation and the template's restoration. GUI thread; the password
// change and the initialisation run as jobs on the server worker.
#pragma once
#include <string>

struct DbInstall;

namespace ui {

void ConnectionCard(const DbInstall& build, float width);
void PasswordCard(const DbInstall& build);
void ToolsCard(const DbInstall& build);

// What the command-line client is started with: root on 127.0.0.1 at the port, asking for the
// password, reading no option file.
std::wstring MysqlClientArguments(int port);

}  // namespace ui
