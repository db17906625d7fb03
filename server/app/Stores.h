// The store the command line names: SQLite in the directory of --data, or
// PostgreSQL at the connection URI of --store.
#pragma once

#include <memory>
#include <string>

#include "app/ServerOptions.h"
#include "storage/sqlite/SqliteStore.h"

namespace talixdb::server {

// Opens it (see SqliteStore and PostgresStore). Throws StorageFailure.
std::unique_ptr<Store> openConfiguredStore(const ServerOptions& options, StoreUse use);

// The store as messages name it: the directory, or the database's host,
// port, name and user (never a password).
std::string configuredStoreName(const ServerOptions& options);

}  // namespace talixdb::server
