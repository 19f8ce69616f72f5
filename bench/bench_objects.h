// The benchmarks' own objects in the test directory, below CN=Program Data (a place no test
// lists): 10,000 contacts for the large searches, 10,000 users for the bulk read, and the objects
// the writing cases change (a user and a group whose values they replace, a user whose password
// they change, a contact, and the container that the account cases add users to and delete them
// from). Made once per directory, by whichever program needs them first (the seeding adds only
// what is missing); later runs find them. The test command never makes the large sets: only the
// writable objects, which the operation-count test needs. Their names here (plain C++, for the
// floor too); their seeding in bench_seeding.h.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench::objects {

constexpr int contactCount = 10000;
constexpr int bulkUserCount = 10000;
constexpr int searchPageSize = 100;  // the library's page size, used by the floor and JNDI too

inline std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

inline std::string programData() { return "CN=Program Data," + env("ORVISTAL_TEST_BASE_DN"); }
inline std::string contactsContainer() { return "CN=orvistal-bench," + programData(); }
inline std::string bulkUsersContainer() { return "CN=orvistal-bench-users," + programData(); }
inline std::string writablesContainer() { return "CN=orvistal-bench-writes," + programData(); }
inline std::string writableUser() { return "CN=orvb-user," + writablesContainer(); }
inline std::string changingUser() { return "CN=orvb-change," + writablesContainer(); }
inline std::string writableGroup() { return "CN=orvb-group," + writablesContainer(); }
inline std::string writableNode() { return "CN=orvb-node," + writablesContainer(); }
// The password the changing user is given (by an administrator's reset) before a run changes it.
constexpr char changingUserPassword[] = "Bench.Change.Pw0";
constexpr char writableUserPassword[] = "Bench.User.Pw1";

// The contacts (a filter on the container's subtree) and the bulk users' names.
constexpr char contactFilter[] = "(objectClass=contact)";
constexpr char bulkUserFilter[] = "(objectClass=user)";
inline std::string bulkUserName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "orvb-u-%05d", i);
  return name;
}

// A password as the directory takes it in unicodePwd: the text in double quotes, UTF-16LE.
inline std::string unicodePwd(const std::string& password) {
  std::string quoted = "\"" + password + "\"", bytes;
  for (char c : quoted) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

}  // namespace bench::objects
