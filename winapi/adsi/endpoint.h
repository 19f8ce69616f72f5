// A server a connection goes to: a host and a port.
#pragma once
#include <string>

namespace winapi::adsi {

struct Endpoint {
  std::string host;  // resolved: never empty once a connection is asked for
  int port = 389;
  // False when the host is an address or a domain's own name rather than the controller's name
  // (a Kerberos bind needs that name: nameTheController, pool.h).
  bool namesController = true;
  // The domain (lower case) whose controllers it was located among; empty for a host named as
  // such. A domain's calls stay on the controller that answered last (dc_locator.h).
  std::string locatedFor = std::string();
};

// Port rule of the provider: LDAPS on 636 and 3269, StartTLS elsewhere.
bool usesLdaps(int port);
// The host in lower case and the port: one server, however its name was spelled.
std::string endpointKey(const Endpoint& endpoint);

}  // namespace winapi::adsi
