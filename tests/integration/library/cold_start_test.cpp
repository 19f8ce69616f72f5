// A service's first moments: a fresh process whose request threads all make their first call at
// once, with the same settings. Each burst runs in a process of its own (this binary, started
// again for one burst), because only the first connections of a process meet this way.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "library_env.h"
#include "objbase.h"

extern char** environ;

namespace {

constexpr int threadsPerBurst = 16;
constexpr int bursts = 20;
constexpr const char* burstSwitch = "ORVISTAL_COLD_START_BURST";

// One thread's first call: half bind the root entry as wInit does, half read an attribute of an
// organisational unit as wGetNodeAttributeString does.
HRESULT firstCall(int index) {
  HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  librarytest::Directory d;
  AdsiContext context = d.bound();
  HRESULT hr;
  if (index % 2 == 0) {
    ComPtr<IADs> root;
    hr = context.bindRootDse(root.put());
  } else {
    ComPtr<IADs> unit;
    hr = context.bindObject(u"OU=People,OU=Orvistal," + d.baseDn, unit.put());
    VARIANT value;
    VariantInit(&value);
    BSTR name = SysAllocString(u"ou");
    if (SUCCEEDED(hr)) hr = unit->Get(name, &value);
    SysFreeString(name);
    if (SUCCEEDED(hr) && (value.vt != VT_BSTR || std::u16string(value.bstrVal) != u"People")) hr = E_UNEXPECTED;
    VariantClear(&value);
  }
  if (SUCCEEDED(entered)) CoUninitialize();
  return hr;
}

// Started again with the burst switch set, this binary runs one burst and reports through its exit
// status; in an ordinary run the test has nothing to do.
TEST(ColdStart, OneBurstInThisProcess) {
  if (std::getenv(burstSwitch) == nullptr) GTEST_SKIP() << "runs only in a process started for one burst";
  std::vector<HRESULT> results(threadsPerBurst, E_FAIL);
  std::atomic<int> waiting{threadsPerBurst};
  std::vector<std::thread> threads;
  for (int i = 0; i < threadsPerBurst; ++i)
    threads.emplace_back([&, i] {
      // Released together, as far as the scheduler allows.
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      results[i] = firstCall(i);
    });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < threadsPerBurst; ++i) EXPECT_EQ(results[i], S_OK) << "thread " << i;
}

// An OpenLDAP configuration file that says nothing and takes a while to read: libldap reads it
// while it sets itself up in a new process, which widens the moment in which a thread that finds
// the set-up under way could see it unfinished.
std::string slowConfigurationFile() {
  std::string path = ::testing::TempDir() + "orvistal-cold-start-ldap.conf";
  std::ofstream file(path, std::ios::trunc);
  for (int line = 0; line < 400000; ++line) file << "# nothing configured here, line " << line << '\n';
  return path;
}

int runBurstProcess(const std::string& configuration) {
  std::string self = "/proc/self/exe";
  std::vector<std::string> arguments = {self, "--gtest_filter=ColdStart.OneBurstInThisProcess", "--gtest_brief=1"};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = {std::string(burstSwitch) + "=1", "LDAPCONF=" + configuration};
  for (char** variable = environ; *variable != nullptr; ++variable)
    if (std::string(*variable).rfind("LDAPCONF=", 0) != 0) variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_t child = -1;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ColdStart, ManyThreadsMakingTheirFirstCallAtOnceAllSucceed) {
  if (std::getenv(burstSwitch) != nullptr) GTEST_SKIP() << "the burst process runs no bursts of its own";
  ASSERT_FALSE(librarytest::env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
  std::string configuration = slowConfigurationFile();
  int failedBursts = 0;
  for (int burst = 0; burst < bursts; ++burst) {
    int status = runBurstProcess(configuration);
    EXPECT_EQ(status, 0) << "burst " << burst;
    if (status != 0) ++failedBursts;
  }
  EXPECT_EQ(failedBursts, 0) << "of " << bursts << " bursts of " << threadsPerBurst << " threads";
  std::remove(configuration.c_str());
}

}  // namespace
