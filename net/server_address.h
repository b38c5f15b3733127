// Where the Velmor server is, as a small value the transport gets from its
// caller; telling a dotted IPv4 address from a host name, and reading the
// dotted form without any name lookup.
#pragma once

struct ServerAddress {
  const char* host;    // VServerID: a dotted IPv4 address or a host name
  const char* port;    // Port, as typed (read by ServerPortNumber)
  bool reloadLibrary;  // PlimSwitch: reload the sockets library before connecting
};

// The server of the settings (VServerID, Port, PlimSwitch as last loaded).
ServerAddress ConfiguredServer();

enum class ServerAddressKind {
  Dotted,       // out holds the four address bytes, first part first
  HostName,     // some character is neither a digit nor "."
  Unresolvable, // digits and dots only, but fewer than three dots or a part above 255
};

// Any character other than a decimal digit or "." (a space included) makes
// the text a host name. Otherwise the text is split at its first three dots;
// each part is read as a decimal number from its leading digits (an empty
// part reads as 0) and becomes one address byte in written order.
ServerAddressKind ParseServerAddress(const char* text, unsigned char out[4]);

// The port of the Port setting: read as every number setting is (leading
// white space, optional sign, digits), but a text without digits, or a value
// outside 1 to 65535, gives 0 instead of a port that wraps into another
// one; a connection is then not attempted.
int ServerPortNumber(const char* text);
