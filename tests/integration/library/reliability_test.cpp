// The connection layer under hostile input and many threads, against the test directory:
// oversized and NUL-bearing input never reaches the server, a connection the server drops
// under several callers costs none of them a wrong answer, and a long run leaks nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "adsi/text.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"
#include "library_env.h"
#include "objbase.h"

namespace adsi = winapi::adsi;
using librarytest::Directory;

namespace {

constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);
constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);

// Each thread of these tests enters its own apartment, as every native call does.
class Apartment {
 public:
  Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

class Reliability : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(d.server.empty()) << "the test directory's environment is not set"; }

  Apartment apartment;
  Directory d;
};

std::u16string withJunkAfterNul(const std::u16string& text) {
  std::u16string result = text;
  result += u'\0';
  result += u"junk";
  return result;
}

// Resolves alice's account name as wGetUserDsn does.
HRESULT resolveAlice(const Directory& d) {
  AdsiContext context = d.bound();
  WideString logonName, dn;
  HRESULT status = context.resolveUser(u"alice", u"", &logonName, &dn);
  if (SUCCEEDED(status) && dn != d.aliceDn()) return E_UNEXPECTED;  // a wrong answer is worse than none
  return status;
}

TEST_F(Reliability, OversizedInputIsRefusedBeforeAnythingIsSent) {
  ASSERT_EQ(resolveAlice(d), S_OK);  // warm: the pool and the root entry are ready
  std::u16string huge(2'000'000, u'a');
  size_t sent = adsi::testing::operationsSentByThisThread();
  AdsiContext context = d.bound();
  WideString logonName, dn;
  EXPECT_EQ(context.resolveUser(huge, u"", &logonName, &dn), E_INVALIDARG);
  EXPECT_EQ(context.resolveUser(u"alice", huge, &logonName, &dn), E_INVALIDARG);
  EXPECT_EQ(context.resolveGroup(huge, &dn), E_INVALIDARG);
  EXPECT_EQ(context.verifyPassword(u"alice@" + d.domain, u"", huge), E_INVALIDARG);
  EXPECT_EQ(context.verifyPassword(u"alice@" + d.domain, huge, u"Alice.Pw.123"), E_INVALIDARG);
  ComPtr<IADs> object;
  EXPECT_EQ(context.bindObject(u"CN=" + huge + u"," + d.baseDn, object.put()), E_INVALIDARG);
  NameTranslator translator(d.bindUser, d.bindPassword, d.server, false);
  WideString out;
  EXPECT_EQ(translator.translate(&out, huge, ADS_NAME_TYPE_UNKNOWN, ADS_NAME_TYPE_1779), E_INVALIDARG);
  EXPECT_EQ(adsi::testing::operationsSentByThisThread(), sent) << "nothing was sent";
  // A bind account or password beyond the bound goes no further either.
  AdsiContext oversizedAccount = d.boundWith(huge, d.bindPassword);
  ComPtr<IADs> root;
  EXPECT_EQ(oversizedAccount.bindRootDse(root.put()), E_INVALIDARG);
  AdsiContext oversizedPassword = d.boundWith(d.bindUser, huge);
  EXPECT_EQ(oversizedPassword.bindRootDse(root.put()), E_INVALIDARG);
  EXPECT_EQ(adsi::testing::operationsSentByThisThread(), sent);
}

TEST_F(Reliability, ANulNeverCutsANameOrPasswordShort) {
  ASSERT_EQ(resolveAlice(d), S_OK);
  size_t opened = adsi::testing::connectionsOpened();
  size_t sent = adsi::testing::operationsSentByThisThread();
  ComPtr<IADs> root;
  // The right password with junk after a NUL is not the right password.
  EXPECT_EQ(d.boundWith(d.bindUser, withJunkAfterNul(d.bindPassword)).bindRootDse(root.put()), logonFailure);
  EXPECT_EQ(d.boundWith(withJunkAfterNul(d.bindUser), d.bindPassword).bindRootDse(root.put()), logonFailure);
  AdsiContext context = d.bound();
  EXPECT_EQ(context.verifyPassword(u"alice@" + d.domain, u"", withJunkAfterNul(u"Alice.Pw.123")), logonFailure);
  EXPECT_EQ(context.verifyPassword(withJunkAfterNul(u"alice@" + d.domain), u"", u"Alice.Pw.123"), logonFailure);
  EXPECT_EQ(adsi::testing::operationsSentByThisThread(), sent) << "refused before anything was sent";
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened);
  // A name with junk after a NUL names nothing, not the name before the NUL.
  ComPtr<IADs> object;
  EXPECT_EQ(context.bindObject(withJunkAfterNul(d.aliceDn()), object.put()), noSuchObject);
  WideString dn;
  HRESULT group = context.resolveGroup(withJunkAfterNul(u"CN=g-devs,OU=Groups,OU=Orvistal," + d.baseDn), &dn);
  EXPECT_TRUE(FAILED(group)) << std::hex << group;
  EXPECT_TRUE(dn.empty());
  // The verification itself still works with the right password.
  EXPECT_EQ(context.verifyPassword(u"alice@" + d.domain, u"", u"Alice.Pw.123"), S_OK);
}

TEST_F(Reliability, ANameOutsideTheForestIsNeverBound) {
  AdsiContext context = d.bound();
  ComPtr<IADs> object;
  ASSERT_EQ(context.bindObject(d.aliceDn(), object.put()), S_OK);  // warm: the forest's domains are known
  size_t sent = adsi::testing::operationsSentByThisThread();
  for (const WideString& dn : std::vector<WideString>{u"CN=x,DC=attacker,DC=example", u"CN=x,DC=sub," + d.baseDn,
                               u"<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=attacker,DC=example>"})
    EXPECT_EQ(context.bindObject(dn, object.put()), noSuchObject);
  EXPECT_EQ(adsi::testing::operationsSentByThisThread(), sent) << "refused before it was bound";
  EXPECT_EQ(context.bindObject(d.aliceDn(), object.put()), S_OK);
}

TEST_F(Reliability, ANamedAccountWithAnEmptyPasswordOpensNoConnection) {
  size_t opened = adsi::testing::connectionsOpened();
  size_t sent = adsi::testing::operationsSentByThisThread();
  std::u16string path = u"LDAP://" + d.server + u"/RootDSE";
  ComPtr<IADs> root;
  EXPECT_EQ(ADsOpenObject(path.c_str(), d.bindUser.c_str(), u"", ADS_SECURE_AUTHENTICATION, IID_IADs, root.putVoid()),
            logonFailure);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened) << "an unauthenticated bind is never even attempted";
  EXPECT_EQ(adsi::testing::operationsSentByThisThread(), sent);
}

// Runs body over and over on each of count threads, each in its own apartment, until the deadline.
template <typename Body>
void onThreads(int count, std::chrono::steady_clock::time_point deadline, Body body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      Apartment apartment;
      while (std::chrono::steady_clock::now() < deadline) body(i);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

TEST_F(Reliability, OversizedRequestsBesideGoodCallsCostNobodyAnything) {
  ASSERT_EQ(resolveAlice(d), S_OK);
  std::atomic<int> good{0}, failed{0}, oversized{0};
  std::atomic<long> slowestMs{0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  std::u16string huge(2'000'000, u'x');
  onThreads(9, deadline, [&](int thread) {
    if (thread == 8) {
      AdsiContext context = d.bound();
      WideString logonName, dn;
      if (context.resolveUser(huge, u"", &logonName, &dn) == E_INVALIDARG) ++oversized;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return;
    }
    auto start = std::chrono::steady_clock::now();
    HRESULT status = resolveAlice(d);
    long ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (ms > slowestMs.load()) slowestMs = ms;
    (status == S_OK ? good : failed)++;
  });
  EXPECT_GT(oversized.load(), 10);
  EXPECT_GT(good.load(), 50);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_LT(slowestMs.load(), 10'000) << "no good call waits out a limit";
}

TEST_F(Reliability, ConnectionsDroppedUnderManyCallersCostReadsAlmostNothing) {
  ASSERT_EQ(resolveAlice(d), S_OK);
  std::atomic<int> good{0}, lost{0}, other{0}, severed{0};
  std::atomic<HRESULT> otherStatus{S_OK};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  onThreads(9, deadline, [&](int thread) {
    if (thread == 8) {
      // The server closing every pooled connection under its callers, as a restart would,
      // again and again.
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      adsi::testing::severPooledConnections();
      ++severed;
      return;
    }
    HRESULT status = resolveAlice(d);
    if (status == S_OK) {
      ++good;
    } else if (status == static_cast<HRESULT>(0x8007203A)) {
      ++lost;
    } else {
      ++other;
      otherStatus = status;
    }
  });
  EXPECT_GT(severed.load(), 10);
  EXPECT_GT(good.load(), 100);
  // Every step of a resolution is a read, and a read whose pooled connection died under it is
  // made once more on a new connection: only a new connection cut in its turn before it answers
  // (a second "restart" within the same call) can still lose a call, as a lost server.
  EXPECT_LE(lost.load() * 100, good.load()) << lost.load() << " of " << good.load() + lost.load();
  EXPECT_EQ(other.load(), 0) << "a status other than success or a lost server: " << std::hex << otherStatus.load();
  EXPECT_EQ(resolveAlice(d), S_OK);
}

#if defined(__SANITIZE_THREAD__)
constexpr bool underThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool underThreadSanitizer = true;
#else
constexpr bool underThreadSanitizer = false;
#endif
#else
constexpr bool underThreadSanitizer = false;
#endif

size_t openDescriptors() {
  size_t count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

long statusField(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

TEST_F(Reliability, AThirtyTwoThreadSoakHoldsDescriptorsThreadsAndMemoryFlat) {
  std::atomic<int> wrong{0}, calls{0};
  std::atomic<int> lastWrongCase{-1};
  std::atomic<HRESULT> lastWrongStatus{S_OK};
  auto mix = [&](int thread) {
    AdsiContext context = d.bound();
    WideString logonName, dn;
    HRESULT status = S_OK;
    int which = (calls++ + thread) % 4;
    auto noteWrong = [&] {
      ++wrong;
      lastWrongCase = which;
      lastWrongStatus = status;
    };
    switch (which) {
      case 0:
        status = context.resolveUser(u"alice", u"", &logonName, &dn);
        if (status == S_OK && dn != d.aliceDn()) noteWrong();
        break;
      case 1:
        status = context.resolveUser(d.netbios + u"\\bob", u"", &logonName, &dn);
        break;
      case 2:
        status = context.resolveGroup(u"g-devs", &dn);
        break;
      default:
        status = context.verifyPassword(u"alice@" + d.domain, u"", thread % 2 ? u"Alice.Pw.123" : u"Wrong.Pw.1");
        if ((status == S_OK) != (thread % 2 == 1)) noteWrong();
        return;
    }
    if (FAILED(status)) noteWrong();
  };
  // Warm: every pooled and kept connection the mix needs is open.
  onThreads(32, std::chrono::steady_clock::now() + std::chrono::seconds(4), mix);
  size_t descriptors = openDescriptors();
  long rssKb = statusField("VmRSS");
  long threads = statusField("Threads");
  onThreads(32, std::chrono::steady_clock::now() + std::chrono::seconds(12), mix);
  EXPECT_EQ(wrong.load(), 0) << "case " << lastWrongCase.load() << " status " << std::hex << lastWrongStatus.load();
  EXPECT_GT(calls.load(), 200);
  EXPECT_LE(openDescriptors(), descriptors + 4) << "connections are reused, not piled up";
  EXPECT_EQ(statusField("Threads"), threads) << "the library starts no threads";
  // Under ThreadSanitizer the resident size is mostly its own shadow and history, which grow
  // with every address and lock the run touches: only the plain build measures the library.
  if (!underThreadSanitizer) {
    EXPECT_LE(statusField("VmRSS"), rssKb + 16 * 1024) << "resident memory stays flat once warm";
  }
}

}  // namespace
