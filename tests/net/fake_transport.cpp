#include "tests/net/fake_transport.h"

#include <cstring>

#include "net/request_record.h"
#include "net/transport.h"

FakePeer& Peer() {
  static FakePeer peer;
  return peer;
}

void ResetPeer() {
  Peer() = FakePeer();
  CancelTransfer = 0;
  Quitting = 0;
}

std::string RecordBytes(int code, int num1, int num2, const char* text) {
  RequestRecord record = EmptyRecord();
  record.code = code;
  record.num1 = num1;
  record.num2 = num2;
  SetFieldText(record.text, RecordTextSize, text, std::strlen(text));
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(record, wire);
  return std::string(reinterpret_cast<char*>(wire), RequestRecordSize);
}

std::string BlockBytes(const std::string& data, int chunk) {
  return RecordBytes(0, chunk, static_cast<int>(data.size())) + data;
}

std::string AllSent() {
  std::string all;
  for (const auto& s : Peer().sends) all += s;
  return all;
}

Socket OpenServerConnection(const ServerAddress&) {
  // Like the real one: a cancel of an earlier exchange does not carry over.
  CancelTransfer = 0;
  if (Peer().openResult >= 0) ++Peer().opens;
  return static_cast<Socket>(Peer().openResult);
}

void CloseServerConnection(Socket) { ++Peer().closes; }

// Like the real one: a quit fails at once, a cancel reads nothing, and a
// server that has nothing more to say fails the receive as a time-out would.
TransferResult ReceiveAll(Socket, char* buffer, int length, int) {
  FakePeer& peer = Peer();
  peer.receiveSizes.push_back(length);
  PumpMessages(10);
  if (Quitting == 1) return TransferResult::Quit;
  if (CancelTransfer == 1) return TransferResult::Cancelled;
  size_t left = peer.incoming.size() - peer.readPos;
  size_t take = left < static_cast<size_t>(length) ? left : static_cast<size_t>(length);
  std::memcpy(buffer, peer.incoming.data() + peer.readPos, take);
  peer.readPos += take;
  return take == static_cast<size_t>(length) ? TransferResult::Ok : TransferResult::TimedOut;
}

TransferResult SendAll(Socket, const char* bytes, int length, int) {
  FakePeer& peer = Peer();
  if (Quitting == 1) return TransferResult::Quit;
  if (peer.failSendsFrom >= 0 && static_cast<int>(peer.sends.size()) >= peer.failSendsFrom)
    return TransferResult::IoError;
  peer.sends.emplace_back(bytes, static_cast<size_t>(length));
  return TransferResult::Ok;
}

void PumpMessages(int) {
  FakePeer& peer = Peer();
  ++peer.pumps;
  if (peer.onPump) peer.onPump(peer.pumps);
}

int LastSocketError() { return Peer().lastError; }
