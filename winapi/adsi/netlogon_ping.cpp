#include "adsi/netlogon_ping.h"

#include <arpa/nameser.h>
#include <errno.h>
#include <lber.h>
#include <netdb.h>
#include <resolv.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "adsi/ldap_owners.h"
#include "adsi/text.h"
#include "authz/bytes.h"

namespace winapi::adsi {

namespace {

constexpr ber_tag_t searchRequestTag = 0x63;
constexpr ber_tag_t searchEntryTag = 0x64;
constexpr ber_tag_t andFilterTag = 0xa0;
constexpr ber_tag_t equalityFilterTag = 0xa3;
// LOGON_SAM_LOGON_RESPONSE_EX, and LOGON_SAM_USER_UNKNOWN_EX (the same layout).
constexpr uint16_t responseExOpcode = 0x17;
constexpr uint16_t userUnknownExOpcode = 0x19;
// NETLOGON_NT_VERSION_5 | NETLOGON_NT_VERSION_5EX, little-endian.
const char wantedVersion[] = {0x06, 0x00, 0x00, 0x00};

class SocketOwner {
 public:
  explicit SocketOwner(int fd) : fd_(fd) {}
  ~SocketOwner() {
    if (fd_ >= 0) close(fd_);
  }
  SocketOwner(const SocketOwner&) = delete;
  SocketOwner& operator=(const SocketOwner&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// One name of the structure, compressed as DNS compresses names (pointers are offsets into the
// structure): the resolver library reads it, loops and bounds checked.
bool readName(const unsigned char* base, size_t size, size_t* at, std::string* name) {
  char text[NS_MAXDNAME];
  if (*at >= size) return false;
  int used = dn_expand(base, base + size, base + *at, text, sizeof text);
  if (used < 0) return false;
  *at += static_cast<size_t>(used);
  *name = text;
  return true;
}

using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// Waits for the socket to be readable, through signals (the JVM sends its threads some).
bool readableWithin(int socket, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{socket, POLLIN, 0};
    int outcome = poll(&ready, 1, static_cast<int>(left.count()));
    if (outcome > 0) return true;
    if (outcome == 0 || errno != EINTR) return false;
  }
}

}  // namespace

std::vector<unsigned char> netlogonPingRequest(const std::string& dnsDomain, int messageId) {
  BerElementOwner ber(ber_alloc_t(LBER_USE_DER));
  std::vector<unsigned char> datagram;
  if (ber.get() == nullptr) return datagram;
  // Base "" at base scope, never dereferencing, no size or time limit, values wanted.
  int written = ber_printf(ber.get(), "{it{seeiibt{t{ss}t{so}}{s}}}", messageId, searchRequestTag, "", 0, 0, 0, 0, 0,
                           andFilterTag,
                           equalityFilterTag, "DnsDomain", dnsDomain.c_str(), equalityFilterTag, "NtVer",
                           wantedVersion, static_cast<ber_len_t>(sizeof wantedVersion), "Netlogon");
  BerValue flat;
  if (written < 0 || ber_flatten(ber.get(), flat.put()) != 0 || flat.get() == nullptr) return datagram;
  datagram.assign(flat.get()->bv_val, flat.get()->bv_val + flat.get()->bv_len);
  return datagram;
}

bool parseSamLogonResponseEx(const unsigned char* data, size_t size, NetlogonAnswer* out) {
  // Opcode, Sbz, Flags, DomainGuid, then the names.
  if (size < 24) return false;
  uint16_t opcode = authz::readWord(data);
  if (opcode != responseExOpcode && opcode != userUnknownExOpcode) return false;
  NetlogonAnswer answer;
  answer.flags = authz::readDword(data + 4);
  size_t at = 24;
  std::string forest, netbiosDomain, netbiosComputer, user;
  std::string* names[] = {&forest,          &answer.dnsDomainName, &answer.dnsHostName, &netbiosDomain,
                          &netbiosComputer, &user,                 &answer.dcSiteName,  &answer.clientSiteName};
  for (std::string* name : names)
    if (!readName(data, size, &at, name)) return false;
  *out = std::move(answer);
  return true;
}

bool parseNetlogonPingAnswer(const unsigned char* data, size_t size, int messageId, NetlogonAnswer* out) {
  // liblber reads an empty buffer as none at all.
  if (size < 2) return false;
  berval datagram{static_cast<ber_len_t>(size), const_cast<char*>(reinterpret_cast<const char*>(data))};
  BerElementOwner ber(ber_init(&datagram));
  if (ber.get() == nullptr) return false;
  ber_int_t id = 0;
  ber_len_t length = 0;
  if (ber_scanf(ber.get(), "{i", &id) == LBER_ERROR || id != messageId) return false;
  if (ber_peek_tag(ber.get(), &length) != searchEntryTag) return false;
  berval dn{0, nullptr};
  if (ber_scanf(ber.get(), "{m", &dn) == LBER_ERROR) return false;  // the attributes follow
  char* last = nullptr;
  for (ber_tag_t tag = ber_first_element(ber.get(), &length, &last); tag != LBER_DEFAULT;
       tag = ber_next_element(ber.get(), &length, last)) {
    berval type{0, nullptr};
    BerVarrayOwner values;
    if (ber_scanf(ber.get(), "{m[W]}", &type, values.put()) == LBER_ERROR) return false;
    if (!equalsIgnoreCase(std::string_view(type.bv_val, type.bv_len), "Netlogon")) continue;
    const berval* first = values.get();
    return first != nullptr && first->bv_val != nullptr &&
           parseSamLogonResponseEx(reinterpret_cast<const unsigned char*>(first->bv_val), first->bv_len, out);
  }
  return false;
}

bool pingDomainController(const std::string& host, const std::string& dnsDomain, std::chrono::milliseconds timeout,
                          NetlogonAnswer* out) {
  thread_local std::mt19937 generator{std::random_device{}()};
  int messageId = std::uniform_int_distribution<int>(1, 0x7fffffff)(generator);
  std::vector<unsigned char> request = netlogonPingRequest(dnsDomain, messageId);
  if (request.empty()) return false;
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), "389", &hints, &found) != 0) return false;
  AddressList addresses(found, &freeaddrinfo);
  bool answered = false;
  std::vector<unsigned char> answer(65536);
  for (addrinfo* address = found; address != nullptr && !answered; address = address->ai_next) {
    SocketOwner socket(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (socket.get() < 0 || connect(socket.get(), address->ai_addr, address->ai_addrlen) != 0) continue;
    if (send(socket.get(), request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) continue;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readableWithin(socket.get(), deadline)) {
      ssize_t got = recv(socket.get(), answer.data(), answer.size(), 0);
      if (got <= 0) break;
      // A stray datagram (an answer to an earlier ping) is passed over.
      if (parseNetlogonPingAnswer(answer.data(), static_cast<size_t>(got), messageId, out)) {
        answered = true;
        break;
      }
    }
  }
  return answered;
}

bool isUsableSiteName(const std::string& site) {
  if (site.empty() || site.size() > 63) return false;
  for (char c : site) {
    bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '-' && c != '_') return false;
  }
  return true;
}

}  // namespace winapi::adsi
