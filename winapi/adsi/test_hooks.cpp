// The connection layer's counters, and the switches tests turn (test_hooks.h, test_switches.h).
#include "adsi/test_hooks.h"

#include <sys/socket.h>

#include <atomic>
#include <mutex>

#include "adsi/dc_locator.h"
#include "adsi/failover.h"
#include "adsi/pool.h"
#include "adsi/root_entry.h"
#include "adsi/test_switches.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

std::atomic<size_t> openedCount{0};
std::atomic<size_t> sentCount{0};
thread_local size_t sentByThisThread = 0;
std::atomic<bool> plainTransport{false};
std::atomic<int> networkSecondsOverride{0};
std::atomic<int> operationSecondsOverride{0};
std::atomic<bool> logonFailsWithoutError{false};

struct ValueReplacement {
  std::atomic<bool> active{false};  // read by every value read; the rest only while it is set
  std::mutex mutex;
  std::string dn, attribute;  // guarded by mutex
  std::vector<std::string> values;  // guarded by mutex
};

ValueReplacement& valueReplacement() {
  static ValueReplacement* instance = new ValueReplacement();
  return *instance;
}

}  // namespace

void noteConnectionOpened() { ++openedCount; }

void countRequestSent() {
  ++sentCount;
  ++sentByThisThread;
}

WaitLimits waitLimitOverrides() { return {networkSecondsOverride.load(), operationSecondsOverride.load()}; }

bool plainTransportForTesting() { return plainTransport.load(); }

bool replacedValuesForTesting(LDAP* ld, LDAPMessage* entry, const char* attribute, std::vector<std::string>* values) {
  ValueReplacement& replacement = valueReplacement();
  if (!replacement.active.load()) return false;
  std::lock_guard<std::mutex> lock(replacement.mutex);
  if (!equalsIgnoreCase(attribute, replacement.attribute)) return false;
  LdapString dn(ldap_get_dn(ld, entry));
  if (!dn || !equalsIgnoreCase(dn.get(), replacement.dn)) return false;
  *values = replacement.values;
  return true;
}

bool logonFailsWithoutErrorForTesting() { return logonFailsWithoutError.load(); }

namespace testing {

size_t connectionsOpened() { return openedCount.load(); }

size_t operationsSent() { return sentCount.load(); }

size_t operationsSentByThisThread() { return sentByThisThread; }

void setWaitLimitsForTesting(int networkSeconds, int operationSeconds) {
  networkSecondsOverride = networkSeconds;
  operationSecondsOverride = operationSeconds;
}

size_t idleVerificationConnections() { return idleLeaseCount(); }

void clearPool() {
  closePooledConnections();
  forgetRootEntries();
  dropIdleLeases(std::string());
  forgetDownServers();
  forgetLocatedDomains();
}

void setPlainTransportForTesting(bool plain) { plainTransport = plain; }

void replaceValuesForTesting(const std::string& dn, const std::string& attribute, std::vector<std::string> values) {
  ValueReplacement& replacement = valueReplacement();
  std::lock_guard<std::mutex> lock(replacement.mutex);
  replacement.dn = dn;
  replacement.attribute = attribute;
  replacement.values = std::move(values);
  replacement.active = !dn.empty();
}

void setLogonFailsWithoutErrorForTesting(bool fails) { logonFailsWithoutError = fails; }

void setIdleLimitForTesting(int seconds) { setIdleLimitOverride(seconds < 0 ? -1 : seconds); }

void severPooledConnections() {
  for (const auto& connection : pooledConnections()) {
    int descriptor = -1;
    if (ldap_get_option(connection->handle(), LDAP_OPT_DESC, &descriptor) == LDAP_OPT_SUCCESS && descriptor >= 0)
      shutdown(descriptor, SHUT_RDWR);
  }
}

}  // namespace testing

}  // namespace winapi::adsi
