// Password buffers are wiped whole: every byte of their capacity, not only the current text,
// since a shorter value may have been written over a longer one.
#include <gtest/gtest.h>

#include <string>

#include "adsi/text.h"
#include "directory/owners.h"

namespace {

TEST(SecretWipe, LibraryTextIsZeroedToItsWholeCapacity) {
  WideString password = u"A.Longer.Password.Written.First.123";
  password.assign(u"Short.1");  // keeps the older, longer text behind it
  const WCHAR* buffer = password.data();
  size_t capacity = password.capacity();
  ASSERT_GT(capacity, 30u);
  secureWipe(&password);
  EXPECT_TRUE(password.empty());
  ASSERT_EQ(password.data(), buffer) << "the wipe must not move the text before zeroing it";
  for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(buffer[i], 0) << "unit " << i;
}

TEST(SecretWipe, ProviderTextIsZeroedToItsWholeCapacity) {
  std::string password = "A.Longer.Password.Written.First.123";
  password.assign("Short.1");
  const char* buffer = password.data();
  size_t capacity = password.capacity();
  winapi::adsi::wipe(&password);
  EXPECT_TRUE(password.empty());
  ASSERT_EQ(password.data(), buffer);
  for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(buffer[i], 0) << "byte " << i;
}

TEST(SecretWipe, ShortTextInsideTheObjectIsZeroedToo) {
  WideString password = u"Pw1";
  const WCHAR* buffer = password.data();
  size_t capacity = password.capacity();
  secureWipe(&password);
  for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(buffer[i], 0) << "unit " << i;
}

}  // namespace
