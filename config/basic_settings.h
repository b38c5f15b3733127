// The five basic settings loaded at every start, and the client identity.
#pragma once

extern char ServerPort[11];     // Port, default "1123"
extern char ServerHost[191];    // VServerID
extern char PlimSwitch[11];     // "Yes" / "No"
extern char ClientIdentity[32]; // decimal, at most 10 digits

constexpr const char* DefaultServerHost = "localhost";

// Reads Directory, Port, VServerID, SaveLogToDisk and PlimSwitch (writing each
// missing one with its default, in that order) and establishes
// ClientIdentity.
void LoadBasicSettings(const char* fileName);
