// The operator's trace: what each native call was given and what it gave back (level 1), and
// each directory request and failover step under it (level 2), one whole line each, to a file or
// to stderr. Off unless configured; off, each call costs one atomic load.
//
// Settings, read once per process at the first native call (the environment wins over the
// Java system properties):
//   ORVISTAL_TRACE            or -Dorvistal.trace           a file to append to, or "stderr"
//   ORVISTAL_TRACE_LEVEL      or -Dorvistal.trace.level     1 (default) or 2
//   ORVISTAL_TRACE_MAX_MB     or -Dorvistal.trace.maxMb     size of the file before it is rotated
//                                                           (default 64): the file is renamed to
//                                                           <file>.1 (replacing the one before) and
//                                                           a new one begun, so the two hold at
//                                                           most twice that
// A line never holds a password or any other secret: callers pass only names, numbers, statuses
// and the server's diagnostic texts, and every text is quoted with its control characters escaped,
// so no value can start a line of its own.
//
// Shared by both builds: standard C++ only.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvistal::trace {

constexpr int kCalls = 1;     // one line per native call
constexpr int kRequests = 2;  // also each directory request and failover step

namespace detail {
extern std::atomic<int> level;
extern std::atomic<bool> settled;
}  // namespace detail

// Whether lines of this level are written.
inline bool on(int atLevel) { return detail::level.load(std::memory_order_relaxed) >= atLevel; }
// Whether the settings have been read (see settle).
inline bool settled() { return detail::settled.load(std::memory_order_acquire); }

// What the settings say, each empty when not given.
struct Settings {
  std::string target;
  std::string level;
  std::string maxMegabytes;
};
// The settings from the environment variables above.
Settings settingsFromEnvironment();
// Applies the settings once per process; later calls do nothing. An empty target leaves the trace
// off; a file that cannot be opened too (and nothing is written anywhere about it).
void settle(const Settings& settings);

// Writes one line: the time (UTC, milliseconds), the calling thread's number, then the text.
void writeLine(std::string_view text);

// Appends the text in double quotes, control characters, quotes and backslashes escaped, cut after
// kMaxQuoted bytes (the length left out is said).
constexpr size_t kMaxQuoted = 512;
void appendQuoted(std::string* line, std::string_view utf8);
// The same for UTF-16 text.
void appendQuoted(std::string* line, const char16_t* text, size_t length);
// host:port, the host escaped as quoted text is (a name a referral or DNS gave may hold any byte),
// cut as it is.
void appendServer(std::string* line, std::string_view host, int port);
// The status in hex, "0x8007052E".
void appendStatus(std::string* line, std::int32_t status);

// The server the calling thread's requests went to last, for its call's line: noted by the
// connection layer, taken (and forgotten) when the call ends.
void noteServer(std::string_view host, int port);
std::string takeServer();

// For tests: the settings applied again (settle otherwise runs once), and the file closed.
namespace testing {
void resettle(const Settings& settings);
}

}  // namespace orvistal::trace
