// Operators of the moderation page: names and password hashes in a file
// (one "name:hash" line each; the hash is yescrypt from libcrypt, salted
// and slow), and the sessions of those who logged in, each with its own
// token that every state-changing form must carry.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// A salted yescrypt hash of password; empty when libcrypt fails.
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& password, const std::string& hash);

// Sets (or replaces) the password of name in the file, written whole under
// a temporary name and readable by its owner only. False with a reason.
bool StorePassword(const std::string& file, const std::string& name, const std::string& password,
                   std::string* error);

// Hex text of bytes random bytes from the kernel.
std::string RandomToken(std::size_t bytes = 32);

// Compares without stopping at the first difference.
bool SameSecret(const std::string& a, const std::string& b);

struct Session {
  std::string user;
  std::string csrf;
  std::chrono::steady_clock::time_point expires;
};

// Failed logins slow further ones down, per address and per name: after
// FreeFailures failures in a row, a login from that address or for that
// name is refused without looking at the password until a wait has passed
// that doubles with each further failure (at most MaxWait). A right
// password clears both records. Records of addresses and names that have
// not failed for a day are forgotten.
class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int FreeFailures = 3;
  static constexpr std::chrono::seconds MaxWait{600};

  // Seconds until address may try name again; 0 when it may try now.
  int64_t WaitSeconds(const std::string& address, const std::string& name, Clock::time_point now);
  void Failed(const std::string& address, const std::string& name, Clock::time_point now);
  void Succeeded(const std::string& address, const std::string& name);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point next_try;
  };
  void Count(std::map<std::string, Record>* records, const std::string& key, Clock::time_point now);

  std::mutex mutex_;
  std::map<std::string, Record> addresses_;
  std::map<std::string, Record> names_;
};

class Operators {
 public:
  explicit Operators(std::string password_file) : file_(std::move(password_file)) {}

  // Reads the file; false with a reason when it cannot be read or holds no
  // operator.
  bool Load(std::string* error);

  // A new session for name when the password is right (empty otherwise).
  std::string LogIn(const std::string& name, const std::string& password);
  // The session of a cookie value; false when unknown or expired.
  bool Find(const std::string& id, Session* session);
  void LogOut(const std::string& id);

 private:
  std::string file_;
  std::mutex mutex_;
  std::map<std::string, std::string> hashes_;
  std::map<std::string, Session> sessions_;
};
