#include "http/TransferPlaces.h"

#include <algorithm>

namespace talixdb::server {

namespace {

int held(const std::map<std::string, int>& counts, const std::string& key) {
  auto found = counts.find(key);
  return found != counts.end() ? found->second : 0;
}

// Lowers a count and forgets it at zero, so that the maps hold only holders.
void release(std::map<std::string, int>& counts, const std::string& key) {
  auto found = counts.find(key);
  if (found != counts.end() && --found->second <= 0) counts.erase(found);
}

}  // namespace

int TransferPlaces::perUser(int total) { return std::max(1, (total + 1) / 2); }

int TransferPlaces::perAddress(int total) { return std::max(1, (3 * total + 3) / 4); }

std::string TransferPlaces::take(int total, const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_taken >= total)
    return "the server is busy: " + std::to_string(total) + " transfers are in progress; try again later";
  const int userCap = perUser(total);
  if (held(m_byUser, user) >= userCap)
    return "the server is busy: " + std::to_string(userCap) +
           " transfers of this user are in progress, the most one user may have; try again later";
  const int addressCap = perAddress(total);
  if (held(m_byAddress, address) >= addressCap)
    return "the server is busy: " + std::to_string(addressCap) +
           " transfers from this address are in progress, the most one address may have; try again later";
  ++m_taken;
  ++m_byUser[user];
  ++m_byAddress[address];
  return std::string();
}

void TransferPlaces::giveBack(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  --m_taken;
  release(m_byUser, user);
  release(m_byAddress, address);
}

int TransferPlaces::taken() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_taken;
}

}  // namespace talixdb::server
