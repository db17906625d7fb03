#include "app/Stores.h"

#include "storage/postgres/Postgres.h"
#include "storage/postgres/PostgresStore.h"

namespace talixdb::server {

std::unique_ptr<Store> openConfiguredStore(const ServerOptions& options, StoreUse use) {
  if (!options.storeUri.empty())
    return std::make_unique<PostgresStore>(options.storeUri, use, static_cast<int>(options.limits.maxDbConnections));
  return std::make_unique<SqliteStore>(options.dataDirectory, use);
}

std::string configuredStoreName(const ServerOptions& options) {
  if (options.storeUri.empty()) return options.dataDirectory;
  std::string name = describePostgresUri(options.storeUri);
  return name.empty() ? "the PostgreSQL database of --store" : name;
}

}  // namespace talixdb::server
