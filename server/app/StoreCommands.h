// The one-off commands of talixdb-server: each works on a store and exits.
// What they did goes to standard output, problems to standard error; each
// returns the process exit status (0 done, 1 failed).
#pragma once

#include "app/ServerOptions.h"

namespace talixdb::server {

// --set-admin-password: sets the password of "root" to VLT_ADMIN_PASSWORD
// when set and not empty, else to the first line of standard input, and
// ends root's sessions. Creates the store when there is none yet, and works
// beside a server that serves it.
int setAdministratorPassword(const ServerOptions& options);

// --end-sessions USER: ends every session of USER; works beside a server
// that serves the store.
int endUserSessions(const ServerOptions& options);

// --backup-to: copies the store into a new directory (see backupSqliteStore).
int backUpStore(const ServerOptions& options);

}  // namespace talixdb::server
