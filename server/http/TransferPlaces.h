// The places for file transfers (uploadFiles and downloadFiles) served at
// once. A request takes one after its session was checked and gives it back
// after its reply. Of `total` places, one user may hold half and one client
// address three quarters (rounded up), so that neither a user with many slow
// transfers nor one host with several logins takes them all.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace talixdb::server {

class TransferPlaces {
 public:
  // Places one user, and one address, may hold of `total`.
  static int perUser(int total);
  static int perAddress(int total);

  // Takes a place for `user` at `address`: "" when taken, else why not (a
  // text for the client).
  std::string take(int total, const std::string& user, const std::string& address);
  // Gives back a place take() gave.
  void giveBack(const std::string& user, const std::string& address);
  // Places held now.
  int taken() const;

 private:
  mutable std::mutex m_mutex;
  int m_taken = 0;
  std::map<std::string, int> m_byUser;
  std::map<std::string, int> m_byAddress;
};

}  // namespace talixdb::server
