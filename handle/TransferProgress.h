// The progress receiver attached to a handle (CVLTDatabase::setTransferProgress).
#pragma once

#include "talixdbapi/TransferProgress.h"

namespace VLT_121 {

class CVLTDatabase;

// The receiver attached to `handle`, or null.
ITransferProgress* transferProgressOf(const CVLTDatabase* handle);
// Drops the handle's receiver; called when the handle goes.
void forgetTransferProgress(const CVLTDatabase* handle);

}  // namespace VLT_121
