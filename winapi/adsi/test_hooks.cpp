// The connection layer's counters, and the seam whose switches tests turn (test_hooks.h,
// test_switches.h).
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
struct ValueReplacement {
  std::mutex mutex;
  std::string dn, attribute;        // guarded by mutex
  std::vector<std::string> values;  // guarded by mutex
};

// The seam the tests turn: each switch off until a test turns it.
class TestSeam final : public ProviderSeam {
 public:
  bool plainTransport() const override { return plain.load(); }
  WaitLimits waitLimits() const override { return {networkSeconds.load(), operationSeconds.load()}; }
  bool replaceValues(LDAP* ld, LDAPMessage* entry, const char* attribute,
                     std::vector<std::string>* values) const override {
    if (!replacing.load()) return false;
    std::lock_guard<std::mutex> lock(replacement.mutex);
    if (!equalsIgnoreCase(attribute, replacement.attribute)) return false;
    LdapString dn(ldap_get_dn(ld, entry));
    if (!dn || !equalsIgnoreCase(dn.get(), replacement.dn)) return false;
    *values = replacement.values;
    return true;
  }
  bool logonFailsWithoutError() const override { return logonFails.load(); }

  std::atomic<bool> plain{false};
  std::atomic<int> networkSeconds{0};
  std::atomic<int> operationSeconds{0};
  std::atomic<bool> replacing{false};  // read by every value read; the replacement only while it is set
  mutable ValueReplacement replacement;
  std::atomic<bool> logonFails{false};
};

// Installed by the first switch a test turns, and kept for the life of the process.
TestSeam& testSeam() {
  static TestSeam* instance = [] {
    auto* created = new TestSeam();
    installSeam(created);
    return created;
  }();
  return *instance;
}

const ProviderSeam productionSeam;
std::atomic<const ProviderSeam*> installedSeam{&productionSeam};

}  // namespace

const ProviderSeam& seam() { return *installedSeam.load(std::memory_order_acquire); }

void installSeam(const ProviderSeam* replacement) {
  installedSeam.store(replacement != nullptr ? replacement : &productionSeam, std::memory_order_release);
}

void noteConnectionOpened() { ++openedCount; }

void countRequestSent() {
  ++sentCount;
  ++sentByThisThread;
}

namespace testing {

size_t connectionsOpened() { return openedCount.load(); }

size_t operationsSent() { return sentCount.load(); }

size_t operationsSentByThisThread() { return sentByThisThread; }

void setWaitLimitsForTesting(int networkSeconds, int operationSeconds) {
  testSeam().networkSeconds = networkSeconds;
  testSeam().operationSeconds = operationSeconds;
}

size_t idleVerificationConnections() { return idleLeaseCount(); }

void clearPool() {
  closePooledConnections();
  forgetRootEntries();
  dropIdleLeases(std::string());
  forgetDownServers();
  forgetLocatedDomains();
}

void setPlainTransportForTesting(bool plain) { testSeam().plain = plain; }

void replaceValuesForTesting(const std::string& dn, const std::string& attribute, std::vector<std::string> values) {
  TestSeam& turned = testSeam();
  std::lock_guard<std::mutex> lock(turned.replacement.mutex);
  turned.replacement.dn = dn;
  turned.replacement.attribute = attribute;
  turned.replacement.values = std::move(values);
  turned.replacing = !dn.empty();
}

void setLogonFailsWithoutErrorForTesting(bool fails) { testSeam().logonFails = fails; }

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
