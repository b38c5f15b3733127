// The PROXY protocol header (versions 1 and 2) that a load balancer such as
// HAProxy puts before the client's own bytes to name the real client.
//
// A proxy writes its header in one piece before anything else, so the
// server looks for it in the first read of a connection alone: a header
// that is cut short there (split across reads), too long or malformed
// closes the connection without an answer.
#pragma once
#include <cstddef>
#include <string>

enum class ProxyHeaderKind {
  None,   // the bytes do not start like a PROXY header
  Header, // a whole, well-formed header of `length` bytes
  Bad,    // starts like one but is cut short, too long or malformed
};

struct ProxyHeader {
  ProxyHeaderKind kind = ProxyHeaderKind::None;
  std::size_t length = 0;
  // The client's address as text; empty when the header names none (v1
  // UNKNOWN, v2 LOCAL such as a health check, v2 UNSPEC): the connection's
  // own address stands.
  std::string address;
  std::string why; // for Bad, what is wrong
};

// Bytes after the v2 signature and fixed part that a header may carry
// (addresses and extensions); more is refused as too long.
constexpr std::size_t MaxProxyV2Extra = 480;
constexpr std::size_t MaxProxyHeader = 16 + MaxProxyV2Extra;

ProxyHeader ParseProxyHeader(const unsigned char* data, std::size_t size);

// True when the bytes begin with a PROXY signature (as far as they go, at
// least one byte): what a client that is not a listed proxy may not send.
bool StartsLikeProxyHeader(const unsigned char* data, std::size_t size);
