// The locator against a hostile resolver: run under tests/locator/with-hostile-dns.sh (skipped
// elsewhere), whose DNS server names controllers outside the domain asked about, answers one
// domain with 300 controllers, and is then silenced.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "adsi/dc_locator.h"
#include "adsi/test_hooks.h"

namespace adsi = winapi::adsi;

namespace {

std::vector<std::string> hostsFor(const std::string& domain) {
  std::vector<adsi::Endpoint> found;
  std::vector<std::string> hosts;
  if (adsi::locateDomainControllers(domain, 0, &found) != S_OK) return hosts;
  for (const adsi::Endpoint& endpoint : found) hosts.push_back(endpoint.host);
  return hosts;
}

std::vector<std::string> bigDomainHosts() {
  std::vector<std::string> hosts;
  for (int i = 1; i <= 300; ++i) hosts.push_back("dc" + std::to_string(i) + ".big.test");
  return hosts;
}

TEST(HostileDns, TargetsOutsideTheDomainAreRefusedAnswersOfAnySizeReadAndTheLastGoodAnswerServes) {
  const char* pid = std::getenv("ORVISTAL_HOSTILE_DNS_PID");
  if (pid == nullptr) GTEST_SKIP() << "runs under tests/locator/with-hostile-dns.sh";
  adsi::testing::forgetLocatedDomains();

  // Only the target inside the domain; a name that merely starts with the domain is outside it.
  EXPECT_EQ(hostsFor("hostile.test"), std::vector<std::string>{"dc7.hostile.test"});
  std::vector<std::string> big = hostsFor("big.test");
  std::sort(big.begin(), big.end());
  std::vector<std::string> expected = bigDomainHosts();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(big, expected) << "an answer larger than a UDP datagram is read whole";

  // The resolver goes silent: due refreshes keep the last good answers.
  ASSERT_EQ(kill(std::atoi(pid), SIGTERM), 0);
  adsi::testing::expireLocatedDomains();
  EXPECT_EQ(hostsFor("hostile.test"), std::vector<std::string>{"dc7.hostile.test"});
  EXPECT_EQ(hostsFor("big.test").size(), 300u);
  // A domain never answered for has nothing to keep.
  std::vector<adsi::Endpoint> none;
  EXPECT_NE(adsi::locateDomainControllers("never.test", 0, &none), S_OK);
}

}  // namespace
