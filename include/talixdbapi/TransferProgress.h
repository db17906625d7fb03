// Progress and cancel of file transfers, for hosts that show a progress bar
// or let their user stop a long upload or download. Attach one to a handle
// with CVLTDatabase::setTransferProgress.
#pragma once

namespace VLT_121 {

class ITransferProgress {
 public:
  // Called on the thread of the handle's operation while the contents of a
  // file move, for every upload and download the handle makes (reports,
  // grids, modes, solver and instance files, backups and restores): `done`
  // of `expected` bytes have moved. For each file the calls start with done = 0, `done`
  // never decreases, and the last call of a transfer that completes has
  // done == expected; in between there is a call at least every MiB.
  // `expected` is the file's size (for a download, as the server announced it).
  //
  // Return true to go on, false to stop: the transfer is cancelled and the
  // operation fails as it does for a failed transfer (its usual result code),
  // leaving no partial file on the host's disk and no partial file on the
  // server. An operation that moves several files stops at the cancelled
  // one; the files it moved before stay.
  //
  // Must not throw (an exception counts as false) and must not call the
  // handle it is attached to.
  virtual bool onTransfer(long long done, long long expected) = 0;

 protected:
  ~ITransferProgress() = default;
};

}  // namespace VLT_121
