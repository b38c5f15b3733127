#include "net/request_record.h"

#include <cstring>

ByteCursor CursorOver(const void* data, std::size_t size) {
  ByteCursor cursor;
  cursor.data = static_cast<const unsigned char*>(data);
  cursor.size = data ? size : 0;
  cursor.pos = 0;
  cursor.error = false;
  return cursor;
}

void CursorBytes(ByteCursor* cursor, void* out, std::size_t count) {
  // All or nothing: a field that is not wholly there reads as zeros, so a
  // number is never assembled from some of its bytes.
  if (count > cursor->size - cursor->pos) {
    std::memset(out, 0, count);
    cursor->pos = cursor->size;
    cursor->error = true;
    return;
  }
  if (count > 0) {
    std::memcpy(out, cursor->data + cursor->pos, count);
  }
  cursor->pos += count;
}

int32_t CursorInt32(ByteCursor* cursor) {
  unsigned char b[4];
  CursorBytes(cursor, b, sizeof b);
  // Assemble in unsigned arithmetic, then convert: the conversion of a value
  // above INT32_MAX is two's complement in C++20 and on every compiler we use.
  uint32_t value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                   (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return static_cast<int32_t>(value);
}

ByteWriter WriterOver(void* data, std::size_t size) {
  ByteWriter writer;
  writer.data = static_cast<unsigned char*>(data);
  writer.size = data ? size : 0;
  writer.pos = 0;
  writer.error = false;
  return writer;
}

void WriterBytes(ByteWriter* writer, const void* bytes, std::size_t count) {
  std::size_t room = writer->size - writer->pos;
  if (count > room) {
    writer->error = true;
    return;
  }
  if (count > 0) {
    std::memcpy(writer->data + writer->pos, bytes, count);
  }
  writer->pos += count;
}

void WriterInt32(ByteWriter* writer, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  unsigned char b[4] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF),
                        static_cast<unsigned char>((v >> 16) & 0xFF),
                        static_cast<unsigned char>((v >> 24) & 0xFF)};
  WriterBytes(writer, b, sizeof b);
}

RequestRecord EmptyRecord() {
  RequestRecord record;
  std::memset(&record, 0, sizeof record);
  return record;
}

void EncodeRequestRecord(const RequestRecord& record, unsigned char out[RequestRecordSize]) {
  ByteWriter writer = WriterOver(out, RequestRecordSize);
  WriterBytes(&writer, record.client_id, ClientIdFieldSize);
  WriterInt32(&writer, record.magic1);
  WriterInt32(&writer, record.magic2);
  WriterInt32(&writer, record.code);
  WriterInt32(&writer, record.num1);
  WriterInt32(&writer, record.num2);
  WriterBytes(&writer, record.text, RecordTextSize);
}

bool DecodeRequestRecord(const void* data, std::size_t size, RequestRecord* out) {
  ByteCursor cursor = CursorOver(data, size < RequestRecordSize ? size : RequestRecordSize);
  CursorBytes(&cursor, out->client_id, ClientIdFieldSize);
  out->magic1 = CursorInt32(&cursor);
  out->magic2 = CursorInt32(&cursor);
  out->code = CursorInt32(&cursor);
  out->num1 = CursorInt32(&cursor);
  out->num2 = CursorInt32(&cursor);
  CursorBytes(&cursor, out->text, RecordTextSize);
  return !cursor.error;
}

std::size_t FieldTextLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, 0, width);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

void SetFieldText(char* field, std::size_t width, const char* text, std::size_t length) {
  std::size_t take = length < width ? length : width;
  if (take > 0) {
    std::memmove(field, text, take);
  }
  if (take < width) {
    std::memset(field + take, 0, width - take);
  }
}

std::size_t CopyFieldText(char* out, std::size_t outSize, const char* field, std::size_t width) {
  if (outSize == 0) {
    return 0;
  }
  std::size_t length = FieldTextLength(field, width);
  if (length > outSize - 1) {
    length = outSize - 1;
  }
  std::memcpy(out, field, length);
  out[length] = '\0';
  return length;
}
