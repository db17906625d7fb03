// How often one request's transactions lost to concurrent ones (see
// Repository::run), for its log line; the server's figures (GET /metrics)
// add each request's share up when the request is counted.
#pragma once

namespace talixdb::server {

struct Contention {
  int transactions = 0;  // bodies run, reruns included
  int retries = 0;       // transactions run again after losing to a concurrent one
  int alone = 0;         // of those runs, the ones that ran alone
};

}  // namespace talixdb::server
