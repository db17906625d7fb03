#include "client/RuntimeCheck.h"

#include <dlfcn.h>

#include "stdsoap2.h"

namespace talixdb {

namespace {

// The executable or shared library whose definition of the function the
// process uses, or null.
const Dl_info* providerOf(const void* function, Dl_info& info) {
  if (function == nullptr || dladdr(function, &info) == 0 || info.dli_fbase == nullptr) return nullptr;
  return &info;
}

std::string check() {
  using DomCall = int (*)(struct soap*, const char*, const char*, const soap_dom_element&, soap_dom_element&);
  // Only the C++ variant with OpenSSL has all three: the context maker (every
  // variant), the TLS client set-up (the variants with OpenSSL) and a C++
  // overload of the DOM call (the C++ variants). One object provides all
  // three, or the functions the library calls come from another variant.
  Dl_info context{}, tls{}, dom{};
  const Dl_info* maker = providerOf(reinterpret_cast<const void*>(&soap_versioning(soap_new)), context);
  const Dl_info* secure = providerOf(reinterpret_cast<const void*>(&soap_ssl_client_context), tls);
  const Dl_info* cxx = providerOf(reinterpret_cast<const void*>(static_cast<DomCall>(&soap_dom_call)), dom);
  if (maker != nullptr && secure != nullptr && cxx != nullptr && maker->dli_fbase == secure->dli_fbase &&
      maker->dli_fbase == cxx->dli_fbase)
    return std::string();
  const char* used = maker != nullptr && maker->dli_fname != nullptr ? maker->dli_fname : "unknown";
  return std::string("the gSOAP runtime of this process (") + used +
         ") is not the variant the library needs, libgsoapssl++; a host with gSOAP code of its own links "
         "that variant with its flags (pkg-config gsoapssl++)";
}

}  // namespace

const std::string& runtimeMismatch() {
  static const std::string problem = check();
  return problem;
}

}  // namespace talixdb
