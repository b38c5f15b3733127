#include "server/server.h"

#include "net/request_record.h"
#include "server/address_limits.h"
#include "server/atomic_file.h"
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/exchange.h"
#include "server/fault_plan.h"
#include "server/server_log.h"

#include <asio.hpp>
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
    idle = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.idle_timeout_seconds));
  }

  void Accept();
  static void Stop(const std::shared_ptr<Impl>& impl);
  void Register(uint64_t id, const std::shared_ptr<Connection>& c);
  void Unregister(uint64_t id);

  ServerOptions options;
  ContentStore content;
  DonationStore donations;
  FaultSource faults;
  AddressLimits limits;
  ServerLog log;
  ServerContext context;
  Clock::duration idle;

  asio::io_context io;
  tcp::acceptor acceptor{io};
  asio::steady_timer accept_retry{io};
  std::optional<asio::signal_set> signals;
  std::atomic<bool> stopping{false};
  std::atomic<bool> running{false};

  std::atomic<int> active{0}; // exchanges within capacity
  std::atomic<int> busy{0};   // connections being told busy
  std::atomic<int64_t> accepted{0};
  std::atomic<int64_t> answered_busy{0};
  std::atomic<int64_t> refused{0};

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
             std::string address, bool counted_address)
      : server_(std::move(server)),
        socket_(std::move(socket)),
        idle_timer_(socket_.get_executor()),
        pace_timer_(socket_.get_executor()),
        exchange_(server_->context),
        busy_(busy),
        id_(id),
        address_(std::move(address)),
        counted_address_(counted_address),
        start_(Clock::now()),
        last_progress_(start_) {
    exchange_.SetPeerAddress(address_);
  }

  // Starts the connection on its own strand.
  void Begin() {
    auto self = shared_from_this();
    asio::post(socket_.get_executor(), [self]() { self->Start(); });
  }

  // Ends the connection from outside (server stopping).
  void Shutdown() {
    auto self = shared_from_this();
    asio::post(socket_.get_executor(), [self]() { self->Close("; server stopping"); });
  }

 private:
  void Start() {
    if (server_->stopping) {
      Close("; server stopping");
      return;
    }
    asio::error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
    ArmIdleTimer();
    auto self = shared_from_this();
    asio::async_read(socket_, asio::buffer(record_),
                     [self](const asio::error_code& ec, std::size_t n) { self->OnRequest(ec, n); });
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
      Close("; idle time-out");
      return;
    }
    ArmIdleTimer();
  }

  void Progress() { last_progress_ = Clock::now(); }

  void OnRequest(const asio::error_code& ec, std::size_t n) {
    if (closed_) {
      return;
    }
    bytes_in_ += static_cast<int64_t>(n);
    if (busy_) {
      answered_ = true;
      request_read_ = !ec;
      reply_ = exchange_.BusyReply(record_.data(), ec ? 0 : n);
      server_->answered_busy++;
      SendNext();
      return;
    }
    if (ec) {
      if (n > 0) {
        exchange_.OnRequest(record_.data(), n);
        request_read_ = true;
        Close("");
      } else {
        Close(ec == asio::error::eof ? "closed without a request" : "no request: " + ec.message());
      }
      return;
    }
    Progress();
    request_read_ = true;
    reply_ = exchange_.OnRequest(record_.data(), n);
    if (reply_.hang_up) {
      Close("");
      return;
    }
    SendNext();
  }

  // Sends the next piece of the reply: memory segments gathered into one
  // write, plus at most one chunk of a file.
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
    std::vector<asio::const_buffer> buffers;
    std::size_t index = segment_;
    int64_t offset = segment_offset_;
    int64_t gathered = 0;
    while (index < reply_.segments.size() && buffers.size() < MaxGather && gathered < limit) {
      const Segment& s = reply_.segments[index];
      int64_t take = std::min(s.length - offset, limit - gathered);
      if (s.bytes) {
        buffers.emplace_back(s.bytes->data() + s.offset + offset, static_cast<std::size_t>(take));
      } else {
        if (buffer_.empty()) {
          buffer_.resize(IoBufferSize);
        }
        take = std::min<int64_t>(take, static_cast<int64_t>(buffer_.size()));
        ssize_t got = ::pread(s.file->fd, buffer_.data(), static_cast<std::size_t>(take), s.offset + offset);
        if (got <= 0) {
          if (buffers.empty()) {
            Close("; content file could not be read to its end");
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

  void OnWritten(const asio::error_code& ec, std::size_t n) {
    if (closed_) {
      return;
    }
    bytes_out_ += static_cast<int64_t>(n);
    // Advance over what was written.
    int64_t left = static_cast<int64_t>(n);
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
    if (ec) {
      Close("; send failed: " + ec.message());
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
      Close("");
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
        self->Close("; client left");
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
        self->Close("; connection ended before the block header");
        return;
      }
      self->Progress();
      BlockPlan plan = self->exchange_.OnBlockHeader(self->record_.data(), n);
      if (!plan.receive) {
        self->Close("");
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
          self->Close("");
          return;
        }
        self->block_remaining_ -= static_cast<int64_t>(n);
      }
      if (self->block_remaining_ == 0) {
        self->exchange_.OnBlockComplete();
        self->Close("");
        return;
      }
      if (ec) {
        self->Close("; connection ended during the block");
        return;
      }
      self->ReadBlockData();
    });
  }

  void Close(const std::string& why) {
    if (closed_) {
      return;
    }
    closed_ = true;
    if (!exchange_.Finished()) {
      exchange_.Abort(why);
    } else if (!why.empty() && why != "; client left") {
      note_ = why;
    }
    asio::error_code ignored;
    idle_timer_.cancel();
    pace_timer_.cancel();
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);

    ExchangeLogLine line;
    line.client_id = request_read_ ? exchange_.ClientId() : "-";
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
  bool counted_address_; // counted in the per-address limit
  Clock::time_point start_;
  Clock::time_point last_progress_;

  std::array<unsigned char, RequestRecordSize> record_{};
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
  std::lock_guard<std::mutex> lock(connections_mutex);
  connections.erase(id);
}

void VelmorServer::Impl::Accept() {
  auto self = shared_from_this();
  acceptor.async_accept(asio::make_strand(io), [self](const asio::error_code& ec, tcp::socket socket) {
    if (self->stopping) {
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
    self->accepted++;
    int max = self->options.max_connections;
    bool busy = false;
    if (self->active.load() >= max) {
      if (self->busy.load() >= max) {
        // Far over capacity: even a busy answer would cost too much.
        self->refused++;
        asio::error_code ignored;
        socket.close(ignored);
        self->Accept();
        return;
      }
      busy = true;
    }
    asio::error_code peer_error;
    tcp::endpoint peer = socket.remote_endpoint(peer_error);
    std::string address = peer_error ? std::string("unknown") : peer.address().to_string();
    bool counted_address = false;
    if (!busy) {
      // One address may not take the whole server.
      counted_address = self->limits.Enter(address);
      busy = !counted_address;
    }
    (busy ? self->busy : self->active)++;
    uint64_t id;
    {
      std::lock_guard<std::mutex> lock(self->connections_mutex);
      id = ++self->next_id;
    }
    auto connection =
        std::make_shared<Connection>(self, std::move(socket), busy, id, std::move(address), counted_address);
    self->Register(id, connection);
    connection->Begin();
    self->Accept();
  });
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
  impl_->log.Note("listening on " + impl_->options.bind_address + ":" + std::to_string(Port()) + ", content " +
                  impl_->options.content_dir);
  return true;
}

int VelmorServer::Port() const {
  asio::error_code ec;
  tcp::endpoint endpoint = impl_->acceptor.local_endpoint(ec);
  return ec ? -1 : endpoint.port();
}

void VelmorServer::StopOnSignals() {
  auto impl = impl_;
  impl->signals.emplace(impl->io, SIGINT, SIGTERM);
  impl->signals->async_wait([impl](const asio::error_code& ec, int signal_number) {
    if (!ec) {
      impl->log.Note("signal " + std::to_string(signal_number) + ": stopping");
      Impl::Stop(impl);
    }
  });
}

void VelmorServer::Run() {
  impl_->running = true;
  impl_->Accept();
  std::vector<std::thread> workers;
  for (int i = 1; i < impl_->options.threads; ++i) {
    workers.emplace_back([impl = impl_]() { impl->io.run(); });
  }
  impl_->io.run();
  for (std::thread& t : workers) {
    t.join();
  }
  impl_->running = false;
  impl_->log.Note("stopped");
}

void VelmorServer::Stop() {
  Impl::Stop(impl_);
}

void VelmorServer::Impl::Stop(const std::shared_ptr<Impl>& impl) {
  asio::post(impl->io, [impl]() {
    if (impl->stopping.exchange(true)) {
      return;
    }
    asio::error_code ignored;
    impl->acceptor.close(ignored);
    impl->accept_retry.cancel();
    if (impl->signals) {
      impl->signals->cancel(ignored);
    }
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard<std::mutex> lock(impl->connections_mutex);
      for (auto& entry : impl->connections) {
        if (auto c = entry.second.lock()) {
          open.push_back(std::move(c));
        }
      }
    }
    for (auto& c : open) {
      c->Shutdown();
    }
  });
}

ServerCounters VelmorServer::Counters() const {
  ServerCounters c;
  c.accepted = impl_->accepted;
  c.answered_busy = impl_->answered_busy;
  c.refused = impl_->refused;
  c.active = impl_->active + impl_->busy;
  return c;
}
