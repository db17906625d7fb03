// The receiver of transfer progress attached to each handle. The handle's
// members are fixed (hosts are built against its layout), so the receiver is
// kept beside it, by the handle's address, from setTransferProgress to the
// handle's destruction; the repository client of an open handle holds a copy.
#include "handle/TransferProgress.h"

#include <map>
#include <mutex>

#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

std::mutex g_mutex;
std::map<const CVLTDatabase*, ITransferProgress*> g_receivers;

}  // namespace

ITransferProgress* transferProgressOf(const CVLTDatabase* handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto found = g_receivers.find(handle);
  return found != g_receivers.end() ? found->second : nullptr;
}

void forgetTransferProgress(const CVLTDatabase* handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_receivers.erase(handle);
}

int CVLTDatabase::setTransferProgress(ITransferProgress* progress) try {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (progress != nullptr)
      g_receivers[this] = progress;
    else
      g_receivers.erase(this);
  }
  if (m_pRepository != nullptr) m_pRepository->setTransferProgress(progress);
  return 0;
} catch (...) { return 0; }

}  // namespace VLT_121
