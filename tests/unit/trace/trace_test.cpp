// The trace writer: what a value can do to a line, and the file's bound.
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "adsi/bind.h"
#include "adsi/bind_backoff.h"
#include "adsi/errors.h"

namespace trace = orvistal::trace;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Trace, ValuesCannotStartALineOrRunOn) {
  std::string line;
  trace::appendQuoted(&line, std::string_view("a\"b\\c\nd\re\x01", 10));
  EXPECT_EQ(line, "\"a\\\"b\\\\c\\nd\\re\\x01\"");
  line.clear();
  const char16_t text[] = {u'Z', 0x00EB, 0xD83D, 0xDE00, 0xD800, u'\n'};  // a pair, then a lone surrogate
  trace::appendQuoted(&line, text, 6);
  EXPECT_EQ(line, "\"Z\xC3\xAB\xF0\x9F\x98\x80\xEF\xBF\xBD\\n\"");
  line.clear();
  trace::appendQuoted(&line, std::string(trace::kMaxQuoted + 10, 'x'));
  EXPECT_EQ(line, "\"" + std::string(trace::kMaxQuoted, 'x') + "...(10 more bytes)\"");
  line.clear();
  trace::appendServer(&line, "dc1.example.test\nfake line", 636);  // a host a referral URL decoded
  EXPECT_EQ(line, "dc1.example.test\\nfake line:636");
}

TEST(Trace, TheFileIsRotatedAtItsBound) {
  std::string path = ::testing::TempDir() + "orvistal-trace-unit.log";
  std::remove(path.c_str());
  std::remove((path + ".1").c_str());
  trace::testing::resettle(trace::Settings{path, "2", "1"});
  ASSERT_TRUE(trace::on(trace::kRequests));
  std::string text(1000, 'y');
  for (int i = 0; i < 1100; ++i) trace::writeLine(text);  // a little more than 1 MB
  trace::testing::resettle(trace::Settings{});
  EXPECT_FALSE(trace::on(trace::kCalls));
  std::string rotated = readFile(path + ".1"), current = readFile(path);
  EXPECT_LE(rotated.size(), 1u << 20);
  EXPECT_GT(current.size(), 0u);
  // Every line whole, in one file or the other: time, thread number, text, newline.
  size_t lineLength = rotated.find('\n') + 1;
  EXPECT_EQ(lineLength, 24 + 4 + text.size() + 1);
  EXPECT_EQ(rotated.size() % lineLength, 0u);
  EXPECT_EQ(rotated.size() + current.size(), 1100 * lineLength);
  EXPECT_EQ(current.back(), '\n');
  std::remove(path.c_str());
  std::remove((path + ".1").c_str());
}

}  // namespace

namespace winapi::adsi {
namespace {

Credentials account(const char* password) {
  Credentials credentials;
  credentials.mode = BindMode::Simple;
  credentials.user = "svc@example.test";
  credentials.password = Secret(password);
  return credentials;
}

// The waits themselves are seconds long; here only what is held back and what is not.
TEST(BindBackoff, HoldsBackOnlyTheRefusedCredentialSetUntilItWorks) {
  testing::resetBindBackoff(60, 60);
  HRESULT refused = failLdap(LDAP_INVALID_CREDENTIALS, "80090308: LdapErr: ... data 52e, v1db1");
  Credentials wrong = account("wrong"), right = account("right");
  Endpoint dc{"dc1.example.test", 389, true, "example.test"}, otherDc{"dc2.example.test", 389, true, "example.test"};
  Endpoint otherDomain{"dc.other.test", 389, true, "other.test"};
  EXPECT_EQ(noteBindOutcome(dc, wrong, refused), refused);
  clearLastError();
  EXPECT_EQ(bindHeldBack(otherDc, wrong), refused) << "the domain's other controllers would count it too";
  EXPECT_EQ(lastError().code, static_cast<DWORD>(ERROR_LOGON_FAILURE)) << "recorded again for ADsGetLastError";
  EXPECT_EQ(bindHeldBack(dc, right), S_OK);
  EXPECT_EQ(bindHeldBack(otherDomain, wrong), S_OK) << "another domain did not refuse it";
  EXPECT_EQ(noteBindOutcome(dc, wrong, hresultFromLdapResult(LDAP_SERVER_DOWN)),
            hresultFromLdapResult(LDAP_SERVER_DOWN));
  EXPECT_EQ(bindHeldBack(dc, wrong), refused) << "a server that did not answer says nothing of the password";
  noteBindOutcome(dc, wrong, S_OK);
  EXPECT_EQ(bindHeldBack(dc, wrong), S_OK);
  testing::resetBindBackoff(0, 0);
  noteBindOutcome(dc, wrong, refused);
  EXPECT_EQ(bindHeldBack(dc, wrong), S_OK) << "turned off";
  testing::resetBindBackoff(-1, -1);
}

}  // namespace
}  // namespace winapi::adsi
