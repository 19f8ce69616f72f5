#include "adsi/dns_records.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>

namespace winapi::adsi {

namespace {

// Glibc's resolver waits timeout x attempts for each server; a locator question must fit a call's
// network bound, so neither is taken above these.
constexpr int dnsSecondsPerTry = 2;
constexpr int dnsTries = 2;
// The largest DNS message there can be (over TCP).
constexpr size_t largestDnsMessage = 65535;

// The answer to one question, in a buffer as large as any DNS message (a domain of many
// controllers answers over TCP with far more than a UDP datagram's worth).
DnsAnswer queryService(const std::string& name, std::vector<unsigned char>* answer, int* length) {
  struct __res_state state {};
  if (res_ninit(&state) != 0) return DnsAnswer::Failed;
  state.retrans = std::min(state.retrans, dnsSecondsPerTry);
  state.retry = std::min(state.retry, dnsTries);
  answer->resize(largestDnsMessage);
  *length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer->data(), static_cast<int>(answer->size()));
  int failure = state.res_h_errno;
  res_nclose(&state);
  if (*length > 0) {
    // Never parse past what was received, whatever length the resolver claims.
    *length = std::min(*length, static_cast<int>(answer->size()));
    return DnsAnswer::Records;
  }
  return failure == HOST_NOT_FOUND || failure == NO_DATA ? DnsAnswer::NoRecords : DnsAnswer::Failed;
}

}  // namespace

DnsAnswer serviceRecordsOf(const std::string& name, std::vector<ServiceRecord>* records) {
  records->clear();
  std::vector<unsigned char> answer;
  int length = 0;
  DnsAnswer outcome = queryService(name, &answer, &length);
  if (outcome != DnsAnswer::Records) return outcome;
  ns_msg message;
  if (ns_initparse(answer.data(), length, &message) != 0) return DnsAnswer::Failed;
  for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
    ns_rr record;
    if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv || ns_rr_rdlen(record) < 7)
      continue;
    const unsigned char* data = ns_rr_rdata(record);
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0) continue;
    // "." as the target says the service is not offered at this name.
    if (target[0] == 0 || std::string(target) == ".") continue;
    ServiceRecord parsed;
    parsed.priority = (data[0] << 8) | data[1];
    parsed.weight = (data[2] << 8) | data[3];
    parsed.port = (data[4] << 8) | data[5];
    parsed.target = target;
    records->push_back(std::move(parsed));
  }
  return records->empty() ? DnsAnswer::NoRecords : DnsAnswer::Records;
}


DnsAnswer addressesOf(const std::string& name) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int failure = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (failure == 0) {
    freeaddrinfo(found);
    return DnsAnswer::Records;
  }
  return failure == EAI_AGAIN || failure == EAI_FAIL || failure == EAI_SYSTEM || failure == EAI_MEMORY
             ? DnsAnswer::Failed
             : DnsAnswer::NoRecords;
}

}  // namespace winapi::adsi
