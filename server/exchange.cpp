#include "server/exchange.h"

#include "net/request_record.h"
#include "server/proxy_header.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace velmor_server {

namespace {

constexpr int64_t DefaultOversized = 1000000; // one byte over the client's memory limit
constexpr int64_t MaxFiller = 64 * 1024 * 1024;

int32_t ClampInt32(int64_t v) {
  return static_cast<int32_t>(std::min<int64_t>(INT32_MAX, std::max<int64_t>(INT32_MIN, v)));
}

std::shared_ptr<const std::string> Filler(int64_t size) {
  static const char pattern[] = "Velmor filler: this block is larger than any client should keep in memory.\n";
  std::string text;
  text.reserve(static_cast<std::size_t>(size));
  while (static_cast<int64_t>(text.size()) < size) {
    std::size_t take = std::min<std::size_t>(sizeof pattern - 1, static_cast<std::size_t>(size) - text.size());
    text.append(pattern, take);
  }
  return std::make_shared<const std::string>(std::move(text));
}

// Reads a range of a file into out; false when the file ended early or
// could not be read.
bool ReadRange(const OpenFile& file, int64_t offset, int64_t length, std::string* out) {
  char buffer[65536];
  while (length > 0) {
    ssize_t n = ::pread(file.fd, buffer, static_cast<std::size_t>(std::min<int64_t>(length, sizeof buffer)), offset);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    out->append(buffer, static_cast<std::size_t>(n));
    offset += n;
    length -= n;
  }
  return true;
}

} // namespace

int64_t Reply::Size() const {
  int64_t total = 0;
  for (const Segment& s : segments) {
    total += s.length;
  }
  return total;
}

void Reply::AddBytes(std::string bytes) {
  auto shared = std::make_shared<const std::string>(std::move(bytes));
  int64_t length = static_cast<int64_t>(shared->size());
  AddShared(std::move(shared), 0, length);
}

void Reply::AddShared(std::shared_ptr<const std::string> bytes, int64_t offset, int64_t length) {
  if (length <= 0) {
    return;
  }
  Segment s;
  s.bytes = std::move(bytes);
  s.offset = offset;
  s.length = length;
  segments.push_back(std::move(s));
}

void Reply::AddFile(std::shared_ptr<OpenFile> file, int64_t offset, int64_t length) {
  if (length <= 0) {
    return;
  }
  Segment s;
  s.file = std::move(file);
  s.offset = offset;
  s.length = length;
  segments.push_back(std::move(s));
}

std::string ServerRecord(int32_t code, int32_t num1, int32_t num2, const char* text, std::size_t text_length) {
  RequestRecord record = EmptyRecord();
  record.magic1 = RequestMagic1;
  record.magic2 = RequestMagic2;
  record.code = code;
  record.num1 = num1;
  record.num2 = num2;
  if (text_length > 0) {
    SetFieldText(record.text, RecordTextSize, text, text_length);
  }
  unsigned char bytes[RequestRecordSize];
  EncodeRequestRecord(record, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

Exchange::Exchange(const ServerContext& context) : context_(context) {}

Exchange::~Exchange() {
  if (upload_) {
    upload_->Discard();
  }
}

Reply Exchange::Answer(int32_t code, int32_t num1, int32_t num2, const std::string& text) {
  Reply reply;
  reply.AddBytes(ServerRecord(code, num1, num2, text.data(), text.size()));
  response_code_ = code;
  responded_ = true;
  return reply;
}

Reply Exchange::BusyReply(const unsigned char* record, std::size_t size) {
  if (StartsLikeProxyHeader(record, size)) {
    return RefuseProxyHeader();
  }
  RequestRecord request;
  DecodeRequestRecord(record, size, &request);
  client_id_ = SafeClientId(request.client_id, FieldTextLength(request.client_id, ClientIdFieldSize));
  type_ = request.code;
  outcome_ = "busy: over capacity";
  finished_ = true;
  return Answer(ResponseBusy);
}

Reply Exchange::RefuseProxyHeader() {
  // Only a listed proxy may name another client; the transport has taken
  // its header off already, so this one is a protocol error.
  outcome_ = "PROXY header from an address not allowed to send one";
  finished_ = true;
  Reply reply;
  reply.hang_up = true;
  return reply;
}

Reply Exchange::OnRequest(const unsigned char* record, std::size_t size) {
  if (StartsLikeProxyHeader(record, size)) {
    return RefuseProxyHeader();
  }
  RequestRecord request;
  bool whole = DecodeRequestRecord(record, size, &request);
  client_id_ = SafeClientId(request.client_id, FieldTextLength(request.client_id, ClientIdFieldSize));
  type_ = request.code;
  Reply reply;
  if (!whole) {
    outcome_ = "request cut short";
    finished_ = true;
    reply.hang_up = true;
    return reply;
  }

  Fault fault;
  if (context_.faults && context_.faults->Enabled()) {
    std::string problems;
    fault = context_.faults->For(type_, &problems);
    if (!problems.empty()) {
      outcome_ = "fault file: " + problems + "; ";
    }
    if (fault.mode != FaultMode::None) {
      outcome_ += std::string("fault ") + FaultModeName(fault.mode) + ": ";
    }
  }
  switch (fault.mode) {
    case FaultMode::Code:
      if (fault.arg1 != 0) {
        finished_ = true;
        outcome_ += "answered as told";
        return Answer(ClampInt32(fault.arg1));
      }
      break;
    case FaultMode::NoAnswer:
      finished_ = true;
      outcome_ += "no answer";
      reply.hold_open = true;
      return reply;
    case FaultMode::HangUp:
      finished_ = true;
      outcome_ += "hung up";
      reply.hang_up = true;
      return reply;
    default:
      break;
  }

  std::size_t text_length = FieldTextLength(request.text, RecordTextSize);
  if (request.magic1 != RequestMagic1 || request.magic2 != RequestMagic2) {
    outcome_ += "not a Velmor request";
    reply = Answer(ResponseCannotHandle);
  } else {
    switch (type_) {
      case RequestQuote: reply = Quote(request.num1, fault); break;
      case RequestPicture:
      case RequestSound: reply = FileItem(type_, request.num1, fault); break;
      case RequestNews: reply = TextFile(context_.content->News(), "news", fault); break;
      case RequestTips: reply = TextFile(context_.content->Tips(), "tips", fault); break;
      case RequestCategoryList: reply = CategoryList(request.num1, fault); break;
      case RequestStatusLine: reply = StatusLine(fault); break;
      case RequestPing:
        if (proxy_itself_ && context_.leaving && context_.leaving->load()) {
          outcome_ += "health check while leaving: unavailable";
          reply = Answer(ResponseUnavailable);
        } else {
          outcome_ += "pong";
          reply = Answer(ResponseAccepted);
        }
        break;
      case RequestAddCategory: reply = AddCategory(request.num1, request.text, text_length); break;
      case RequestDonate: reply = Donate(request.num1, request.num2, request.text, text_length); break;
      case RequestComment: reply = Comment(); break;
      default:
        outcome_ += "unknown request type";
        reply = Answer(ResponseCannotHandle);
        break;
    }
  }
  if (!reply.expect_block) {
    finished_ = true;
  }
  if (fault.mode == FaultMode::Drip) {
    reply.drip_interval_ms = fault.has_arg1 ? std::clamp<int64_t>(fault.arg1, 0, 60000) : 50;
    reply.drip_bytes = fault.has_arg2 ? std::max<int64_t>(1, fault.arg2) : 1;
  } else if (fault.mode == FaultMode::Stall) {
    reply.stall_after = fault.has_arg1 ? std::max<int64_t>(0, fault.arg1) : RequestRecordSize;
  }
  return reply;
}

void Exchange::AddBlock(Reply* reply, const Segment& data, const Fault& fault) {
  int32_t code = 0;
  int32_t chunk = context_.chunk_size;
  int64_t total = data.length;
  Segment body = data;
  switch (fault.mode) {
    case FaultMode::EmptyBlock:
      total = 0;
      body.length = 0;
      break;
    case FaultMode::OversizedBlock: {
      int64_t size = fault.has_arg1 ? std::clamp<int64_t>(fault.arg1, 0, MaxFiller) : DefaultOversized;
      body = Segment();
      body.bytes = Filler(size);
      body.length = size;
      total = size;
      break;
    }
    case FaultMode::HeaderCode:
      code = fault.has_arg1 ? ClampInt32(fault.arg1) : ResponseCannotCreate;
      body.length = 0;
      break;
    case FaultMode::ChunkSize:
      chunk = ClampInt32(fault.arg1);
      break;
    case FaultMode::Total:
      total = fault.arg1;
      break;
    case FaultMode::Cut:
      body.length = fault.has_arg1 ? std::clamp<int64_t>(fault.arg1, 0, data.length) : data.length / 2;
      break;
    default:
      break;
  }
  reply->AddBytes(ServerRecord(code, chunk, ClampInt32(total), nullptr, 0));
  if (body.length > 0) {
    reply->segments.push_back(body);
  }
  outcome_ += "block of " + std::to_string(body.length) + " bytes";
}

Reply Exchange::Quote(int32_t number, const Fault& fault) {
  int64_t position = static_cast<int64_t>(number) - 1;
  std::shared_ptr<const std::string> quote;
  PickResult result = position < 0 || position > INT_MAX
                          ? PickResult::NoSuchCategory
                          : context_.content->PickQuote(static_cast<int>(position), &quote);
  switch (result) {
    case PickResult::Found: {
      Reply reply = Answer(ResponseAccepted);
      Segment data;
      data.length = static_cast<int64_t>(quote->size());
      data.bytes = std::move(quote);
      AddBlock(&reply, data, fault);
      return reply;
    }
    case PickResult::Empty:
      outcome_ += "category empty";
      return Answer(ResponseQuoteCategoryEmpty);
    default:
      outcome_ += "no such category";
      return Answer(ResponseUnavailable);
  }
}

Reply Exchange::FileItem(int32_t type, int32_t number, const Fault& fault) {
  int64_t position = static_cast<int64_t>(number) - 1;
  std::shared_ptr<OpenFile> file;
  PickResult result = position < 0 || position > INT_MAX
                          ? PickResult::NoSuchCategory
                          : context_.content->PickFile(type, static_cast<int>(position), &file);
  switch (result) {
    case PickResult::Found: {
      Reply reply = Answer(ResponseAccepted);
      if (type == RequestPicture) {
        // The picture information record: the client reads it and does not
        // use it; it names the file and gives its size.
        reply.AddBytes(ServerRecord(0, ClampInt32(file->size), number, file->name.data(),
                                    std::min<std::size_t>(file->name.size(), RecordTextSize - 1)));
      }
      Segment data;
      data.length = file->size;
      data.file = std::move(file);
      AddBlock(&reply, data, fault);
      return reply;
    }
    case PickResult::Empty:
      outcome_ += "category empty";
      return Answer(type == RequestPicture ? ResponsePictureCategoryEmpty : ResponseSoundCategoryEmpty);
    case PickResult::Unreadable:
      outcome_ += "no readable file";
      return Answer(ResponseUnavailable);
    default:
      outcome_ += "no such category";
      return Answer(ResponseUnavailable);
  }
}

Reply Exchange::TextFile(std::shared_ptr<const std::string> text, const char* what, const Fault& fault) {
  if (!text) {
    outcome_ += std::string("no ") + what + " file";
    return Answer(ResponseUnavailable);
  }
  Reply reply = Answer(ResponseAccepted);
  Segment data;
  data.length = static_cast<int64_t>(text->size());
  data.bytes = std::move(text);
  AddBlock(&reply, data, fault);
  return reply;
}

Reply Exchange::CategoryList(int32_t type, const Fault& fault) {
  if (!ItemKindName(type)) {
    outcome_ += "unknown item type";
    return Answer(ResponseCannotHandle);
  }
  auto names = context_.content->Categories(type);
  std::string block;
  for (const std::string& name : *names) {
    block += name;
    block += '\0';
  }
  if (fault.mode == FaultMode::NoFinalNul && !block.empty()) {
    block.pop_back();
  }
  int32_t count = fault.mode == FaultMode::ListCount ? ClampInt32(fault.arg1)
                                                      : static_cast<int32_t>(names->size());
  outcome_ += std::to_string(names->size()) + " names; ";
  Reply reply = Answer(ResponseAccepted, count);
  Segment data;
  data.length = static_cast<int64_t>(block.size());
  data.bytes = std::make_shared<const std::string>(std::move(block));
  AddBlock(&reply, data, fault);
  return reply;
}

Reply Exchange::StatusLine(const Fault& fault) {
  std::string line = context_.content->StatusLine();
  if (fault.mode == FaultMode::NoFinalNul) {
    line.resize(RecordTextSize, ' ');
  }
  outcome_ += line.empty() ? "no status line" : "status line";
  return Answer(ResponseAccepted, 0, 0, line);
}

Reply Exchange::AddCategory(int32_t type, const char* name, std::size_t length) {
  std::string why;
  int code = context_.content->AddCategory(type, name, length, &why);
  outcome_ += why;
  return Answer(code);
}

Reply Exchange::Donate(int32_t position, int32_t type, const char* name, std::size_t length) {
  if (context_.limits && !context_.limits->AllowDonation(peer_address_)) {
    outcome_ += "busy: too many donations from " + peer_address_ + " this hour";
    return Answer(ResponseBusy);
  }
  int count = static_cast<int>(context_.content->Categories(type)->size());
  DonationVerdict verdict;
  DonorInfo donor{client_id_, peer_address_};
  upload_ = context_.donations->BeginDonation(type, position, count, name, length, donor, &verdict);
  outcome_ += verdict.why;
  switch (verdict.code) {
    case 0: {
      Reply reply = Answer(ResponseAccepted);
      reply.expect_block = true;
      upload_limit_ = context_.max_donation_bytes;
      return reply;
    }
    case 5: return Answer(ResponseCannotCreate, verdict.file_error);
    case 10: return Answer(ResponseNameExists, 0, 0, verdict.held_name);
    default: return Answer(ResponseCannotHandle);
  }
}

Reply Exchange::Comment() {
  int file_error = 0;
  upload_ = context_.donations->BeginComment(client_id_, &file_error);
  if (!upload_ && file_error == QuotaFullError) {
    outcome_ += "comment quota full";
    return Answer(ResponseCannotCreate, QuotaFullError);
  }
  if (!upload_) {
    outcome_ += std::string("cannot create comment file: ") + std::strerror(file_error);
    return Answer(ResponseCannotHandle);
  }
  outcome_ += "receiving comment";
  Reply reply = Answer(ResponseAccepted);
  reply.expect_block = true;
  upload_limit_ = MaxCommentBytes;
  return reply;
}

BlockPlan Exchange::OnBlockHeader(const unsigned char* record, std::size_t size) {
  BlockPlan plan;
  RequestRecord header;
  finished_ = true;
  if (!upload_) {
    outcome_ += "; no block expected";
    return plan;
  }
  if (!DecodeRequestRecord(record, size, &header)) {
    Abort("; block header cut short");
    return plan;
  }
  if (header.code != 0) {
    Refuse("; client sent status " + std::to_string(header.code) + ", nothing stored");
    return plan;
  }
  if (header.num2 <= 0) {
    Refuse("; empty block (total " + std::to_string(header.num2) + "), nothing stored");
    return plan;
  }
  if (header.num2 > upload_limit_) {
    Refuse("; block of " + std::to_string(header.num2) + " bytes over the limit of " +
          std::to_string(upload_limit_) + ", refused");
    plan.close = true;
    return plan;
  }
  if (!upload_->Claim(header.num2)) {
    // The answer has gone out already; like an oversized block, the
    // refusal is the closed connection.
    Refuse("; block of " + std::to_string(header.num2) + " bytes over the quota, refused");
    plan.close = true;
    return plan;
  }
  finished_ = false;
  block_remaining_ = header.num2;
  plan.receive = true;
  plan.bytes = header.num2;
  return plan;
}

bool Exchange::OnBlockData(const unsigned char* data, std::size_t size) {
  if (!upload_ || static_cast<int64_t>(size) > block_remaining_) {
    Abort("; more data than announced");
    return false;
  }
  if (!upload_->Write(data, size)) {
    Abort(std::string("; cannot write: ") + std::strerror(errno));
    return false;
  }
  block_remaining_ -= static_cast<int64_t>(size);
  return true;
}

void Exchange::OnBlockComplete() {
  finished_ = true;
  if (!upload_ || block_remaining_ != 0) {
    Abort("; block incomplete");
    return;
  }
  int64_t bytes = upload_->BytesWritten();
  std::string path = upload_->FinalPath();
  int error = upload_->Commit();
  upload_.reset();
  std::string relative = path.compare(0, context_.content->Root().size(), context_.content->Root()) == 0
                             ? path.substr(context_.content->Root().size() + 1)
                             : path;
  if (error == 0) {
    outcome_ += "; stored " + std::to_string(bytes) + " bytes as " + relative;
  } else {
    outcome_ += "; not stored: " + std::string(std::strerror(error));
  }
}

void Exchange::Abort(const std::string& why) {
  finished_ = true;
  outcome_ += why;
  if (upload_) {
    outcome_ += ", nothing stored";
    Drop();
  }
}

void Exchange::Refuse(const std::string& why) {
  finished_ = true;
  outcome_ += why;
  Drop();
}

void Exchange::Drop() {
  if (upload_) {
    upload_->Discard();
    upload_.reset();
  }
}

std::string RunExchangeInMemory(const ServerContext& context, const unsigned char* input, std::size_t size,
                                std::string* outcome) {
  Exchange exchange(context);
  std::string out;
  Reply reply = exchange.OnRequest(input, std::min<std::size_t>(size, RequestRecordSize));
  if (!reply.hang_up) {
    int64_t limit = reply.stall_after >= 0 ? reply.stall_after : INT64_MAX;
    for (const Segment& s : reply.segments) {
      int64_t room = limit - static_cast<int64_t>(out.size());
      int64_t take = std::min(room, s.length);
      if (take <= 0) {
        break;
      }
      if (s.bytes) {
        out.append(*s.bytes, static_cast<std::size_t>(s.offset), static_cast<std::size_t>(take));
      } else if (!ReadRange(*s.file, s.offset, take, &out)) {
        break;
      }
    }
  }
  if (reply.expect_block && reply.stall_after < 0) {
    std::size_t pos = RequestRecordSize;
    if (size < pos + RequestRecordSize) {
      exchange.Abort("; connection ended before the block header");
    } else {
      BlockPlan plan = exchange.OnBlockHeader(input + pos, RequestRecordSize);
      pos += RequestRecordSize;
      if (plan.receive) {
        int64_t remaining = plan.bytes;
        bool ok = true;
        // Pieces of varying size, as a socket would deliver them.
        std::size_t piece = 1;
        while (ok && remaining > 0 && pos < size) {
          std::size_t take = std::min<std::size_t>({piece, size - pos, static_cast<std::size_t>(remaining)});
          ok = exchange.OnBlockData(input + pos, take);
          pos += take;
          remaining -= static_cast<int64_t>(take);
          piece = piece * 3 + 1;
        }
        if (ok && remaining == 0) {
          exchange.OnBlockComplete();
        } else if (ok) {
          exchange.Abort("; connection ended during the block");
        }
      }
    }
  }
  if (outcome) {
    *outcome = exchange.Outcome();
  }
  return out;
}

}  // namespace velmor_server
