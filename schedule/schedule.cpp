#include "schedule/schedule.h"

#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "config/settings_table.h"
#include "diag/log.h"
#include "net/request_protocol.h"
#include "net/server_exchange.h"
#include "net/transfer_result.h"
#include "net/transport.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "schedule/status_line.h"

int32_t TrailerBase = 0;
bool TrailerFetched = false;

namespace {

constexpr int32_t TrailerRetrySeconds = 1200;
constexpr int32_t TrailerPeriodSeconds = 86400;

// The row's key read from the view when there is one (a tick), else from
// the file. 1 when the key exists.
int ReadItemKey(const ConfigView* view, int row, const char* prefix, char* out, std::size_t size) {
  out[0] = '\0';
  char key[ItemKeySize];
  if (!ItemKeyOf(key, sizeof key, prefix, row)) return 0;
  return view ? ConfigViewGet(view, out, size, key) : ConfigGet(out, size, key, ConfigFileName);
}

// Absent keys and text without digits count as 0.
int ReadItemNumber(const ConfigView* view, int row, const char* prefix, std::size_t size) {
  char value[52];
  if (size > sizeof value) size = sizeof value;
  ReadItemKey(view, row, prefix, value, size);
  return DecimalValue(value);
}

bool WindowOpen(const ConfigView* view, int row) {
  constexpr std::size_t WindowValueSize = 52;
  if (ReadItemNumber(view, row, EnablestPrefix, WindowValueSize) == 0) return true;
  int startHour = ReadItemNumber(view, row, StarthPrefix, WindowValueSize);
  int startMinute = ReadItemNumber(view, row, StartmPrefix, WindowValueSize);
  int endHour = ReadItemNumber(view, row, EndhPrefix, WindowValueSize);
  int endMinute = ReadItemNumber(view, row, EndmPrefix, WindowValueSize);
  ClockParts now;
  ClockSplit(ClockNow(), &now);
  if (now.hour < startHour || (now.hour == startHour && now.minute < startMinute)) return false;
  if (now.hour > endHour || (now.hour == endHour && now.minute > endMinute)) return false;
  return true;
}

bool Due(const ConfigView* view, int32_t minuteNow, int row) {
  if (!ItemTable[row].update) return false;
  char value[32];
  ReadItemKey(view, row, TimePrefix, value, sizeof value);
  int32_t last = DecimalValue(value);
  bool hasInterval = ReadItemKey(view, row, IntervalPrefix, value, sizeof value) != 0;
  int32_t interval = DecimalValue(value);
  char selection[100];
  if (!ReadItemKey(view, row, SelectPrefix, selection, sizeof selection) || !TrimSpaces(selection)[0])
    hasInterval = false;
  if (!hasInterval || interval <= 0) return false;
  // In 64 bits: a Time far in the future (the clock was moved back, or the
  // file says so) waits rather than wrapping round to due.
  if (int64_t(minuteNow) < int64_t(last) + interval) return false;
  return WindowOpen(view, row);
}

// Clock values wrap in 32 bits (January 2038); so does their difference,
// which keeps it right across the wrap and free of overflow.
int32_t SecondsSince(int32_t base, int32_t now) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(base));
}

void LogEvent(const char* format, const char* name) {
  char line[200];
  std::snprintf(line, sizeof line, format, name);
  LogActivity(line);
}

}  // namespace

void TrailerPaceStart() {
  TrailerBase = ClockNow();
  TrailerFetched = false;
}

bool TimeWindowOpen(int row) { return WindowOpen(nullptr, row); }

void RecordRun(int row, int32_t minute) {
  char key[ItemKeySize];
  if (!ItemKeyOf(key, sizeof key, TimePrefix, row)) return;
  char value[16];
  std::snprintf(value, sizeof value, "%ld", static_cast<long>(minute));
  ConfigSet(key, value, ConfigFileName);
}

void ScheduleTick() {
  TrailerPace();
  // One read of the file and of the clock for the whole walk. Both are read
  // again after every update operation, which waits on the network and
  // pumps messages, so that later rows see the file and the minute as they
  // are when they are tested.
  ConfigView view;
  ConfigViewLoad(&view, ConfigFileName);
  int32_t minuteNow = MinuteNow();
  for (int row = 0; row < MaxItems && ItemTable[row].name; ++row) {
    if (!Due(&view, minuteNow, row)) continue;
    LogEvent("Event triggered: %s", ItemTable[row].name);
    int result = ItemTable[row].update(row);
    if (result != 0) RecordRun(row, MinuteNow());
    LogEvent("Event ended: %s", ItemTable[row].name);
    ConfigViewRelease(&view);
    ConfigViewLoad(&view, ConfigFileName);
    minuteNow = MinuteNow();
  }
  ConfigViewRelease(&view);
}

bool TrailerFetch() {
  RequestRecord record = EmptyRecord();
  record.code = RequestStatusLine;
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), &record, &failure);
  if (s < 0) return false;
  // The text field is NUL-terminated only when shorter than its 50 bytes.
  char text[RecordTextSize + 1] = "";
  if (record.code == ResponseAccepted) {
    std::size_t n = strnlen(record.text, RecordTextSize);
    std::memcpy(text, record.text, n);
    text[n] = '\0';
  }
  WriteSetting(Setting::Trailer, text);
  CloseServerConnection(s);
  return true;
}

void TrailerPace() {
  int32_t now = ClockNow();
  if (!TrailerFetched && SecondsSince(TrailerBase, now) > TrailerRetrySeconds) {
    if (TrailerFetch()) {
      TrailerFetched = true;
      TrailerShow();
    } else {
      TrailerBase = now;
    }
  }
  if (TrailerFetched && SecondsSince(TrailerBase, now) > TrailerPeriodSeconds) {
    TrailerBase = now;
    TrailerFetched = false;
  }
}

void TrailerShow() {
  char text[200];
  if (!ReadSetting(Setting::Trailer, text, sizeof text) || !TrimSpaces(text)[0]) {
    ShowStatusLineLabel(nullptr);
    return;
  }
  ShowStatusLineLabel(text);
}
