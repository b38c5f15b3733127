// Activity log (for the user) and internal error log (for diagnosis).
//
// Activity lines go to the activity list and, when SaveLogToDisk starts with
// Y or y, to the log file as well. Internal lines always go to the log file.
// The log file is DataDirectory + LogBaseName + ".log", opened, appended and
// closed for every single line. None of these functions fails its caller.
#pragma once

extern char LogBaseName[32];   // "VelmorW" in every instance
extern char SaveLogToDisk[11]; // "Yes" / "No"; only the first character counts

constexpr int TimeStampLength = 20;

// Writes the 20-character stamp "%2d/%02d/%d %2d:%02d:%02d%c" of the current
// local time into out, which must hold at least 21 bytes.
void TimeStamp(char* out);

void LogActivity(const char* message);
void LogActivityCode(const char* message, int code);           // "%s error: %d"
void LogActivityPair(const char* first, const char* second);   // "%s %s"
void LogInternal(const char* message);                         // "VelmorW-" + message
void LogInternalCode(const char* message, int code);           // "%s (%d)"
void WriteLogFileLine(const char* text);
