// Arbitrary bytes through the record decoder and back: no read beyond the
// input, and a whole record encodes to exactly the bytes it came from.
#include "net/request_record.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RequestRecord record;
  bool whole = DecodeRequestRecord(data, size, &record);
  if (whole != (size >= RequestRecordSize)) {
    std::abort();
  }
  unsigned char again[RequestRecordSize];
  EncodeRequestRecord(record, again);
  if (whole && std::memcmp(again, data, RequestRecordSize) != 0) {
    std::abort();
  }
  if (FieldTextLength(record.text, RecordTextSize) > RecordTextSize ||
      FieldTextLength(record.client_id, ClientIdFieldSize) > ClientIdFieldSize) {
    std::abort();
  }
  char text[RecordTextSize + 1];
  CopyFieldText(text, sizeof text, record.text, RecordTextSize);
  if (std::strlen(text) > RecordTextSize) {
    std::abort();
  }
  return 0;
}
