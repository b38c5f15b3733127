// Per-address limits for a public server: how many exchanges one address
// may have open at once, and how many donations it may begin in an hour.
// Beyond either, the server answers busy.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

class AddressLimits {
 public:
  using Clock = std::chrono::steady_clock;

  AddressLimits(int max_at_once, int donations_per_hour)
      : max_at_once_(max_at_once), donations_per_hour_(donations_per_hour) {}

  // An exchange from address begins; false (and nothing counted) when the
  // address has max_at_once exchanges open already.
  bool Enter(const std::string& address);
  void Leave(const std::string& address);

  // A donation from address begins at now; false (and nothing counted)
  // when the address began donations_per_hour in the hour before.
  bool AllowDonation(const std::string& address, Clock::time_point now = Clock::now());

 private:
  struct PerAddress {
    int open = 0;
    std::deque<Clock::time_point> donations;
  };
  void Forget(const std::string& address, PerAddress& entry);

  int max_at_once_;
  int donations_per_hour_;
  std::mutex mutex_;
  std::unordered_map<std::string, PerAddress> by_address_;
};
