// The 90-byte record that opens every exchange with a Velmor server,
// answers it and announces every block.
//
// On the wire the record is, without gaps:
//   offset  0, 20 bytes  client_id  text, NUL-terminated
//   offset 20, int32     magic1     7 in everything a client sends
//   offset 24, int32     magic2     3 in everything a client sends
//   offset 28, int32     code       request type, response code or block status
//   offset 32, int32     num1       first number (chunk size in a block header)
//   offset 36, int32     num2       second number (total length in a block header)
//   offset 40, 50 bytes  text       NUL-terminated when shorter than 50 bytes
// Integers are 32-bit two's complement, little-endian, whatever the host.
//
// Portable: used by the Windows client and by the Linux server alike.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int RequestRecordSize = 90;
constexpr int ClientIdFieldSize = 20;
constexpr int RecordTextSize = 50;
constexpr int32_t RequestMagic1 = 7;
constexpr int32_t RequestMagic2 = 3;

// Request types (code of a request).
enum : int32_t {
  RequestQuote = 1,
  RequestPicture = 2,
  RequestSound = 3,
  RequestAddCategory = 6,
  RequestDonate = 7,
  RequestNews = 8,
  RequestTips = 9,
  RequestComment = 10,
  RequestPing = 11,
  RequestCategoryList = 12,
  RequestStatusLine = 13,
};

// Item types: the kinds of content. A content request's code is its type;
// category lists, donations and added categories name the type in num1 or
// num2.
enum ItemType : int32_t {
  ItemQuote = RequestQuote,
  ItemPicture = RequestPicture,
  ItemSound = RequestSound,
};

// Response codes (code of a response) and block statuses.
enum : int32_t {
  ResponseAccepted = 0,
  ResponseCannotHandle = 1,
  ResponseQuoteCategoryEmpty = 2,
  ResponseBusy = 3,
  ResponseUnavailable = 4,       // also block status: no data to send
  ResponseCannotCreate = 5,      // also block status: file not sendable
  ResponseNoResponse = 7,        // set by the client itself
  ResponsePictureCategoryEmpty = 8,
  ResponseSoundCategoryEmpty = 9,
  ResponseNameExists = 10,
};

struct RequestRecord {
  char client_id[ClientIdFieldSize];
  int32_t magic1;
  int32_t magic2;
  int32_t code;
  int32_t num1;
  int32_t num2;
  char text[RecordTextSize];
};

// Reads wire data front to back. A read that does not wholly fit before the
// end yields zero bytes (and so zero numbers) and sets the sticky error flag;
// the caller checks it once at the end.
struct ByteCursor {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos;
  bool error;
};

ByteCursor CursorOver(const void* data, std::size_t size);
void CursorBytes(ByteCursor* cursor, void* out, std::size_t count);
int32_t CursorInt32(ByteCursor* cursor);

// Writes wire data front to back into a fixed buffer. A write past the end is
// dropped and sets the sticky error flag.
struct ByteWriter {
  unsigned char* data;
  std::size_t size;
  std::size_t pos;
  bool error;
};

ByteWriter WriterOver(void* data, std::size_t size);
void WriterBytes(ByteWriter* writer, const void* bytes, std::size_t count);
void WriterInt32(ByteWriter* writer, int32_t value);

// A record with every byte zero.
RequestRecord EmptyRecord();

// Writes the 90 wire bytes of a record.
void EncodeRequestRecord(const RequestRecord& record, unsigned char out[RequestRecordSize]);

// Reads a record from the first 90 of size bytes. Returns true when all 90
// were there; with fewer, the missing fields read as zero and the result is
// false.
bool DecodeRequestRecord(const void* data, std::size_t size, RequestRecord* out);

// Length of the text in a fixed-width field: up to its first NUL, at most
// width (a full field carries no NUL).
std::size_t FieldTextLength(const char* field, std::size_t width);

// Stores length bytes of text in a fixed-width field: followed by a NUL and
// zero-filled when shorter than the field, cut to the field's width
// otherwise.
void SetFieldText(char* field, std::size_t width, const char* text, std::size_t length);

// Copies the text of a fixed-width field into out (outSize bytes, always
// NUL-terminated when outSize > 0; cut when it does not fit). Returns the
// number of characters copied.
std::size_t CopyFieldText(char* out, std::size_t outSize, const char* field, std::size_t width);
