// tools/standin/database_roles.h: the database programs the stand-in plays, one role each: the
// server (mariadbd, mysqld), the install tool, the admin tool and the command-line client.
#pragma once
#include "tools/standin/standin.h"

namespace standin {

int DbServer(const Args& a);
int DbInstallTool(const Args& a);
int DbAdmin(const Args& a);
int DbClient(const Args& a);

}  // namespace standin
