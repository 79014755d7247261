// A raw TCP client of the display's HTTP server, for tests that send what a browser would not:
// requests in pieces, heads cut short, connections left open or reset.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace tabulo::container::raw {

// A connection to the loopback address of `family`, with a receive buffer of `receive_buffer`
// bytes when not 0; -1 when refused.
inline int Connect(int port, int receive_buffer = 0, int family = AF_INET) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sockaddr_in6 address6{};
  address6.sin6_family = AF_INET6;
  address6.sin6_port = address.sin_port;
  address6.sin6_addr = in6addr_loopback;
  const bool six = family == AF_INET6;
  if (::connect(
          fd, six ? reinterpret_cast<sockaddr*>(&address6) : reinterpret_cast<sockaddr*>(&address),
          six ? sizeof address6 : sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// `out` and what comes on `fd` until `until` has come (when given), `at_most` bytes are there,
// the server closes, or 20 s pass in silence.
inline std::string ReadUntil(int fd, const std::string& until = {}, std::string out = {},
                             size_t at_most = SIZE_MAX) {
  char buffer[4096];
  while (out.size() < at_most && (until.empty() || out.find(until) == std::string::npos)) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

// What the server sends on `fd` until it closes it (or 20 s of silence), or its first
// `at_most` bytes.
inline std::string ReadToEnd(int fd, size_t at_most = SIZE_MAX) {
  return ReadUntil(fd, {}, {}, at_most);
}

}  // namespace tabulo::container::raw
