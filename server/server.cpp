#include "server/server.h"

#include "net/request_record.h"
#include "server/address_limits.h"
#include "server/atomic_file.h"
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/exchange.h"
#include "server/fault_plan.h"
#include "server/proxy_header.h"
#include "server/server_log.h"

#include <asio.hpp>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace velmor_server;

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t IoBufferSize = 256 * 1024;
constexpr std::size_t MaxGather = 16;
// A connection over capacity gets this long to send its request before it
// is told busy regardless.
constexpr auto BusyGrace = std::chrono::seconds(2);
// Request codes counted one by one in the counters file.
constexpr int CountedCodes = 64;
// At most this much of a file is sent in one go before other connections
// on the thread get their turn.
constexpr int64_t SendFileSlice = 4 * 1024 * 1024;
constexpr int SendFileBuffer = 2 * 1024 * 1024;

// How a connection ended, for its log line and the counters.
enum class Ending {
  Done,              // the exchange ran its course
  ClientLeft,        // the client closed a connection held open
  NoRequest,         // closed (or failed) before a whole request
  ProxyHeaderBad,    // a listed proxy sent a bad header
  IdleTimeout,
  Stopping,          // the server stopped (or its drain time ran out)
  ContentUnreadable, // a content file ended early
  SendFailed,
  BlockHeaderMissing,
  BlockCut,
};

// The text the log line adds for an ending ("" adds nothing).
std::string EndingText(Ending ending, const std::string& detail) {
  switch (ending) {
    case Ending::Done: return "";
    case Ending::ClientLeft: return "; client left";
    case Ending::NoRequest: return detail.empty() ? "closed without a request" : "no request: " + detail;
    case Ending::ProxyHeaderBad: return detail;
    case Ending::IdleTimeout: return "; idle time-out";
    case Ending::Stopping: return "; server stopping";
    case Ending::ContentUnreadable: return "; content file could not be read to its end";
    case Ending::SendFailed: return "; send failed: " + detail;
    case Ending::BlockHeaderMissing: return "; connection ended before the block header";
    case Ending::BlockCut: return "; connection ended during the block";
  }
  return "";
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) {
    return "localhost";
  }
  return name;
}

} // namespace

class Connection;

struct VelmorServer::Impl : std::enable_shared_from_this<VelmorServer::Impl> {
  explicit Impl(const ServerOptions& o)
      : options(o),
        content(o.content_dir),
        donations(o.content_dir),
        faults(o.fault_file),
        limits(o.max_per_address, o.donations_per_hour) {
    context.content = &content;
    context.donations = &donations;
    context.faults = &faults;
    context.limits = &limits;
    donations.SetQuotas(Quota{o.donation_quota_bytes, o.donation_quota_files},
                        Quota{o.comment_quota_bytes, o.comment_quota_files});
    context.chunk_size = o.chunk_size;
    context.max_donation_bytes = o.max_donation_bytes;
    context.leaving = &leaving;
    idle = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.idle_timeout_seconds));
  }

  void Accept();
  // Serves one accepted connection (or tells it busy, or closes it when
  // far over capacity).
  void Take(tcp::socket socket);
  // Stops accepting; with drain, lets open connections finish for up to
  // the drain time before ending them. A drain with a lame-duck time
  // first waits that long, still accepting, with `leaving` set; a second
  // stop cuts the wait short.
  static void Stop(const std::shared_ptr<Impl>& impl, bool drain);
  // Stop's work, on the control strand; true when it began a lame-duck
  // wait rather than stopping to accept.
  static bool StopOnControl(const std::shared_ptr<Impl>& impl, bool drain);
  static void StopAccepting(const std::shared_ptr<Impl>& impl, bool drain);
  static void WaitForSignal(const std::shared_ptr<Impl>& impl);
  void EndConnections();
  // Ends the drain, the timers and every connection.
  void EndNow();
  // Whether the periodic timers go on: not once stopped, unless a drain
  // still waits for connections.
  bool KeepTimers();
  void Register(uint64_t id, const std::shared_ptr<Connection>& c);
  void Unregister(uint64_t id);
  bool FromProxy(const std::string& address) const;
  // Counts one finished exchange.
  void Count(bool request_read, int32_t code, bool failed);
  // Writes the counters file when something changed (or always with
  // force); then every second.
  bool WriteCounters(bool force);
  void ScheduleCounters();
  void ScheduleSweep();

  ServerOptions options;
  ContentStore content;
  DonationStore donations;
  FaultSource faults;
  AddressLimits limits;
  ServerLog log;
  ServerContext context;
  Clock::duration idle;

  asio::io_context io;
  // Signals, stops and the lame-duck timer, one at a time whatever thread
  // runs them: a wait for a second signal and the cancel that ends it may
  // not cross.
  asio::strand<asio::io_context::executor_type> control = asio::make_strand(io);
  tcp::acceptor acceptor{io};
  asio::steady_timer accept_retry{io};
  std::optional<asio::signal_set> signals;
  std::atomic<bool> stopping{false};
  std::atomic<bool> draining{false}; // stopping, but letting exchanges finish
  std::atomic<bool> drain_asked{false}; // a stop that serves what was accepted
  std::atomic<bool> leaving{false}; // lame duck: failing the proxy's health checks
  std::atomic<bool> running{false};

  std::atomic<int> active{0}; // exchanges within capacity
  std::atomic<int> busy{0};   // connections being told busy
  std::atomic<int64_t> accepted{0};
  std::atomic<int64_t> answered_busy{0};
  std::atomic<int64_t> refused{0};

  // For CONTENT/.stats/NAME.counters, read by the moderation page.
  std::string counters_path;
  int64_t started = 0;
  std::atomic<int64_t> exchanges{0};
  std::atomic<int64_t> failed{0};
  std::array<std::atomic<int64_t>, CountedCodes> by_code{};
  int64_t written_exchanges = -1;
  asio::steady_timer counters_timer{io};
  asio::steady_timer sweep_timer{io};
  asio::steady_timer drain_timer{io};
  asio::steady_timer lame_duck_timer{control};

  std::mutex connections_mutex;
  std::unordered_map<uint64_t, std::weak_ptr<Connection>> connections;
  uint64_t next_id = 0;
};

// One client connection: reads the request, sends the reply (paced when a
// fault says so), receives the client's block where the exchange expects
// one, and closes. All of its handlers run on its own strand.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(std::shared_ptr<VelmorServer::Impl> server, tcp::socket socket, bool busy, uint64_t id,
             std::string address)
      : server_(std::move(server)),
        socket_(std::move(socket)),
        idle_timer_(socket_.get_executor()),
        pace_timer_(socket_.get_executor()),
        exchange_(server_->context),
        busy_(busy),
        id_(id),
        address_(std::move(address)),
        start_(Clock::now()),
        last_progress_(start_) {}

  // Starts the connection on its own strand.
  void Begin() {
    auto self = shared_from_this();
    asio::post(socket_.get_executor(), [self]() { self->Start(); });
  }

  // Ends the connection from outside (server stopping).
  void Shutdown() {
    auto self = shared_from_this();
    asio::post(socket_.get_executor(), [self]() { self->Close(Ending::Stopping); });
  }

 private:
  void Start() {
    // A draining stop (asked before stopping is set) starts what was
    // accepted; a plain stop closes it.
    if (server_->stopping && !server_->draining && !server_->drain_asked) {
      Close(Ending::Stopping);
      return;
    }
    asio::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
    ArmIdleTimer();
    auto self = shared_from_this();
    if (server_->FromProxy(address_)) {
      // A listed proxy: its header, if any, comes whole in the first read.
      head_.resize(MaxProxyHeader + RequestRecordSize);
      socket_.async_read_some(asio::buffer(head_),
                              [self](const asio::error_code& ec, std::size_t n) { self->OnProxyBytes(ec, n); });
      return;
    }
    Admit();
    ReadRequest(0);
  }

  void OnProxyBytes(const asio::error_code& ec, std::size_t n) {
    if (closed_) {
      return;
    }
    bytes_in_ += static_cast<int64_t>(n);
    if (ec && n == 0) {
      Close(Ending::NoRequest, ec == asio::error::eof ? "" : ec.message());
      return;
    }
    ProxyHeader header = ParseProxyHeader(head_.data(), n);
    if (header.kind == ProxyHeaderKind::Bad) {
      Close(Ending::ProxyHeaderBad, header.why + " from " + address_);
      return;
    }
    if (!header.address.empty()) {
      address_ = header.address;
    } else {
      exchange_.SetProxyItself();
    }
    std::size_t rest = n - header.length;
    if (rest > RequestRecordSize) {
      // Nothing follows a request until it is answered.
      Close(Ending::ProxyHeaderBad, "more than a request after the PROXY header from " + address_);
      return;
    }
    std::memcpy(record_.data(), head_.data() + header.length, rest);
    head_.clear();
    head_.shrink_to_fit();
    Progress();
    Admit();
    if (ec && rest < RequestRecordSize) {
      OnRequest(ec, rest);
      return;
    }
    ReadRequest(rest);
  }

  // The client's address is known: one address may not take the whole
  // server.
  void Admit() {
    exchange_.SetPeerAddress(address_);
    if (busy_) {
      return;
    }
    counted_address_ = server_->limits.Enter(address_);
    if (!counted_address_) {
      busy_ = true;
      server_->active--;
      server_->busy++;
      ArmIdleTimer(); // the shorter grace of a busy connection
    }
  }

  void ReadRequest(std::size_t have) {
    if (have == RequestRecordSize) {
      OnRequest(asio::error_code(), have);
      return;
    }
    auto self = shared_from_this();
    asio::async_read(socket_, asio::buffer(record_.data() + have, record_.size() - have),
                     [self, have](const asio::error_code& ec, std::size_t n) {
                       self->bytes_in_ += static_cast<int64_t>(n);
                       self->OnRequest(ec, have + n);
                     });
  }

  Clock::duration IdleLimit() const {
    return busy_ ? std::min<Clock::duration>(server_->idle, BusyGrace) : server_->idle;
  }

  void ArmIdleTimer() {
    idle_timer_.expires_at(last_progress_ + IdleLimit());
    auto self = shared_from_this();
    idle_timer_.async_wait([self](const asio::error_code& ec) { self->OnIdleTimer(ec); });
  }

  void OnIdleTimer(const asio::error_code& ec) {
    if (ec || closed_) {
      return;
    }
    if (Clock::now() - last_progress_ >= IdleLimit()) {
      if (busy_ && !answered_) {
        // Over capacity and the request is slow to come: stop waiting for
        // it; OnRequest then tells the client we are busy all the same.
        asio::error_code ignored;
        socket_.cancel(ignored);
        Progress();
        ArmIdleTimer();
        return;
      }
      Close(Ending::IdleTimeout);
      return;
    }
    ArmIdleTimer();
  }

  void Progress() { last_progress_ = Clock::now(); }

  void OnRequest(const asio::error_code& ec, std::size_t n) {
    if (closed_) {
      return;
    }
    if (busy_) {
      answered_ = true;
      request_read_ = !ec;
      reply_ = exchange_.BusyReply(record_.data(), ec ? 0 : n);
      if (reply_.hang_up) {
        Close(Ending::Done);
        return;
      }
      server_->answered_busy++;
      SendNext();
      return;
    }
    if (ec) {
      if (n > 0) {
        exchange_.OnRequest(record_.data(), n);
        request_read_ = true;
        Close(Ending::Done);
      } else {
        Close(Ending::NoRequest, ec == asio::error::eof ? "" : ec.message());
      }
      return;
    }
    Progress();
    request_read_ = true;
    reply_ = exchange_.OnRequest(record_.data(), n);
    if (reply_.hang_up) {
      Close(Ending::Done);
      return;
    }
    SendNext();
  }

  // Sends the next piece of the reply: memory segments gathered into one
  // write, or a file straight from the page cache (sendfile). Paced
  // replies read the file through a buffer, a piece at a time.
  void SendNext() {
    if (closed_) {
      return;
    }
    int64_t limit = INT64_MAX;
    if (reply_.stall_after >= 0) {
      limit = reply_.stall_after - bytes_out_;
      if (limit <= 0) {
        Hold();
        return;
      }
    }
    if (reply_.drip_bytes > 0) {
      limit = std::min(limit, reply_.drip_bytes);
    }
    if (limit == INT64_MAX && segment_ < reply_.segments.size() && reply_.segments[segment_].file) {
      SendFile();
      return;
    }
    std::vector<asio::const_buffer> buffers;
    std::size_t index = segment_;
    int64_t offset = segment_offset_;
    int64_t gathered = 0;
    while (index < reply_.segments.size() && buffers.size() < MaxGather && gathered < limit) {
      const Segment& s = reply_.segments[index];
      int64_t take = std::min(s.length - offset, limit - gathered);
      if (s.bytes) {
        buffers.emplace_back(s.bytes->data() + s.offset + offset, static_cast<std::size_t>(take));
      } else if (limit == INT64_MAX) {
        break; // sent by SendFile once the bytes before it are out
      } else {
        if (buffer_.empty()) {
          buffer_.resize(IoBufferSize);
        }
        take = std::min<int64_t>(take, static_cast<int64_t>(buffer_.size()));
        ssize_t got = ::pread(s.file->fd, buffer_.data(), static_cast<std::size_t>(take), s.offset + offset);
        if (got <= 0) {
          if (buffers.empty()) {
            Close(Ending::ContentUnreadable);
            return;
          }
          break; // send what is gathered; the read is tried again next time
        }
        buffers.emplace_back(buffer_.data(), static_cast<std::size_t>(got));
        gathered += got;
        break; // the buffer holds one file chunk at a time
      }
      gathered += take;
      offset += take;
      if (offset == s.length) {
        ++index;
        offset = 0;
      }
    }
    if (buffers.empty()) {
      AfterReply();
      return;
    }
    auto self = shared_from_this();
    asio::async_write(socket_, buffers,
                      [self](const asio::error_code& ec, std::size_t n) { self->OnWritten(ec, n); });
  }

  // Sends the file segment at segment_ with sendfile, as far as the socket
  // takes it, then waits for room.
  void SendFile() {
    const std::size_t index = segment_;
    const Segment& s = reply_.segments[index];
    asio::error_code ec;
    if (!socket_.native_non_blocking()) {
      socket_.native_non_blocking(true, ec);
      // Room for more of the file per wake-up: fewer trips through the loop.
      asio::error_code ignored;
      socket_.set_option(asio::socket_base::send_buffer_size(SendFileBuffer), ignored);
    }
    int64_t sent = 0;
    while (!ec && sent < SendFileSlice && segment_ == index) {
      off_t at = static_cast<off_t>(s.offset + segment_offset_);
      std::size_t want = static_cast<std::size_t>(std::min<int64_t>(s.length - segment_offset_, SendFileSlice));
      ssize_t n = ::sendfile(socket_.native_handle(), s.file->fd, &at, want);
      if (n > 0) {
        sent += n;
        Advance(n);
        continue;
      }
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        break;
      }
      if (n == 0) {
        Close(Ending::ContentUnreadable);
        return;
      }
      ec = asio::error_code(errno, asio::system_category());
    }
    if (ec) {
      Close(Ending::SendFailed, ec.message());
      return;
    }
    if (sent > 0) {
      Progress();
    }
    auto self = shared_from_this();
    if (segment_ < reply_.segments.size() && reply_.segments[segment_].file && sent < SendFileSlice) {
      // The socket is full: wait for room.
      socket_.async_wait(tcp::socket::wait_write, [self](const asio::error_code& e) {
        if (self->closed_) {
          return;
        }
        if (e) {
          self->Close(Ending::SendFailed, e.message());
          return;
        }
        self->SendNext();
      });
      return;
    }
    asio::post(socket_.get_executor(), [self]() { self->SendNext(); });
  }

  // Moves past n bytes of the reply.
  void Advance(int64_t n) {
    bytes_out_ += n;
    int64_t left = n;
    while (left > 0 && segment_ < reply_.segments.size()) {
      int64_t room = reply_.segments[segment_].length - segment_offset_;
      int64_t take = std::min(room, left);
      segment_offset_ += take;
      left -= take;
      if (segment_offset_ == reply_.segments[segment_].length) {
        ++segment_;
        segment_offset_ = 0;
      }
    }
  }

  void OnWritten(const asio::error_code& ec, std::size_t n) {
    if (closed_) {
      return;
    }
    Advance(static_cast<int64_t>(n));
    if (ec) {
      Close(Ending::SendFailed, ec.message());
      return;
    }
    Progress();
    if (reply_.drip_bytes > 0 && segment_ < reply_.segments.size()) {
      pace_timer_.expires_after(std::chrono::milliseconds(reply_.drip_interval_ms));
      auto self = shared_from_this();
      pace_timer_.async_wait([self](const asio::error_code& e) {
        if (!e) {
          self->SendNext();
        }
      });
      return;
    }
    SendNext();
  }

  void AfterReply() {
    if (reply_.hold_open) {
      Hold();
    } else if (reply_.expect_block && !busy_) {
      ReadBlockHeader();
    } else {
      Close(Ending::Done);
    }
  }

  // Says nothing more; waits for the client to leave or the idle time-out.
  void Hold() {
    if (scratch_.empty()) {
      scratch_.resize(512);
    }
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(scratch_), [self](const asio::error_code& ec, std::size_t n) {
      if (self->closed_) {
        return;
      }
      self->bytes_in_ += static_cast<int64_t>(n);
      if (ec) {
        self->Close(Ending::ClientLeft);
      } else {
        self->Hold();
      }
    });
  }

  void ReadBlockHeader() {
    auto self = shared_from_this();
    asio::async_read(socket_, asio::buffer(record_), [self](const asio::error_code& ec, std::size_t n) {
      if (self->closed_) {
        return;
      }
      self->bytes_in_ += static_cast<int64_t>(n);
      if (ec) {
        self->Close(Ending::BlockHeaderMissing);
        return;
      }
      self->Progress();
      BlockPlan plan = self->exchange_.OnBlockHeader(self->record_.data(), n);
      if (!plan.receive) {
        self->Close(Ending::Done);
        return;
      }
      self->block_remaining_ = plan.bytes;
      if (self->buffer_.empty()) {
        self->buffer_.resize(IoBufferSize);
      }
      self->ReadBlockData();
    });
  }

  void ReadBlockData() {
    std::size_t want = static_cast<std::size_t>(std::min<int64_t>(block_remaining_, buffer_.size()));
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(buffer_.data(), want), [self](const asio::error_code& ec, std::size_t n) {
      if (self->closed_) {
        return;
      }
      self->bytes_in_ += static_cast<int64_t>(n);
      if (n > 0) {
        self->Progress();
        if (!self->exchange_.OnBlockData(self->buffer_.data(), n)) {
          self->Close(Ending::Done);
          return;
        }
        self->block_remaining_ -= static_cast<int64_t>(n);
      }
      if (self->block_remaining_ == 0) {
        self->exchange_.OnBlockComplete();
        self->Close(Ending::Done);
        return;
      }
      if (ec) {
        self->Close(Ending::BlockCut);
        return;
      }
      self->ReadBlockData();
    });
  }

  void Close(Ending ending, const std::string& detail = std::string()) {
    if (closed_) {
      return;
    }
    closed_ = true;
    std::string why = EndingText(ending, detail);
    // An ending that cuts the exchange short fails it; one after the
    // exchange has run its course is only noted.
    bool failed = !exchange_.Finished() && ending != Ending::Done;
    if (!exchange_.Finished()) {
      exchange_.Abort(why);
    } else if (ending != Ending::Done && ending != Ending::ClientLeft) {
      note_ = why;
      failed = failed || ending == Ending::SendFailed || ending == Ending::ContentUnreadable ||
               ending == Ending::IdleTimeout || ending == Ending::Stopping;
    }
    asio::error_code ignored;
    idle_timer_.cancel();
    pace_timer_.cancel();
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);

    ExchangeLogLine line;
    line.client_id = request_read_ ? exchange_.ClientId() : "-";
    line.address = address_;
    line.request_read = request_read_;
    line.request_type = exchange_.RequestType();
    line.responded = exchange_.Responded();
    line.response_code = exchange_.ResponseCode();
    line.bytes_in = bytes_in_;
    line.bytes_out = bytes_out_;
    line.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    line.outcome = exchange_.Outcome() + note_;
    if (line.outcome.empty()) {
      line.outcome = why;
    }
    if (line.outcome.compare(0, 2, "; ") == 0) {
      line.outcome.erase(0, 2);
    }
    server_->log.Exchange(line);
    server_->Count(request_read_, exchange_.RequestType(), failed || (request_read_ && !exchange_.Responded()));

    (busy_ ? server_->busy : server_->active)--;
    if (counted_address_) {
      server_->limits.Leave(address_);
    }
    server_->Unregister(id_);
  }

  std::shared_ptr<VelmorServer::Impl> server_;
  tcp::socket socket_;
  asio::steady_timer idle_timer_;
  asio::steady_timer pace_timer_;
  Exchange exchange_;
  bool busy_;
  uint64_t id_;
  std::string address_;
  bool counted_address_ = false; // counted in the per-address limit
  Clock::time_point start_;
  Clock::time_point last_progress_;

  std::array<unsigned char, RequestRecordSize> record_{};
  std::vector<unsigned char> head_; // a proxy's first bytes
  std::vector<unsigned char> buffer_;
  std::vector<unsigned char> scratch_;
  Reply reply_;
  std::size_t segment_ = 0;
  int64_t segment_offset_ = 0;
  int64_t block_remaining_ = 0;
  int64_t bytes_in_ = 0;
  int64_t bytes_out_ = 0;
  bool request_read_ = false;
  bool answered_ = false; // a busy connection has had its answer
  bool closed_ = false;
  std::string note_;
};

void VelmorServer::Impl::Register(uint64_t id, const std::shared_ptr<Connection>& c) {
  std::lock_guard<std::mutex> lock(connections_mutex);
  connections[id] = c;
}

void VelmorServer::Impl::Unregister(uint64_t id) {
  bool last;
  {
    std::lock_guard<std::mutex> lock(connections_mutex);
    connections.erase(id);
    last = connections.empty();
  }
  if (last && draining) {
    // Drained: nothing keeps the loop running once the timers are gone.
    auto self = shared_from_this();
    asio::post(io, [self]() {
      self->drain_timer.cancel();
      self->counters_timer.cancel();
      self->sweep_timer.cancel();
    });
  }
}

bool VelmorServer::Impl::FromProxy(const std::string& address) const {
  return std::find(options.proxy_from.begin(), options.proxy_from.end(), address) != options.proxy_from.end();
}

void VelmorServer::Impl::Count(bool request_read, int32_t code, bool exchange_failed) {
  if (!request_read) {
    return;
  }
  if (exchange_failed) {
    failed++;
  }
  if (code >= 0 && code < CountedCodes) {
    by_code[static_cast<std::size_t>(code)]++;
  }
  exchanges++; // last: the writer checks it for change
}

bool VelmorServer::Impl::WriteCounters(bool force) {
  int64_t done = exchanges.load();
  if (!force && done == written_exchanges) {
    return true;
  }
  std::string text = "started " + std::to_string(started) + "\nupdated " + std::to_string(std::time(nullptr)) +
                     "\nexchanges " + std::to_string(done) + "\nfailed " + std::to_string(failed.load()) + "\n";
  for (int code = 0; code < CountedCodes; ++code) {
    int64_t n = by_code[static_cast<std::size_t>(code)].load();
    if (n > 0) {
      text += "code" + std::to_string(code) + " " + std::to_string(n) + "\n";
    }
  }
  std::string error;
  // The folder may have gone with a shared directory that was away.
  ::mkdir((options.content_dir + "/" + StatsFolderName).c_str(), 0755);
  if (!WriteFileAtomically(counters_path, text, &error)) {
    return false; // tried again in a second
  }
  written_exchanges = done;
  return true;
}

void VelmorServer::Impl::ScheduleCounters() {
  counters_timer.expires_after(std::chrono::seconds(1));
  auto self = shared_from_this();
  counters_timer.async_wait([self](const asio::error_code& ec) {
    if (ec) {
      return;
    }
    self->WriteCounters(false);
    if (self->KeepTimers()) {
      self->ScheduleCounters();
    }
  });
}

void VelmorServer::Impl::ScheduleSweep() {
  sweep_timer.expires_after(
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.sweep_interval_seconds)));
  auto self = shared_from_this();
  sweep_timer.async_wait([self](const asio::error_code& ec) {
    if (ec) {
      return;
    }
    // Off the loop's threads would be kinder on a slow shared file
    // system, but a sweep is a directory listing or two per minute.
    int removed = self->donations.SweepLeftovers();
    if (removed > 0) {
      self->log.Note("removed " + std::to_string(removed) + " leftover uploads of stopped instances");
    }
    if (self->KeepTimers()) {
      self->ScheduleSweep();
    }
  });
}

void VelmorServer::Impl::Accept() {
  auto self = shared_from_this();
  acceptor.async_accept(asio::make_strand(io), [self](const asio::error_code& ec, tcp::socket socket) {
    if (self->stopping) {
      // Accepted as the stop began: a draining stop serves it too.
      if (!ec && self->drain_asked) {
        self->Take(std::move(socket));
      }
      return;
    }
    if (ec) {
      if (ec == asio::error::operation_aborted) {
        return;
      }
      // Out of descriptors or the like: try again shortly rather than spin.
      self->log.Note("accept failed: " + ec.message());
      self->accept_retry.expires_after(std::chrono::milliseconds(100));
      self->accept_retry.async_wait([self](const asio::error_code& e) {
        if (!e && !self->stopping) {
          self->Accept();
        }
      });
      return;
    }
    self->Take(std::move(socket));
    self->Accept();
  });
}

void VelmorServer::Impl::Take(tcp::socket socket) {
  accepted++;
  int max = options.max_connections;
  bool tell_busy = false;
  if (active.load() >= max) {
    if (busy.load() >= max) {
      // Far over capacity: even a busy answer would cost too much.
      refused++;
      asio::error_code ignored;
      socket.close(ignored);
      return;
    }
    tell_busy = true;
  }
  asio::error_code peer_error;
  tcp::endpoint peer = socket.remote_endpoint(peer_error);
  asio::ip::address peer_address = peer.address();
  if (peer_address.is_v6() && peer_address.to_v6().is_v4_mapped()) {
    // A dual-stack listener: the IPv4 client as such, as --proxy-from
    // and the limits name it.
    peer_address = asio::ip::make_address_v4(asio::ip::v4_mapped, peer_address.to_v6());
  }
  std::string address = peer_error ? std::string("unknown") : peer_address.to_string();
  // The per-address limit is applied once the connection knows its
  // client (behind a proxy, after the PROXY header).
  (tell_busy ? busy : active)++;
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(connections_mutex);
    id = ++next_id;
  }
  auto connection = std::make_shared<Connection>(shared_from_this(), std::move(socket), tell_busy, id, std::move(address));
  Register(id, connection);
  connection->Begin();
}

bool WriteQuotaFile(const ServerOptions& o, std::string* error) {
  // The moderation page shows the running server's quotas from here.
  char text[256];
  std::snprintf(text, sizeof text, "donation-bytes %lld\ndonation-files %lld\ncomment-bytes %lld\ncomment-files %lld\n",
                static_cast<long long>(o.donation_quota_bytes), static_cast<long long>(o.donation_quota_files),
                static_cast<long long>(o.comment_quota_bytes), static_cast<long long>(o.comment_quota_files));
  return WriteFileAtomically(o.content_dir + "/" + QuotaFileName, text, error);
}

VelmorServer::VelmorServer(const ServerOptions& options) : impl_(std::make_shared<Impl>(options)) {}

VelmorServer::~VelmorServer() {
  Stop();
  if (!impl_->running) {
    // Let the stop take effect, so that pending handlers (which hold the
    // server's state) are released with it.
    impl_->io.restart();
    impl_->io.run();
  }
}

bool VelmorServer::Open(std::string* error) {
  // A client that vanishes mid-send must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  if (!impl_->log.Open(impl_->options.log_file, error)) {
    return false;
  }
  struct stat st;
  if (::stat(impl_->options.content_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    // Rather than serve nothing and fill a mistyped path with folders.
    *error = "content directory " + impl_->options.content_dir +
             " does not exist (--make-sample DIR writes one)";
    return false;
  }
  if (!impl_->donations.Prepare(error)) {
    return false;
  }
  if (!WriteQuotaFile(impl_->options, error)) {
    return false;
  }
  asio::error_code ec;
  asio::ip::address address = asio::ip::make_address(impl_->options.bind_address, ec);
  if (ec) {
    *error = "bad bind address " + impl_->options.bind_address + ": " + ec.message();
    return false;
  }
  tcp::endpoint endpoint(address, static_cast<unsigned short>(impl_->options.port));
  impl_->acceptor.open(endpoint.protocol(), ec);
  if (!ec) impl_->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) impl_->acceptor.bind(endpoint, ec);
  if (!ec) impl_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    *error = "cannot listen on " + impl_->options.bind_address + ":" + std::to_string(impl_->options.port) +
             ": " + ec.message();
    return false;
  }
  if (!impl_->options.ready_file.empty() &&
      !WriteFileAtomically(impl_->options.ready_file, std::to_string(Port()) + "\n", error)) {
    return false;
  }
  std::string name = impl_->options.instance_name;
  if (name.empty()) {
    name = HostName() + "-" + std::to_string(Port());
  }
  impl_->counters_path = impl_->options.content_dir + "/" + StatsFolderName + "/" + name + ".counters";
  impl_->started = static_cast<int64_t>(std::time(nullptr));
  if (!impl_->WriteCounters(true)) {
    *error = "cannot write " + impl_->counters_path + ": " + std::strerror(errno);
    return false;
  }
  impl_->log.Note("listening on " + impl_->options.bind_address + ":" + std::to_string(Port()) + ", content " +
                  impl_->options.content_dir + ", instance " + name);
  return true;
}

int VelmorServer::Port() const {
  asio::error_code ec;
  tcp::endpoint endpoint = impl_->acceptor.local_endpoint(ec);
  return ec ? -1 : endpoint.port();
}

void VelmorServer::StopOnSignals() {
  impl_->signals.emplace(impl_->control, SIGINT, SIGTERM);
  Impl::WaitForSignal(impl_);
}

void VelmorServer::Impl::WaitForSignal(const std::shared_ptr<Impl>& impl) {
  impl->signals->async_wait([impl](const asio::error_code& ec, int signal_number) {
    if (ec) {
      return;
    }
    // The handler runs on the control strand, like every stop.
    std::string what = "signal " + std::to_string(signal_number) + ": ";
    const bool was_leaving = impl->leaving;
    if (Impl::StopOnControl(impl, true)) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", impl->options.lame_duck_seconds);
      impl->log.Note(what + "failing the proxy's health checks for " + seconds +
                     " s, then stopping after the exchanges in flight");
      // A second signal stops accepting at once (which cancels this wait).
      Impl::WaitForSignal(impl);
    } else {
      impl->log.Note(what + (was_leaving ? "lame-duck time cut short" : "stopping after the exchanges in flight"));
    }
  });
}

void VelmorServer::Run() {
  impl_->running = true;
  impl_->Accept();
  impl_->ScheduleCounters();
  impl_->ScheduleSweep();
  std::vector<std::thread> workers;
  for (int i = 1; i < impl_->options.threads; ++i) {
    workers.emplace_back([impl = impl_]() { impl->io.run(); });
  }
  impl_->io.run();
  for (std::thread& t : workers) {
    t.join();
  }
  impl_->running = false;
  impl_->WriteCounters(true);
  impl_->log.Note("stopped");
}

void VelmorServer::Stop() {
  Impl::Stop(impl_, false);
}

void VelmorServer::Drain() {
  Impl::Stop(impl_, true);
}

void VelmorServer::Impl::Stop(const std::shared_ptr<Impl>& impl, bool drain) {
  asio::post(impl->control, [impl, drain]() { StopOnControl(impl, drain); });
}

bool VelmorServer::Impl::StopOnControl(const std::shared_ptr<Impl>& impl, bool drain) {
  if (drain && !impl->stopping && !impl->leaving && impl->options.lame_duck_seconds > 0) {
    // Behind a proxy, closing the listener at once resets connections
    // that the kernel completed in the instant before the close, after
    // the proxy had sent them their request. Failing its health checks
    // first lets the proxy stop sending any.
    impl->leaving = true;
    impl->lame_duck_timer.expires_after(std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(impl->options.lame_duck_seconds)));
    impl->lame_duck_timer.async_wait([impl](const asio::error_code& ec) {
      if (!ec) {
        StopAccepting(impl, true);
      }
    });
    return true;
  }
  impl->lame_duck_timer.cancel();
  StopAccepting(impl, drain);
  return false;
}

void VelmorServer::Impl::StopAccepting(const std::shared_ptr<Impl>& impl, bool drain) {
  if (drain) {
    impl->drain_asked = true;
  }
  if (impl->stopping.exchange(true)) {
    if (!drain && impl->draining) {
      impl->EndNow(); // a stop during a drain cuts it short
    }
    return;
  }
  // Set before the connections are counted: the last one to close then
  // ends the drain (see Unregister). Set before the queue below is taken
  // too, so that those connections start.
  impl->draining = drain;
  asio::error_code ignored;
  if (drain) {
    // Connections the kernel has completed but nobody accepted yet would
    // be reset by the close: a proxy has already sent them their
    // request. They are served like any other in flight.
    impl->acceptor.non_blocking(true, ignored);
    for (;;) {
      tcp::socket socket(asio::make_strand(impl->io));
      asio::error_code ec;
      impl->acceptor.accept(socket, ec);
      if (ec) {
        break;
      }
      impl->Take(std::move(socket));
    }
  }
  impl->acceptor.close(ignored);
  impl->accept_retry.cancel();
  if (impl->signals) {
    impl->signals->cancel(ignored);
  }
  bool idle;
  {
    std::lock_guard<std::mutex> lock(impl->connections_mutex);
    idle = impl->connections.empty();
  }
  if (!drain || idle) {
    impl->EndNow();
    return;
  }
  // Exchanges in flight run their course, for at most the drain time.
  impl->drain_timer.expires_after(std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(impl->options.drain_timeout_seconds)));
  impl->drain_timer.async_wait([impl](const asio::error_code& ec) {
    if (ec) {
      return;
    }
    impl->log.Note("drain time over: ending the exchanges still open");
    impl->EndNow();
  });
  if (!impl->KeepTimers()) {
    // The last one left while the timer was being set.
    impl->drain_timer.cancel();
    impl->counters_timer.cancel();
    impl->sweep_timer.cancel();
  }
}

bool VelmorServer::Impl::KeepTimers() {
  if (!stopping) {
    return true;
  }
  std::lock_guard<std::mutex> lock(connections_mutex);
  return draining && !connections.empty();
}

void VelmorServer::Impl::EndNow() {
  draining = false;
  drain_timer.cancel();
  counters_timer.cancel();
  sweep_timer.cancel();
  EndConnections();
}

void VelmorServer::Impl::EndConnections() {
  std::vector<std::shared_ptr<Connection>> open;
  {
    std::lock_guard<std::mutex> lock(connections_mutex);
    for (auto& entry : connections) {
      if (auto c = entry.second.lock()) {
        open.push_back(std::move(c));
      }
    }
  }
  for (auto& c : open) {
    c->Shutdown();
  }
}

ServerCounters VelmorServer::Counters() const {
  ServerCounters c;
  c.accepted = impl_->accepted;
  c.answered_busy = impl_->answered_busy;
  c.refused = impl_->refused;
  c.active = impl_->active + impl_->busy;
  return c;
}
