#include "server/address_limits.h"

namespace {

void DropOlderThanAnHour(std::deque<AddressLimits::Clock::time_point>* times,
                         AddressLimits::Clock::time_point now) {
  while (!times->empty() && now - times->front() >= std::chrono::hours(1)) {
    times->pop_front();
  }
}

} // namespace

void AddressLimits::Forget(const std::string& address, PerAddress& entry) {
  // Addresses seen once must not pile up in memory.
  if (entry.open == 0 && entry.donations.empty()) {
    by_address_.erase(address);
  }
}

bool AddressLimits::Enter(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  PerAddress& entry = by_address_[address];
  if (entry.open >= max_at_once_) {
    return false;
  }
  entry.open++;
  return true;
}

void AddressLimits::Leave(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = by_address_.find(address);
  if (it == by_address_.end()) {
    return;
  }
  it->second.open--;
  DropOlderThanAnHour(&it->second.donations, Clock::now());
  Forget(address, it->second);
}

bool AddressLimits::AllowDonation(const std::string& address, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  PerAddress& entry = by_address_[address];
  DropOlderThanAnHour(&entry.donations, now);
  if (static_cast<int>(entry.donations.size()) >= donations_per_hour_) {
    Forget(address, entry);
    return false;
  }
  entry.donations.push_back(now);
  return true;
}
