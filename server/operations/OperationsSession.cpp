// The session operations; none of them needs a session to be called.
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"
#include "SessionTimes.h"

using namespace talixdb::server;

namespace {

// The placeholder login the client library sends from `open` to see whether
// the server answers; refused like any wrong password, but no attack.
bool isReachabilityProbe(const ns1__LoginRequestStruct& request) {
  return request.username == "username" && request.password == "password" && request.domain == "domain" &&
         request.locale == "en";
}

}  // namespace

namespace talixdb_wire {

int __ns1__login(struct soap* soap, ns1__LoginRequestStruct* request, ns1__LoginResponseElement* response) {
  return serveSimple(soap, "login", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no login request");
    // A failed login is worth a warning (with the client's address in its
    // line); the probe is only worth a debug line.
    context.probe = isReachabilityProbe(*request);
    context.refusalLevel = context.probe ? LogLevel::Debug : LogLevel::Warning;
    context.caller.user = request->username;
    context.newSession = context.repository().login(context.caller, request->username, request->password);
    response->activeUri = kRepositoryPath;
    response->xferAction = 0;
    response->ftpUser = nullptr;
    response->ftpPassword = nullptr;
    response->svcHost = nullptr;
    response->svcHostPort = 0;
  });
}

int __ns1__isLoggedIn(struct soap* soap, ns1__IsLoggedInRequestElement* request, bool** response) {
  return serveSimple(soap, "isLoggedIn", [&](ServiceContext& context) {
    bool live = request != nullptr && context.repository().isLoggedIn(request->username);
    *response = newBool(soap, live);
    // With HTTP Basic credentials of that user (or of the administrator) the
    // reply also tells when the session was last used (SessionTimes.h).
    if (live && soap->userid != nullptr && soap->passwd != nullptr) {
      if (std::optional<SessionUse> use = context.repository().sessionUse(request->username, soap->userid, soap->passwd))
        soap->http_extra_header = soap_strdup(soap, (std::string(talixdb::kSessionTimesHeader) + ": " +
                                                     talixdb::formatSessionTimes(use->lastUsed, use->expires))
                                                        .c_str());
    }
  });
}

int __ns1__logout(struct soap* soap, int, bool** response) {
  return serveSimple(soap, "logout", [&](ServiceContext& context) {
    context.repository().logout(context.caller);
    *response = newBool(soap, true);
  });
}

int __ns1__getSessionId(struct soap* soap, std::string, std::string** response) {
  return serveSimple(soap, "getSessionId", [&](ServiceContext& context) {
    *response = newText(soap, context.repository().sessionId(context.caller));
  });
}

int __ns1__authenticate(struct soap* soap, std::string sessionId, std::string** response) {
  return serveSimple(soap, "authenticate", [&](ServiceContext& context) {
    *response = newText(soap, context.repository().authenticate(sessionId));
  });
}

int __ns1__invalidate(struct soap* soap, std::string sessionId, bool** response) {
  return serveSimple(soap, "invalidate", [&](ServiceContext& context) {
    *response = newBool(soap, context.repository().invalidate(context.caller, sessionId));
  });
}

}  // namespace talixdb_wire
