#include "handle/SideState.h"

#include <map>
#include <mutex>

#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

std::mutex g_mutex;
// Nodes of a map keep their address while others come and go.
std::map<const CVLTDatabase*, HandleSideState> g_states;

}  // namespace

HandleSideState& sideStateOf(const CVLTDatabase* handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_states[handle];
}

void forgetSideState(const CVLTDatabase* handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_states.erase(handle);
}

int CVLTDatabase::setTransferProgress(ITransferProgress* progress) try {
  sideStateOf(this).progress = progress;
  if (m_pRepository != nullptr) m_pRepository->setTransferProgress(progress);
  return 0;
} catch (...) { return 0; }

const char* CVLTDatabase::getLastErrorText() try {
  return sideStateOf(this).lastError.c_str();
} catch (...) {
  static const char kNoMemory[] = "out of memory";
  return kNoMemory;
}

const char* CVLTDatabase::getLoginUser() try {
  if (!m_bIsLoggedIn) return "";
  return sideStateOf(this).loginUser.c_str();
} catch (...) { return ""; }

}  // namespace VLT_121
