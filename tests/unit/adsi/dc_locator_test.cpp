// The pure logic of finding and passing over domain controllers: RFC 2782 ordering of service
// records, the hosts of Kerberos kdc entries, and how long a server stays remembered as down.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "adsi/dc_locator.h"
#include "adsi/failover.h"
#include "adsi/transport.h"
#include "adsi/test_hooks.h"

namespace adsi = winapi::adsi;

namespace {

adsi::ServiceRecord record(int priority, int weight, const char* target) {
  adsi::ServiceRecord r;
  r.priority = priority;
  r.weight = weight;
  r.port = 389;
  r.target = target;
  return r;
}

std::vector<std::string> targets(const std::vector<adsi::ServiceRecord>& records) {
  std::vector<std::string> names;
  for (const auto& r : records) names.push_back(r.target);
  return names;
}

TEST(ServiceRecordOrder, LowerPriorityAlwaysComesFirstWhateverTheWeights) {
  auto ordered = adsi::orderServiceRecords(
      {record(20, 100, "late"), record(0, 0, "first"), record(10, 5, "middle")}, [](uint32_t n) { return n; });
  EXPECT_EQ(targets(ordered), (std::vector<std::string>{"first", "middle", "late"}));
}

TEST(ServiceRecordOrder, TheDrawPicksByRunningSumOfWeights) {
  std::vector<adsi::ServiceRecord> group = {record(0, 10, "a"), record(0, 30, "b"), record(0, 60, "c")};
  // Running sums 10, 40, 100: a draw of 11 lands on b, then (sum 70 left: a 10, c 70) 0 on a.
  std::vector<uint32_t> draws = {11, 0};
  size_t next = 0;
  auto ordered = adsi::orderServiceRecords(group, [&](uint32_t) { return draws[next++]; });
  EXPECT_EQ(targets(ordered), (std::vector<std::string>{"b", "a", "c"}));
}

TEST(ServiceRecordOrder, WeightsShareTheFirstPlaceInProportionAndZeroWeightIsRarelyFirst) {
  std::mt19937 generator(7);
  std::map<std::string, int> firsts;
  for (int i = 0; i < 6000; ++i) {
    auto ordered = adsi::orderServiceRecords(
        {record(0, 0, "spare"), record(0, 10, "small"), record(0, 50, "large")},
        [&](uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n)(generator); });
    ASSERT_EQ(ordered.size(), 3u);
    ++firsts[ordered.front().target];
  }
  EXPECT_NEAR(firsts["large"] / 6000.0, 50.0 / 61, 0.03);
  EXPECT_NEAR(firsts["small"] / 6000.0, 10.0 / 61, 0.03);
  EXPECT_LT(firsts["spare"], 300);
}

TEST(KdcEntries, HostsLoseTheirPortsAndAddressesKeepTheirColons) {
  EXPECT_EQ(adsi::hostOfKdcEntry("dc1.example.test"), "dc1.example.test");
  EXPECT_EQ(adsi::hostOfKdcEntry("  dc1.example.test:88 "), "dc1.example.test");
  EXPECT_EQ(adsi::hostOfKdcEntry("192.0.2.7:88"), "192.0.2.7");
  EXPECT_EQ(adsi::hostOfKdcEntry("[2001:db8::7]:88"), "2001:db8::7");
  EXPECT_EQ(adsi::hostOfKdcEntry("2001:db8::7"), "2001:db8::7");
  EXPECT_EQ(adsi::hostOfKdcEntry("https://kdc.example.test/KdcProxy"), "");
  EXPECT_EQ(adsi::hostOfKdcEntry("[2001:db8::7"), "");
}

TEST(DownServers, ADownServerIsPassedOverForTheDownPeriodThenTriedAgain) {
  adsi::DownServers down;
  auto start = adsi::DownServers::Clock::now();
  down.markDown("DC1.Example.Test", start);
  EXPECT_TRUE(down.isDown("dc1.example.test", start + std::chrono::seconds(adsi::defaultServerDownSeconds - 1)));
  EXPECT_FALSE(down.isDown("dc2.example.test", start));
  EXPECT_FALSE(down.isDown("dc1.example.test", start + std::chrono::seconds(adsi::defaultServerDownSeconds)));
  // Marked again while down: the period runs from the latest failure.
  down.markDown("dc1.example.test", start + std::chrono::seconds(20));
  EXPECT_TRUE(down.isDown("dc1.example.test", start + std::chrono::seconds(adsi::defaultServerDownSeconds + 5)));
}

}  // namespace

namespace {

constexpr HRESULT timedOut = static_cast<HRESULT>(0x800705B4);
constexpr HRESULT serverDown = static_cast<HRESULT>(0x8007203A);

TEST(Failover, ASilentHostIsPassedOverOnEveryPortThenSkippedUntilItsTimeIsUp) {
  adsi::testing::forgetDownServers();
  std::vector<adsi::Endpoint> candidates = {{"a.example.test", 636}, {"A.example.test", 389}, {"b.example.test", 389}};
  std::vector<std::string> asked;
  auto attempt = [&](const adsi::Endpoint& e) {
    asked.push_back(e.host + ":" + std::to_string(e.port));
    return e.host == "b.example.test" ? S_OK : timedOut;
  };
  EXPECT_EQ(adsi::firstAnswering(candidates, attempt), S_OK);
  EXPECT_EQ(asked, (std::vector<std::string>{"a.example.test:636", "b.example.test:389"}));
  asked.clear();
  EXPECT_EQ(adsi::firstAnswering(candidates, attempt), S_OK);
  EXPECT_EQ(asked, (std::vector<std::string>{"b.example.test:389"}));
  // Every candidate down, and tried a moment ago: the call fails at once, asking nobody.
  asked.clear();
  EXPECT_EQ(adsi::firstAnswering({{"a.example.test", 389}}, attempt), serverDown);
  EXPECT_TRUE(asked.empty());
  adsi::testing::forgetDownServers();
}

TEST(DownServers, OneProbeAtATimeAsksTheServerDownLongest) {
  adsi::DownServers down;
  auto start = adsi::DownServers::Clock::now();
  down.markDown("dc2", start);
  down.markDown("dc1", start + std::chrono::seconds(1));
  down.markDown("dc2", start + std::chrono::seconds(2));  // still down: keeps when it went down
  std::string chosen;
  auto probeTime = start + std::chrono::seconds(2 + adsi::probeIntervalSeconds);
  EXPECT_FALSE(down.claimProbe({"dc1", "dc2"}, start + std::chrono::seconds(3), &chosen)) << "tried a moment ago";
  ASSERT_TRUE(down.claimProbe({"dc1", "dc2"}, probeTime, &chosen));
  EXPECT_EQ(chosen, "dc2");
  EXPECT_FALSE(down.claimProbe({"dc1", "dc2"}, probeTime, &chosen)) << "one probe at a time";
  down.endProbe();
  EXPECT_TRUE(down.claimProbe({"dc1"}, probeTime, &chosen));
  EXPECT_EQ(chosen, "dc1");
}

TEST(Failover, BusyUnavailableAndRefusedTlsPassOverButAPasswordIsNeverSentTwice) {
  adsi::testing::forgetDownServers();
  constexpr HRESULT busy = static_cast<HRESULT>(0x8007200E);
  constexpr HRESULT unavailable = static_cast<HRESULT>(0x8007200F);
  std::vector<adsi::Endpoint> candidates = {{"a.example.test", 389}, {"b.example.test", 389}, {"c.example.test", 389}};
  std::vector<std::string> asked;
  auto attempt = [&](const adsi::Endpoint& e) {
    asked.push_back(e.host);
    return e.host == "a.example.test" ? busy : e.host == "b.example.test" ? unavailable : S_OK;
  };
  EXPECT_EQ(adsi::firstAnswering(candidates, attempt), S_OK);
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_FALSE(adsi::isServerDown(candidates[0])) << "busy is asked again next call";
  EXPECT_TRUE(adsi::isServerDown(candidates[1])) << "unavailable is remembered as down";
  adsi::testing::forgetDownServers();
  // A bind that carried a password and then timed out is not sent to the next server.
  asked.clear();
  auto passwordLost = [&](const adsi::Endpoint& e) {
    asked.push_back(e.host);
    adsi::notePasswordSent();
    return timedOut;
  };
  EXPECT_EQ(adsi::firstAnswering(candidates, passwordLost), timedOut);
  EXPECT_EQ(asked, std::vector<std::string>{"a.example.test"});
  adsi::testing::forgetDownServers();
}

TEST(Failover, AnAnswerThatIsNotSilenceEndsTheSearch) {
  adsi::testing::forgetDownServers();
  constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);
  int asked = 0;
  auto attempt = [&](const adsi::Endpoint&) {
    ++asked;
    return logonFailure;
  };
  EXPECT_EQ(adsi::firstAnswering({{"a.example.test", 389}, {"b.example.test", 389}}, attempt), logonFailure);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(adsi::isServerDown({"a.example.test", 389}));
}

}  // namespace
