// What DNS says of a name, for the locator: service records and whether the name has addresses.
// A service question waits at most 2 s per try and 2 tries per DNS server, so that it fits a
// call's network bound. An address question goes through the system's resolver (the hosts file
// first) with its own waits, as libldap's connect resolves a host name too.
#pragma once
#include <string>
#include <vector>

namespace winapi::adsi {

struct ServiceRecord {
  int priority = 0;
  int weight = 0;
  int port = 0;
  std::string target;
};

// What a DNS question got: records, an answer that there are none (the name or the records do not
// exist), or no answer at all (a server failure, a time-out), which says nothing of the name.
enum class DnsAnswer { Records, NoRecords, Failed };

// The SRV records at the name, read whole whatever the answer's size (a domain of many
// controllers answers over TCP with far more than a UDP datagram holds).
DnsAnswer serviceRecordsOf(const std::string& name, std::vector<ServiceRecord>* records);
// Whether the name resolves to addresses.
DnsAnswer addressesOf(const std::string& name);

}  // namespace winapi::adsi
