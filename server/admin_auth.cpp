#include "server/admin_auth.h"

#include "server/atomic_file.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

constexpr auto SessionLife = std::chrono::hours(12);
constexpr auto ForgetFailuresAfter = std::chrono::hours(24);
// Bounds the records an attacker trying many names or addresses can make.
constexpr std::size_t MaxThrottleRecords = 100000;

} // namespace

std::string HashPassword(const std::string& password) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  // A null random source makes libcrypt take its salt from the kernel.
  if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting)) {
    return std::string();
  }
  auto data = std::make_unique<crypt_data>();
  const char* hash = crypt_rn(password.c_str(), setting, data.get(), sizeof(crypt_data));
  if (!hash || hash[0] == '*') {
    return std::string();
  }
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  if (hash.empty() || hash[0] != '$') {
    return false;
  }
  auto data = std::make_unique<crypt_data>();
  const char* again = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
  return again && again[0] != '*' && SameSecret(again, hash);
}

bool SameSecret(const std::string& a, const std::string& b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

std::string RandomToken(std::size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  std::size_t got = 0;
  while (got < bytes) {
    ssize_t n = ::getrandom(raw.data() + got, bytes - got, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      std::abort(); // no randomness: no safe session is possible
    }
    got += static_cast<std::size_t>(n);
  }
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : raw) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

bool StorePassword(const std::string& file, const std::string& name, const std::string& password,
                   std::string* error) {
  if (name.empty() || name.find_first_of(":\n\r") != std::string::npos) {
    *error = "an operator name must not be empty nor hold ':' or a line end";
    return false;
  }
  if (password.size() < 8) {
    *error = "the password must have at least 8 characters";
    return false;
  }
  std::string hash = HashPassword(password);
  if (hash.empty()) {
    *error = "libcrypt could not hash the password";
    return false;
  }
  std::string kept;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.compare(0, name.size() + 1, name + ":") != 0) {
      kept += line + "\n";
    }
  }
  kept += name + ":" + hash + "\n";
  if (!WriteFileAtomically(file, kept, error, 0600)) {
    return false;
  }
  return true;
}

bool Operators::Load(std::string* error) {
  std::ifstream in(file_);
  if (!in) {
    *error = "cannot read the password file " + file_ + " (velmor-admin --set-password FILE makes one)";
    return false;
  }
  std::map<std::string, std::string> hashes;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
      hashes[line.substr(0, colon)] = line.substr(colon + 1);
    }
  }
  if (hashes.empty()) {
    *error = "the password file " + file_ + " names no operator";
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  hashes_ = std::move(hashes);
  return true;
}

std::string Operators::LogIn(const std::string& name, const std::string& password) {
  std::string hash;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = hashes_.find(name);
    if (it != hashes_.end()) {
      hash = it->second;
    }
  }
  // An unknown name costs the same slow hash, so that it cannot be told
  // from a wrong password by the time taken.
  static const std::string decoy = HashPassword("not a password of anyone");
  bool right = VerifyPassword(password, hash.empty() ? decoy : hash) && !hash.empty();
  if (!right) {
    return std::string();
  }
  Session session;
  session.user = name;
  session.csrf = RandomToken();
  session.expires = std::chrono::steady_clock::now() + SessionLife;
  std::string id = RandomToken();
  std::lock_guard<std::mutex> lock(mutex_);
  auto now = std::chrono::steady_clock::now();
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    it = it->second.expires < now ? sessions_.erase(it) : std::next(it);
  }
  sessions_[id] = session;
  return id;
}

bool Operators::Find(const std::string& id, Session* session) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sessions_.find(id);
  if (id.empty() || it == sessions_.end() || it->second.expires < std::chrono::steady_clock::now()) {
    return false;
  }
  *session = it->second;
  return true;
}

void Operators::LogOut(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.erase(id);
}

int64_t LoginThrottle::WaitSeconds(const std::string& address, const std::string& name, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Clock::time_point until = now;
  auto hold = [&](const std::map<std::string, Record>& records, const std::string& key) {
    auto it = records.find(key);
    if (it != records.end() && it->second.next_try > until) {
      until = it->second.next_try;
    }
  };
  hold(addresses_, address);
  hold(names_, name);
  return std::chrono::duration_cast<std::chrono::seconds>(until - now + std::chrono::milliseconds(999)).count();
}

void LoginThrottle::Count(std::map<std::string, Record>* records, const std::string& key, Clock::time_point now) {
  if (records->size() >= MaxThrottleRecords) {
    for (auto it = records->begin(); it != records->end();) {
      it = now - it->second.next_try > ForgetFailuresAfter ? records->erase(it) : std::next(it);
    }
    if (records->size() >= MaxThrottleRecords) {
      records->erase(records->begin());
    }
  }
  Record& record = (*records)[key];
  if (record.failures > 0 && now - record.next_try > ForgetFailuresAfter) {
    record.failures = 0;
  }
  ++record.failures;
  int over = record.failures - FreeFailures;
  if (over > 0) {
    std::chrono::seconds wait = over >= 10 ? MaxWait : std::min(MaxWait, std::chrono::seconds(int64_t(1) << (over - 1)));
    record.next_try = now + wait;
  } else {
    record.next_try = now;
  }
}

void LoginThrottle::Failed(const std::string& address, const std::string& name, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Count(&addresses_, address, now);
  Count(&names_, name, now);
}

void LoginThrottle::Succeeded(const std::string& address, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  addresses_.erase(address);
  names_.erase(name);
}
