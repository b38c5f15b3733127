#include "net/request_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> Encoded(const RequestRecord& record) {
  std::vector<unsigned char> bytes(RequestRecordSize);
  EncodeRequestRecord(record, bytes.data());
  return bytes;
}

TEST(RequestRecordCodec, LaysFieldsOutLittleEndianAtTheirOffsets) {
  RequestRecord r = EmptyRecord();
  std::memcpy(r.client_id, "1234567890", 11);
  r.magic1 = 7;
  r.magic2 = 3;
  r.code = 12;
  r.num1 = 0x01020304;
  r.num2 = -2;
  SetFieldText(r.text, RecordTextSize, "Humour", 6);
  std::vector<unsigned char> b = Encoded(r);

  ASSERT_EQ(b.size(), 90u);
  EXPECT_EQ(0, std::memcmp(b.data(), "1234567890\0\0\0\0\0\0\0\0\0\0", 20));
  const unsigned char ints[20] = {7, 0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(b.data() + 20, ints, sizeof ints));
  EXPECT_EQ(0, std::memcmp(b.data() + 40, "Humour", 6));
  for (int i = 46; i < 90; ++i) {
    EXPECT_EQ(0, b[i]) << "byte " << i;
  }
}

TEST(RequestRecordCodec, DecodeReadsWhatEncodeWroteWithExtremeNumbers) {
  RequestRecord r = EmptyRecord();
  std::memset(r.client_id, 'x', sizeof r.client_id); // no NUL inside
  r.magic1 = INT32_MIN;
  r.magic2 = INT32_MAX;
  r.code = -1;
  r.num1 = 0;
  r.num2 = 999999;
  std::memset(r.text, 'y', sizeof r.text);
  std::vector<unsigned char> b = Encoded(r);

  RequestRecord back;
  ASSERT_TRUE(DecodeRequestRecord(b.data(), b.size(), &back));
  EXPECT_EQ(0, std::memcmp(&back.client_id, &r.client_id, sizeof r.client_id));
  EXPECT_EQ(INT32_MIN, back.magic1);
  EXPECT_EQ(INT32_MAX, back.magic2);
  EXPECT_EQ(-1, back.code);
  EXPECT_EQ(0, back.num1);
  EXPECT_EQ(999999, back.num2);
  EXPECT_EQ(50u, FieldTextLength(back.text, RecordTextSize));
  EXPECT_EQ(20u, FieldTextLength(back.client_id, ClientIdFieldSize));
}

TEST(RequestRecordCodec, ShortInputReadsMissingFieldsAsZeroAndReportsIt) {
  unsigned char b[90];
  for (int i = 0; i < 90; ++i) b[i] = static_cast<unsigned char>(0xA0 + (i % 16));
  RequestRecord r;
  std::memset(&r, 0x55, sizeof r);
  // 30 bytes: client id, both magics and half of code.
  EXPECT_FALSE(DecodeRequestRecord(b, 30, &r));
  EXPECT_EQ(static_cast<char>(0xA0), r.client_id[0]);
  EXPECT_NE(0, r.magic2);
  EXPECT_EQ(0, r.code); // only two of its four bytes were there
  EXPECT_EQ(0, r.num1);
  EXPECT_EQ(0, r.num2);
  EXPECT_EQ(0u, FieldTextLength(r.text, RecordTextSize));

  EXPECT_FALSE(DecodeRequestRecord(nullptr, 90, &r));
  EXPECT_EQ(0, r.code);
  // Extra bytes beyond the record are not read.
  std::vector<unsigned char> longer(200, 0);
  longer[28] = 11;
  EXPECT_TRUE(DecodeRequestRecord(longer.data(), longer.size(), &r));
  EXPECT_EQ(11, r.code);
}

TEST(RequestRecordCursor, StickyErrorAndZerosPastTheEnd) {
  const unsigned char b[6] = {1, 0, 0, 0, 9, 9};
  ByteCursor c = CursorOver(b, sizeof b);
  EXPECT_EQ(1, CursorInt32(&c));
  EXPECT_FALSE(c.error);
  EXPECT_EQ(0, CursorInt32(&c)); // two bytes left: not a whole number
  EXPECT_TRUE(c.error);
  unsigned char out[3] = {7, 7, 7};
  CursorBytes(&c, out, 3);
  EXPECT_EQ(0, out[0] | out[1] | out[2]);
  EXPECT_TRUE(c.error);

  unsigned char small[5];
  ByteWriter w = WriterOver(small, sizeof small);
  WriterInt32(&w, -1);
  EXPECT_FALSE(w.error);
  WriterInt32(&w, 5);
  EXPECT_TRUE(w.error);
  EXPECT_EQ(4u, w.pos);
}

TEST(RequestRecordText, FieldTextIsCutPaddedAndCopiedSafely) {
  char field[RecordTextSize];
  std::memset(field, 'z', sizeof field);
  SetFieldText(field, sizeof field, "abc", 3);
  EXPECT_EQ(3u, FieldTextLength(field, sizeof field));
  for (std::size_t i = 3; i < sizeof field; ++i) EXPECT_EQ(0, field[i]);

  std::string sixty(60, 'q');
  sixty[49] = 'E';
  SetFieldText(field, sizeof field, sixty.c_str(), sixty.size());
  EXPECT_EQ(50u, FieldTextLength(field, sizeof field));
  EXPECT_EQ('E', field[49]);

  char out[10];
  EXPECT_EQ(9u, CopyFieldText(out, sizeof out, field, sizeof field));
  EXPECT_STREQ("qqqqqqqqq", out);
  char big[60];
  EXPECT_EQ(50u, CopyFieldText(big, sizeof big, field, sizeof field));
  EXPECT_EQ('\0', big[50]);
  EXPECT_EQ(0u, CopyFieldText(out, 0, field, sizeof field));
}

} // namespace
