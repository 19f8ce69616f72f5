// A server a connection goes to: a host and a port.
#pragma once
#include <string>

namespace winapi::adsi {

struct Endpoint {
  std::string host;  // resolved: never empty once a connection is asked for
  int port = 389;
};

// Port rule of the provider: LDAPS on 636 and 3269, StartTLS elsewhere.
bool usesLdaps(int port);
// The host in lower case and the port: one server, however its name was spelled.
std::string endpointKey(const Endpoint& endpoint);

}  // namespace winapi::adsi
