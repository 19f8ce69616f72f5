// The connection layer's counters, and the switches tests turn (test_hooks.h, test_switches.h).
#include "adsi/test_hooks.h"

#include <sys/socket.h>

#include <atomic>

#include "adsi/dc_locator.h"
#include "adsi/failover.h"
#include "adsi/pool.h"
#include "adsi/root_entry.h"
#include "adsi/test_switches.h"

namespace winapi::adsi {

namespace {

std::atomic<size_t> openedCount{0};
std::atomic<size_t> sentCount{0};
thread_local size_t sentByThisThread = 0;
std::atomic<bool> plainTransport{false};
std::atomic<int> networkSecondsOverride{0};
std::atomic<int> operationSecondsOverride{0};

}  // namespace

void noteConnectionOpened() { ++openedCount; }

void countRequestSent() {
  ++sentCount;
  ++sentByThisThread;
}

WaitLimits waitLimitOverrides() { return {networkSecondsOverride.load(), operationSecondsOverride.load()}; }

bool plainTransportForTesting() { return plainTransport.load(); }

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
