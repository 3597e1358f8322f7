// tools/standin/apache_roles.h: the httpd.exe and openssl.exe roles of the stand-in, as steps of
// its table (a copy named httpd.exe or openssl.exe runs its role with all its arguments).
#pragma once
#include "tools/standin/standin.h"

namespace standin {

// httpd.exe: "-t" checks the configuration, otherwise it serves (see apache_roles.cpp).
int Httpd(const Args& a);
// openssl.exe: "req -x509 ..." writes a key and a certificate.
int OpenSsl(const Args& a);

}  // namespace standin
