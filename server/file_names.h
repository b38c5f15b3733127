// The one rule for names of files that clients give and the moderation page
// handles, shared by the server and the page so that neither takes a name
// the other refuses.
#pragma once
#include <cstddef>
#include <string>

// A name a client may give a donated file: 1 to 50 bytes, no folder
// separators, drive letters or wildcards (/ \ : * ? " < > |), no control
// characters, not starting with a dot or a space and not ending in a dot
// or a space. why says what is wrong.
bool AcceptableFileName(const char* name, std::size_t length, std::string* why);
inline bool AcceptableFileName(const std::string& name) {
  std::string why;
  return AcceptableFileName(name.data(), name.size(), &why);
}

// Names starting with a dot are the server's own (".incoming", ".stats",
// donor records, locks, temporary files): never content, never a category,
// never listed.
inline bool ServerOwnName(const char* name) {
  return name[0] == '.';
}
