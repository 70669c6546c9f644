#include "wizard/x_display.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using deadline_t = std::chrono::steady_clock::time_point;

// Address families of the authority file.
constexpr std::uint16_t family_internet = 0;
constexpr std::uint16_t family_internet6 = 6;
constexpr std::uint16_t family_local = 256;
constexpr std::uint16_t family_wild = 65535;

struct owned_socket {
  int fd;
  ~owned_socket() {
    if (fd >= 0) close(fd);
  }
};

int left_ms(deadline_t deadline) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return ms > 0 ? static_cast<int>(ms) : 0;
}

// True when anything happens on the socket before the deadline: the events
// asked for, a hang-up or an error.
bool wait_for(int fd, short events, deadline_t deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, left_ms(deadline));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// A connected socket, or -1. Non-blocking, so that a far end that never
// completes the connection costs no more than the deadline.
int connect_by(int family, const sockaddr* address, socklen_t size, deadline_t deadline) {
  int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  bool connected = connect(fd, address, size) == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR) && wait_for(fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t length = sizeof error;
    connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  if (connected) return fd;
  close(fd);
  return -1;
}

int connect_unix(const std::string& path, bool abstract, deadline_t deadline) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  // An abstract name starts with a zero byte and has no terminator.
  std::size_t skip = abstract ? 1 : 0;
  if (skip + path.size() >= sizeof a.sun_path) return -1;
  path.copy(a.sun_path + skip, path.size());
  socklen_t size = abstract ? static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + skip + path.size()) : sizeof a;
  return connect_by(AF_UNIX, reinterpret_cast<sockaddr*>(&a), size, deadline);
}

std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

struct x_authority {
  std::string name;
  std::string data;
};

// The cookie the user's authority file holds for the display, picked as X
// clients pick it; none when there is no file or no entry. Without it a
// server that wants one still answers (with a refusal), but a forwarding
// proxy may close the connection and complain on its terminal.
x_authority find_authority(std::uint16_t family, const std::string& address, const std::string& number) {
  std::string path;
  if (const char* file = std::getenv("XAUTHORITY"); file && *file)
    path = file;
  else if (const char* home = std::getenv("HOME"); home && *home)
    path = std::string(home) + "/.Xauthority";
  else
    return {};
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 0;
  auto card16 = [&](std::uint16_t& value) {
    if (bytes.size() - at < 2) return false;
    value = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]));
    at += 2;
    return true;
  };
  auto counted = [&](std::string& value) {
    std::uint16_t length = 0;
    if (!card16(length) || bytes.size() - at < length) return false;
    value = bytes.substr(at, length);
    at += length;
    return true;
  };
  for (;;) {
    std::uint16_t entry_family = 0;
    std::string entry_address, entry_number, entry_name, entry_data;
    if (!card16(entry_family) || !counted(entry_address) || !counted(entry_number) || !counted(entry_name) ||
        !counted(entry_data))
      return {};
    if ((entry_family == family_wild || (entry_family == family && entry_address == address)) &&
        (entry_number.empty() || entry_number == number) && entry_name == "MIT-MAGIC-COOKIE-1")
      return {entry_name, entry_data};
  }
}

// The authority file names a loopback peer as the local host.
x_authority authority_for_peer(const sockaddr* peer, const std::string& number) {
  const unsigned char* bytes = nullptr;
  bool six = false;
  if (peer->sa_family == AF_INET) {
    bytes = reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(peer)->sin_addr);
  } else if (peer->sa_family == AF_INET6) {
    const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&a)) return find_authority(family_local, host_name(), number);
    bytes = a.s6_addr;
    six = !IN6_IS_ADDR_V4MAPPED(&a);
    if (!six) bytes += 12;
  } else {
    return {};
  }
  if (!six && bytes[0] == 127) return find_authority(family_local, host_name(), number);
  return find_authority(six ? family_internet6 : family_internet,
                        std::string(reinterpret_cast<const char*>(bytes), six ? 16 : 4), number);
}

// Sends the connection setup request and waits for the first bytes of its
// reply. A connection closed by the far end ends the wait too.
bool setup_answered(int fd, const x_authority& authority, deadline_t deadline) {
  std::uint16_t one = 1;
  bool little = *reinterpret_cast<unsigned char*>(&one) == 1;
  // Byte order, unused, protocol 11.0, the two lengths, unused; the numbers
  // in this host's order, which the first byte names.
  std::string request(12, '\0');
  request[0] = little ? 'l' : 'B';
  auto put = [&](std::size_t at, std::size_t value) {
    std::uint16_t v = static_cast<std::uint16_t>(value);
    std::memcpy(&request[at], &v, 2);
  };
  put(2, 11);
  put(4, 0);
  put(6, authority.name.size());
  put(8, authority.data.size());
  auto padded = [](std::string s) {
    s.resize((s.size() + 3) / 4 * 4, '\0');
    return s;
  };
  request += padded(authority.name) + padded(authority.data);
  for (std::size_t sent = 0; sent < request.size();) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd, POLLOUT, deadline)) return false;
    } else {
      // Closed by the far end: that is seen below at once.
      break;
    }
  }
  return wait_for(fd, POLLIN, deadline);
}

}  // namespace

bool x_display_answers(const std::string& display, int wait_ms) {
  deadline_t deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  if (display.empty()) return false;
  if (display[0] == '/') return true;
  std::size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = display.substr(0, colon);
  std::string rest = display.substr(colon + 1);
  if (!host.empty() && host.back() == ':') return true;
  std::string protocol;
  if (std::size_t slash = host.find('/'); slash != std::string::npos) {
    protocol = host.substr(0, slash);
    host = host.substr(slash + 1);
  }
  std::size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
  if (digits == 0 || digits > 5 || (digits < rest.size() && rest[digits] != '.')) return false;
  std::string number = rest.substr(0, digits);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);

  if (protocol == "unix" || host.empty() || host == "unix") {
    // The abstract socket first, as X clients on Linux try it.
    std::string path = "/tmp/.X11-unix/X" + number;
    for (bool abstract : {true, false}) {
      owned_socket s{connect_unix(path, abstract, deadline)};
      if (s.fd >= 0) return setup_answered(s.fd, find_authority(family_local, host_name(), number), deadline);
    }
    if (!protocol.empty() || !host.empty()) return false;
    host = "localhost";
  }

  int port = 6000 + std::atoi(number.c_str());
  if (port > 65535) return false;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_family = protocol == "inet" ? AF_INET : protocol == "inet6" ? AF_INET6 : AF_UNSPEC;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answered = false;
  for (addrinfo* a = found; a; a = a->ai_next) {
    owned_socket s{connect_by(a->ai_family, a->ai_addr, a->ai_addrlen, deadline)};
    if (s.fd < 0) continue;
    answered = setup_answered(s.fd, authority_for_peer(a->ai_addr, number), deadline);
    break;
  }
  freeaddrinfo(found);
  return answered;
}
