// What a handle keeps beside its fixed members: hosts are built against the
// layout of CVLTDatabase, so state added since lives here, found by the
// handle's address, from the first use to the handle's destruction.
#pragma once

#include <string>

#include "talixdbapi/TransferProgress.h"

namespace VLT_121 {

class CVLTDatabase;

struct HandleSideState {
  // The receiver of transfer progress (setTransferProgress), or null.
  ITransferProgress* progress = nullptr;
  // Why the last failure happened (getLastErrorText). The handle's proxy
  // writes into it, so its address stays fixed while the handle lives.
  std::string lastError;
  // The account of the login in force (getLoginUser).
  std::string loginUser;
};

// The state of `handle`, made on first use. Only the handle's own thread
// touches what it holds.
HandleSideState& sideStateOf(const CVLTDatabase* handle);
// Drops the state of `handle`; called when the handle goes.
void forgetSideState(const CVLTDatabase* handle);

}  // namespace VLT_121
