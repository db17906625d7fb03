// The session operations; none of them needs a session to be called.
#include <cctype>
#include <sstream>

#include "base/ClientText.h"
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"
#include "SessionTimes.h"

using namespace talixdb::server;

namespace {

// Runs `check` of `user`'s password through the context's throttle: refused
// at once while the user or the address must wait, and a wrong password
// (a Refusal from `check`) counted, its delay logged.
template <class Check>
auto throttled(ServiceContext& context, const std::string& user, Check check) -> decltype(check());

// A login whose locale (a language tag, "en-x-view") carries the private-use
// subtag "view" asks for a reading session; other servers read such a tag as
// its language alone. Subtags compare without regard to case.
SessionKind requestedKind(const std::string& locale) {
  std::istringstream tags(locale);
  bool privateUse = false;
  for (std::string tag; std::getline(tags, tag, '-');) {
    for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (privateUse && tag == "view") return SessionKind::Reading;
    privateUse = privateUse || tag == "x";
  }
  return SessionKind::Full;
}

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
    const SessionKind kind = requestedKind(request->locale);
    auto login = [&] { return context.repository().login(context.caller, request->username, request->password, kind); };
    context.newSession = context.probe ? login() : throttled(context, request->username, login);
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
    // The password is checked as a login's is, so that this is no way
    // around the throttle; a refusal only leaves the times out.
    if (live && soap->userid != nullptr && soap->passwd != nullptr) {
      try {
        std::optional<SessionUse> use = throttled(context, soap->userid, [&] {
          return context.repository().sessionUse(request->username, soap->userid, soap->passwd);
        });
        if (use)
          soap->http_extra_header = soap_strdup(soap, (std::string(talixdb::kSessionTimesHeader) + ": " +
                                                       talixdb::formatSessionTimes(use->lastUsed, use->expires))
                                                          .c_str());
      } catch (const Refusal&) {
      }
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

namespace {

template <class Check>
auto throttled(ServiceContext& context, const std::string& user, Check check) -> decltype(check()) {
  LoginThrottle* throttle = context.loginThrottle();
  if (throttle == nullptr) return check();
  if (std::int64_t seconds = throttle->wait(user, context.client)) {
    context.refusalLevel = LogLevel::Info;  // the failures that began the delay were warnings
    metrics().loginDelays.add();
    throw Refusal("too many failed logins for " + echo(user) + ": try again in " + std::to_string(seconds) + " s");
  }
  try {
    auto result = check();
    throttle->succeeded(user, context.client);
    return result;
  } catch (const Refusal&) {
    ThrottleDelay delay = throttle->failed(user, context.client);
    const std::string count = "login delay: " + std::to_string(delay.failures) + " failed logins in a row ";
    const std::string wait = std::to_string(delay.seconds) + " s";
    if (delay.seconds > 0 && delay.byAddress)
      logLine(LogLevel::Warning, count + "from " + context.client + ", the last for '" + echo(user) +
                                     "': its next try waits " + wait);
    else if (delay.seconds > 0)
      logLine(LogLevel::Warning, count + "for '" + echo(user) + "', the last from " + context.client +
                                     ": a next try from an address it did not log in from lately waits " + wait);
    throw;
  }
}

}  // namespace
