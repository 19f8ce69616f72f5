// The seam tests replace in the connection layer, and its counters (test_hooks.h is their public
// face). The layer asks the installed seam; production installs none, and the default answers are
// production's own: TLS on, the configured wait limits, the directory's values, logons as they come.
// Only test_hooks.cpp installs another.
#pragma once
#include <string>
#include <vector>

#include "adsi/transport.h"

namespace winapi::adsi {

class ProviderSeam {
 public:
  virtual ~ProviderSeam() = default;
  // Connections without TLS, to show that a password is then refused before it is sent.
  virtual bool plainTransport() const { return false; }
  // Wait limits in place of the configured ones (0: the configured one).
  virtual WaitLimits waitLimits() const { return {0, 0}; }
  // Values in place of the directory's for this attribute of this entry, for faults the directory
  // will not hold (a malformed descriptor, say); false keeps the directory's.
  virtual bool replaceValues(LDAP*, LDAPMessage*, const char*, std::vector<std::string>*) const { return false; }
  // LogonUserW fails without setting a last error, as no real logon does.
  virtual bool logonFailsWithoutError() const { return false; }
};

// The seam in force: the one installed, else production's.
const ProviderSeam& seam();
// Installs a seam for the rest of the process (test_hooks.cpp only).
void installSeam(const ProviderSeam* replacement);

void noteConnectionOpened();
void countRequestSent();

}  // namespace winapi::adsi
