#include "server/proxy_header.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const unsigned char V1Signature[] = {'P', 'R', 'O', 'X', 'Y', ' '};
const unsigned char V2Signature[] = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
// "PROXY TCP6 " + two full IPv6 addresses + two ports + spaces + CR LF.
constexpr std::size_t MaxV1Line = 107;

bool HasPrefix(const unsigned char* data, std::size_t size, const unsigned char* signature, std::size_t length) {
  return size > 0 && std::memcmp(data, signature, std::min(size, length)) == 0;
}

ProxyHeader Bad(const char* why) {
  ProxyHeader h;
  h.kind = ProxyHeaderKind::Bad;
  h.why = why;
  return h;
}

bool Port(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
      (text.size() > 1 && text[0] == '0')) {
    return false;
  }
  return std::stoi(text) <= 65535;
}

ProxyHeader ParseV1(const unsigned char* data, std::size_t size) {
  std::size_t end = 0;
  while (end + 1 < size && end + 2 <= MaxV1Line && !(data[end] == '\r' && data[end + 1] == '\n')) {
    ++end;
  }
  if (end + 1 >= size || data[end] != '\r' || data[end + 1] != '\n') {
    return Bad(size >= MaxV1Line ? "PROXY v1 header too long" : "PROXY v1 header cut short");
  }
  std::string line(reinterpret_cast<const char*>(data), end);
  std::vector<std::string> words;
  std::size_t start = 0;
  for (;;) {
    std::size_t space = line.find(' ', start);
    words.push_back(line.substr(start, space == std::string::npos ? std::string::npos : space - start));
    if (space == std::string::npos) break;
    start = space + 1;
  }
  ProxyHeader h;
  h.kind = ProxyHeaderKind::Header;
  h.length = end + 2;
  if (words.size() >= 2 && words[1] == "UNKNOWN") {
    return h; // the proxy does not know; the connection's address stands
  }
  int family = words.size() == 6 && words[1] == "TCP4" ? AF_INET : words.size() == 6 && words[1] == "TCP6" ? AF_INET6 : 0;
  unsigned char source[16], destination[16];
  if (!family || ::inet_pton(family, words[2].c_str(), source) != 1 ||
      ::inet_pton(family, words[3].c_str(), destination) != 1 || !Port(words[4]) || !Port(words[5])) {
    return Bad("malformed PROXY v1 header");
  }
  char text[INET6_ADDRSTRLEN];
  ::inet_ntop(family, source, text, sizeof text);
  h.address = text;
  return h;
}

ProxyHeader ParseV2(const unsigned char* data, std::size_t size) {
  if (size < 16) {
    return Bad("PROXY v2 header cut short");
  }
  unsigned version = data[12] >> 4, command = data[12] & 0x0F;
  std::size_t extra = (static_cast<std::size_t>(data[14]) << 8) | data[15];
  if (version != 2 || command > 1) {
    return Bad("malformed PROXY v2 header");
  }
  if (extra > MaxProxyV2Extra) {
    return Bad("PROXY v2 header too long");
  }
  if (size < 16 + extra) {
    return Bad("PROXY v2 header cut short");
  }
  ProxyHeader h;
  h.kind = ProxyHeaderKind::Header;
  h.length = 16 + extra;
  if (command == 0) {
    return h; // LOCAL: the proxy's own connection, a health check
  }
  char text[INET6_ADDRSTRLEN];
  switch (data[13]) {
    case 0x00: // UNSPEC
      return h;
    case 0x11: // TCP over IPv4: source, destination, ports
      if (extra < 12) return Bad("malformed PROXY v2 header");
      ::inet_ntop(AF_INET, data + 16, text, sizeof text);
      break;
    case 0x21: // TCP over IPv6
      if (extra < 36) return Bad("malformed PROXY v2 header");
      ::inet_ntop(AF_INET6, data + 16, text, sizeof text);
      break;
    default:
      return Bad("PROXY v2 header for other than TCP");
  }
  h.address = text;
  return h;
}

} // namespace

bool StartsLikeProxyHeader(const unsigned char* data, std::size_t size) {
  return HasPrefix(data, size, V1Signature, sizeof V1Signature) ||
         HasPrefix(data, size, V2Signature, sizeof V2Signature);
}

ProxyHeader ParseProxyHeader(const unsigned char* data, std::size_t size) {
  if (HasPrefix(data, size, V2Signature, sizeof V2Signature)) {
    return size < sizeof V2Signature ? Bad("PROXY v2 header cut short") : ParseV2(data, size);
  }
  if (HasPrefix(data, size, V1Signature, sizeof V1Signature)) {
    return size < sizeof V1Signature ? Bad("PROXY v1 header cut short") : ParseV1(data, size);
  }
  return ProxyHeader();
}
