#include "net/transfer_result.h"

#include "diag/log.h"

namespace {

// Each operation's numbers, by result. The send-file numbers are negative
// so that they never meet the positive error numbers of a file that could
// not be opened.
struct OperationStatuses {
  int cancelled;
  int quit;
  int broken; // time-out, peer closed, socket error, unusable header
  int tooLarge;
  int fileError; // -1: the detail (an error number) is the status
  int refused;   // -1: the detail (the header's code) is the status
  const char* socketErrorLine;
  const char* quitLine;
};

const OperationStatuses& StatusesOf(BlockOperation operation) {
  static const OperationStatuses recvMemory = {11, 1, 7, 6, 7, 1, "Error on recieve during blockrecv",
                                               "Quit request during blockrecv"};
  static const OperationStatuses recvFile = {11, 1, 7, 6, 5, -1, "TCPIP error on recieve during blockrecv",
                                             "Quit request during blockrecv"};
  static const OperationStatuses sendFile = {-11, -7, -7, -7, -1, -5, "TCPIP error on send during blocksendfile",
                                             "Quit request during blocksendfile"};
  static const OperationStatuses sendData = {11, 1, 7, 7, 7, 4, "TCPIP error on send during blocksenddata",
                                             "Quit request during blocksenddata"};
  switch (operation) {
    case BlockOperation::RecvMemory:
      return recvMemory;
    case BlockOperation::RecvFile:
      return recvFile;
    case BlockOperation::SendFile:
      return sendFile;
    case BlockOperation::SendData:
      break;
  }
  return sendData;
}

}  // namespace

int BlockStatus(BlockOperation operation, TransferResult result, int detail) {
  const OperationStatuses& statuses = StatusesOf(operation);
  switch (result) {
    case TransferResult::Ok:
      return operation == BlockOperation::RecvMemory ? detail : 0;
    case TransferResult::Cancelled:
      return statuses.cancelled;
    case TransferResult::Quit:
      return statuses.quit;
    case TransferResult::TooLarge:
      return statuses.tooLarge;
    case TransferResult::FileError:
      return statuses.fileError == -1 ? detail : statuses.fileError;
    case TransferResult::Refused:
      return statuses.refused == -1 ? detail : statuses.refused;
    case TransferResult::TimedOut:
    case TransferResult::PeerClosed:
    case TransferResult::IoError:
      break;
  }
  return statuses.broken;
}

const char* BlockSocketErrorLine(BlockOperation operation) { return StatusesOf(operation).socketErrorLine; }

const char* BlockQuitLine(BlockOperation operation) { return StatusesOf(operation).quitLine; }

void LogRequestNotSent() { LogActivityCode("Error on send", -4); }

void LogResponseNotReceived() { LogActivityCode("Error on recv", -5); }
