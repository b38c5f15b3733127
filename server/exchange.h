// One exchange of the Velmor protocol, without any socket: the transport
// hands in the request record and, for donations and comments, the client's
// block header and data; the exchange answers with what to send.
//
// Keeping the protocol apart from the event loop lets the same code run
// under the server's Asio transport, the in-memory driver of the tests and
// the fuzzer.
#pragma once
#include "server/address_limits.h"
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/fault_plan.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The server's own names: the client's transport has a BlockPlan of its own,
// and a program may link both.
namespace velmor_server {

constexpr int DefaultChunkSize = 4096;
// A comment is at most 5,000 characters behind a short heading.
constexpr int64_t MaxCommentBytes = 64 * 1024;

struct ServerContext {
  ContentStore* content = nullptr;
  DonationStore* donations = nullptr;
  FaultSource* faults = nullptr; // null or disabled: no fault injection
  AddressLimits* limits = nullptr; // null: no per-address donation limit
  int32_t chunk_size = DefaultChunkSize;
  int64_t max_donation_bytes = 64 * 1024 * 1024;
  // Set while a stopping instance waits for its proxy to take it out of
  // rotation: the proxy's own pings (its health checks) are answered 4.
  const std::atomic<bool>* leaving = nullptr;
};

// A piece of the reply: bytes in memory, or a range of an open file.
struct Segment {
  std::shared_ptr<const std::string> bytes;
  std::shared_ptr<OpenFile> file;
  int64_t offset = 0;
  int64_t length = 0;
};

struct Reply {
  std::vector<Segment> segments;
  // Pacing: when drip_bytes > 0, send that many bytes at a time with
  // drip_interval_ms between the pieces.
  int64_t drip_bytes = 0;
  int64_t drip_interval_ms = 0;
  // When >= 0, stop sending after that many bytes and hold the connection.
  int64_t stall_after = -1;
  // After the segments, send nothing more and keep the connection open
  // until the client leaves or the idle time-out.
  bool hold_open = false;
  // Close at once without sending anything.
  bool hang_up = false;
  // After the segments, receive a block (header and data) from the client.
  bool expect_block = false;

  int64_t Size() const;
  void AddBytes(std::string bytes);
  void AddShared(std::shared_ptr<const std::string> bytes, int64_t offset, int64_t length);
  void AddFile(std::shared_ptr<OpenFile> file, int64_t offset, int64_t length);
};

// What to do with a client's block, decided from its header.
struct BlockPlan {
  bool receive = false;   // read `bytes` bytes of data next
  int64_t bytes = 0;
  bool close = false;     // refuse: close the connection at once
};

class Exchange {
 public:
  explicit Exchange(const ServerContext& context);
  ~Exchange();
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  // The first record of the connection. size may be below 90 only for a
  // record cut short, which gets no answer.
  Reply OnRequest(const unsigned char* record, std::size_t size);
  // The answer for a connection over the server's capacity: code 3.
  Reply BusyReply(const unsigned char* record, std::size_t size);

  // The client's block header (or status record) after a response code 0.
  BlockPlan OnBlockHeader(const unsigned char* record, std::size_t size);
  // Data of the block; false when it cannot be stored (close the
  // connection).
  bool OnBlockData(const unsigned char* data, std::size_t size);
  // The whole block has arrived: the donation or comment becomes visible.
  void OnBlockComplete();
  // The connection ended before the exchange did: nothing stays stored
  // (the outcome says so).
  void Abort(const std::string& why);

  // The client's address, given by the transport before the request.
  void SetPeerAddress(std::string address) { peer_address_ = std::move(address); }
  // The connection is a listed proxy's own (a PROXY header naming no
  // client, or none at all): its pings are health checks.
  void SetProxyItself() { proxy_itself_ = true; }

  // For the exchange's log line.
  const std::string& ClientId() const { return client_id_; }
  int32_t RequestType() const { return type_; }
  bool Responded() const { return responded_; }
  int32_t ResponseCode() const { return response_code_; }
  const std::string& Outcome() const { return outcome_; }
  bool Finished() const { return finished_; }

 private:
  Reply RefuseProxyHeader();
  // Ends the upload with why, which says already that nothing was stored.
  void Refuse(const std::string& why);
  void Drop();
  Reply Answer(int32_t code, int32_t num1 = 0, int32_t num2 = 0, const std::string& text = std::string());
  Reply Quote(int32_t number, const Fault& fault);
  Reply FileItem(int32_t type, int32_t number, const Fault& fault);
  Reply TextFile(std::shared_ptr<const std::string> text, const char* what, const Fault& fault);
  Reply CategoryList(int32_t type, const Fault& fault);
  Reply StatusLine(const Fault& fault);
  Reply AddCategory(int32_t type, const char* name, std::size_t length);
  Reply Donate(int32_t position, int32_t type, const char* name, std::size_t length);
  Reply Comment();
  // Appends the block header and data for a block from the server, shaped
  // by a block fault.
  void AddBlock(Reply* reply, const Segment& data, const Fault& fault);

  const ServerContext& context_;
  std::string client_id_ = "unknown";
  std::string peer_address_ = "unknown";
  int32_t type_ = 0;
  bool responded_ = false;
  int32_t response_code_ = 0;
  std::string outcome_;
  std::unique_ptr<Upload> upload_;
  int64_t block_remaining_ = 0;
  int64_t upload_limit_ = 0;
  bool finished_ = false;
  bool proxy_itself_ = false;
};

// Encodes a record the server sends. It carries the client's magic numbers
// too, which the client ignores.
std::string ServerRecord(int32_t code, int32_t num1, int32_t num2, const char* text, std::size_t text_length);

// Runs a whole exchange over bytes in memory: the input is what the client
// sends, the output what the server answers (files read in full, pacing
// ignored). Used by the tests and the fuzzer.
std::string RunExchangeInMemory(const ServerContext& context, const unsigned char* input, std::size_t size,
                                std::string* outcome = nullptr);

}  // namespace velmor_server
