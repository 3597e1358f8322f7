// control/start.cpp: the start sequences of Apache and the database server. Server worker only.
#include "control/start.h"

bool DoStartApache() { return false; }
bool DoStartMySql() { return false; }
