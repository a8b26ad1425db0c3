// Dotted addresses in both directions and the texts of the error numbers.
#include "platform/sockets/WinSock.h"

#include <cstdint>

namespace winsock {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' ' && c != '\0'; }

int DigitValue(char c, int base) {
  int value = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : 99;
  return value < base ? value : -1;
}

// Reads one part (decimal, 0x hex or 0 octal) no larger than limit; any
// number of digits is read without overflow.
bool ReadPart(const char*& p, u_long limit, u_long& value) {
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0' && DigitValue(p[1], 10) >= 0) {
    base = 8;
    ++p;
  }
  if (DigitValue(*p, base) < 0) return false;
  std::uint64_t total = 0;
  for (int digit; (digit = DigitValue(*p, base)) >= 0; ++p) {
    total = total * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (total > limit) return false;
  }
  value = static_cast<u_long>(total);
  return true;
}

}  // namespace

u_long inet_addr(const char* cp) {
  if (cp == nullptr) return INADDR_NONE;
  const char* p = cp;
  while (IsBlank(*p)) ++p;
  u_long parts[4];
  int count = 0;
  for (;;) {
    // Every part but the last is one byte; the last fills what is left.
    if (!ReadPart(p, 0xffffffff, parts[count])) return INADDR_NONE;
    ++count;
    if (*p != '.') break;
    if (count == 4) return INADDR_NONE;
    ++p;
  }
  while (IsBlank(*p)) ++p;
  if (*p != '\0') return INADDR_NONE;
  u_long value = 0;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 0xff) return INADDR_NONE;
    value |= parts[i] << (24 - 8 * i);
  }
  const u_long lastLimit = count == 1 ? 0xffffffff : (u_long{1} << (8 * (5 - count))) - 1;
  if (parts[count - 1] > lastLimit) return INADDR_NONE;
  return htonl(value | parts[count - 1]);
}

// Written digit by digit: a formatted print costs more than a connect
// that asks for the text of its address.
char* inet_ntoa(in_addr in) {
  static thread_local char text[16];
  const u_long host = ntohl(in.s_addr);
  char* out = text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned part = (host >> shift) & 0xff;
    if (part >= 100) *out++ = static_cast<char>('0' + part / 100);
    if (part >= 10) *out++ = static_cast<char>('0' + part / 10 % 10);
    *out++ = static_cast<char>('0' + part % 10);
    *out++ = shift > 0 ? '.' : '\0';
  }
  return text;
}

const char* WSAErrorText(int error) {
  switch (error) {
    case 0: return "No Error";
    case WSAEINTR: return "Interrupted system call";
    case WSAEBADF: return "Bad file number";
    case WSAEACCES: return "Permission denied";
    case WSAEFAULT: return "Bad address";
    case WSAEINVAL: return "Invalid argument";
    case WSAEMFILE: return "Too many open files";
    case WSAEWOULDBLOCK: return "Operation would block";
    case WSAEINPROGRESS: return "Operation now in progress";
    case WSAEALREADY: return "Operation already in progress";
    case WSAENOTSOCK: return "Socket operation on non-socket";
    case WSAEDESTADDRREQ: return "Destination address required";
    case WSAEMSGSIZE: return "Message too long";
    case WSAEPROTOTYPE: return "Protocol wrong type for socket";
    case WSAENOPROTOOPT: return "Protocol not available";
    case WSAEPROTONOSUPPORT: return "Protocol not supported";
    case WSAESOCKTNOSUPPORT: return "Socket type not supported";
    case WSAEOPNOTSUPP: return "Operation not supported on socket";
    case WSAEPFNOSUPPORT: return "Protocol family not supported";
    case WSAEAFNOSUPPORT: return "Address family not supported by protocol family";
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Address not available";
    case WSAENETDOWN: return "Network is down";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAENETRESET: return "Network dropped connection on reset";
    case WSAECONNABORTED: return "Connection aborted";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAENOBUFS: return "No buffer space available";
    case WSAEISCONN: return "Socket is already connected";
    case WSAENOTCONN: return "Socket is not connected";
    case WSAESHUTDOWN: return "Can't send after socket shutdown";
    case WSAETOOMANYREFS: return "Too many references: can't splice";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAECONNREFUSED: return "Connection refused";
    case WSAELOOP: return "Too many levels of symbolic links";
    case WSAENAMETOOLONG: return "File name too long";
    case WSAEHOSTDOWN: return "Host is down";
    case WSAEHOSTUNREACH: return "No route to host";
    case WSAENOTEMPTY: return "Directory not empty";
    case WSAEPROCLIM: return "Too many processes";
    case WSAEUSERS: return "Too many users";
    case WSAEDQUOT: return "Disc quota exceeded";
    case WSAESTALE: return "Stale NFS file handle";
    case WSAEREMOTE: return "Too many levels of remote in path";
    case WSASYSNOTREADY: return "Network sub-system is unusable";
    case WSAVERNOTSUPPORTED: return "WinSock DLL cannot support this application";
    case WSANOTINITIALISED: return "WinSock not initialized";
    case WSAHOST_NOT_FOUND: return "Host not found";
    case WSATRY_AGAIN: return "Non-authoritative host not found";
    case WSANO_RECOVERY: return "Non-recoverable error";
    case WSANO_DATA: return "No Data";
    default: return "Not a WinSock error";
  }
}

}  // namespace winsock
