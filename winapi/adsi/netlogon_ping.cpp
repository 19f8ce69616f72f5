#include "adsi/netlogon_ping.h"

#include <lber.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "adsi/ldap_owners.h"
#include "adsi/text.h"

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
// Pointers followed within one name: more can only be a loop.
constexpr int maxNameJumps = 16;

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

// One name of the structure: labels, or a pointer to where the rest of the name stands.
bool readName(const unsigned char* base, size_t size, size_t* at, std::string* name) {
  name->clear();
  size_t position = *at;
  bool jumped = false;
  for (int jumps = 0;;) {
    if (position >= size) return false;
    unsigned char length = base[position];
    if (length == 0) {
      if (!jumped) *at = position + 1;
      return true;
    }
    if ((length & 0xc0) == 0xc0) {
      if (position + 1 >= size || ++jumps > maxNameJumps) return false;
      if (!jumped) *at = position + 2;
      jumped = true;
      position = static_cast<size_t>(length & 0x3f) << 8 | base[position + 1];
      continue;
    }
    if ((length & 0xc0) != 0 || position + 1 + length > size) return false;
    if (!name->empty()) *name += '.';
    name->append(reinterpret_cast<const char*>(base + position + 1), length);
    if (name->size() > 255) return false;
    position += 1 + length;
  }
}

uint32_t littleEndian32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
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
  berval* flat = nullptr;
  if (written < 0 || ber_flatten(ber.get(), &flat) != 0 || flat == nullptr) return datagram;
  datagram.assign(flat->bv_val, flat->bv_val + flat->bv_len);
  ber_bvfree(flat);
  return datagram;
}

bool parseSamLogonResponseEx(const unsigned char* data, size_t size, NetlogonAnswer* out) {
  // Opcode, Sbz, Flags, DomainGuid, then the names.
  if (size < 24) return false;
  uint16_t opcode = static_cast<uint16_t>(data[0] | data[1] << 8);
  if (opcode != responseExOpcode && opcode != userUnknownExOpcode) return false;
  NetlogonAnswer answer;
  answer.flags = littleEndian32(data + 4);
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
  bool answered = false;
  std::vector<unsigned char> answer(65536);
  for (addrinfo* address = found; address != nullptr && !answered; address = address->ai_next) {
    SocketOwner socket(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (socket.get() < 0 || connect(socket.get(), address->ai_addr, address->ai_addrlen) != 0) continue;
    if (send(socket.get(), request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) continue;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd ready{socket.get(), POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
      ssize_t got = recv(socket.get(), answer.data(), answer.size(), 0);
      if (got <= 0) break;
      // A stray datagram (an answer to an earlier ping) is passed over.
      if (parseNetlogonPingAnswer(answer.data(), static_cast<size_t>(got), messageId, out)) {
        answered = true;
        break;
      }
    }
  }
  freeaddrinfo(found);
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
