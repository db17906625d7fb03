// Why a call of the proxy failed, in one line for people: the text that
// CVLTDatabase::getLastErrorText hands out. The first words tell the kind of
// failure, as VLTDatabase.h documents them.
#pragma once

#include <string>

struct soap;

namespace VLT_121 {

// What is known of a failed call besides the runtime context.
struct CallRecord {
  std::string endpoint;         // the URL the call was posted to
  double seconds = 0;           // how long the call took
  bool callTimeUsedUp = false;  // TALIXDB_CALL_TIMEOUT ran out
  int callTimeoutSeconds = 0;   // its value (0: no limit)
  std::string tlsFailure;       // why TLS failed, when it did
};

// The text for the call that left `soap` with an error.
std::string describeCallFailure(const struct soap* soap, const CallRecord& call);

// "HOST[:PORT]", or "https://HOST[:PORT]", of an endpoint URL: the address
// as CVLTDatabase::open takes it.
std::string addressOfEndpoint(const std::string& endpoint);

}  // namespace VLT_121
