// The transport's tests never establish a client identity (they set
// ClientIdentity directly), but the basic settings that define it come with
// the identity code: an empty system profile satisfies the link.
#include "config/profile.h"

void ProfileRead(const char*, const char*, const char*, char* out, int size) {
  if (size > 0) out[0] = '\0';
}
int ProfileWrite(const char*, const char*, const char*, const char*) { return 0; }
int WindowsDirectory(char* out, int size) {
  if (size > 0) out[0] = '\0';
  return 0;
}
int FileLastWriteTime(const char*, uint32_t*) { return 0; }
