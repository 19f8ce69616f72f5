#include "trace/trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvistal::trace {

namespace detail {
std::atomic<int> level{0};
std::atomic<bool> settled{false};
}  // namespace detail

namespace {

constexpr std::uint64_t kDefaultMaxMegabytes = 64;

// Where the lines go. Every line is written whole under the lock, so lines of many threads never
// interleave; the file is flushed after each, so a crash loses none.
struct Sink {
  std::mutex mutex;
  std::FILE* file = nullptr;  // guarded by mutex
  bool toStderr = false;
  std::string path;
  std::uint64_t maxBytes = kDefaultMaxMegabytes << 20;
  std::uint64_t written = 0;  // guarded by mutex: bytes in the current file
};

Sink& sink() {
  static Sink* instance = new Sink();  // outlives every thread that may still write
  return *instance;
}

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::uint64_t parsedNumber(const std::string& text, std::uint64_t fallback) {
  if (text.empty() || text.size() > 9) return fallback;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value > 0 ? value : fallback;
}

bool openFileLocked(Sink* s) {
  s->file = std::fopen(s->path.c_str(), "ab");
  if (s->file == nullptr) return false;
  std::fseek(s->file, 0, SEEK_END);
  long size = std::ftell(s->file);
  s->written = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  return true;
}

// The file is full: it becomes <file>.1 and a new one is begun. Where it cannot be renamed (on
// Windows, while another process has it open) it is begun again empty, so the trace goes on within
// its bound; only a file that cannot be opened at all stops the lines.
void rotateLocked(Sink* s) {
  std::fclose(s->file);
  s->file = nullptr;
  std::string previous = s->path + ".1";
  std::remove(previous.c_str());
  if (std::rename(s->path.c_str(), previous.c_str()) == 0) {
    openFileLocked(s);
    return;
  }
  s->file = std::fopen(s->path.c_str(), "wb");
  s->written = 0;
}

void apply(const Settings& settings) {
  Sink& s = sink();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.file != nullptr && !s.toStderr) std::fclose(s.file);
  s.file = nullptr;
  s.toStderr = false;
  detail::level.store(0, std::memory_order_relaxed);
  if (settings.target.empty()) return;
  s.maxBytes = parsedNumber(settings.maxMegabytes, kDefaultMaxMegabytes) << 20;
  if (settings.target == "stderr") {
    s.toStderr = true;
    s.file = stderr;
  } else {
    s.path = settings.target;
    if (!openFileLocked(&s)) return;
  }
  detail::level.store(parsedNumber(settings.level, kCalls) >= kRequests ? kRequests : kCalls,
                      std::memory_order_relaxed);
}

// Days since 1970-01-01 as a civil date (proleptic Gregorian), by the era arithmetic of the
// calendar's 400-year cycle.
void civilDate(std::int64_t days, int* year, unsigned* month, unsigned* day) {
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  *year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0));
}

void appendTimestamp(std::string* line) {
  auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  std::int64_t days = ms / 86400000;
  std::int64_t msOfDay = ms % 86400000;
  int year = 0;
  unsigned month = 0, day = 0;
  civilDate(days, &year, &month, &day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%03uZ", year, month, day,
                static_cast<unsigned>(msOfDay / 3600000), static_cast<unsigned>(msOfDay / 60000 % 60),
                static_cast<unsigned>(msOfDay / 1000 % 60), static_cast<unsigned>(msOfDay % 1000));
  *line += text;
}

// A small number per thread, in the order threads first write: stable for the life of the thread.
unsigned threadNumber() {
  static std::atomic<unsigned> next{1};
  thread_local unsigned number = next.fetch_add(1, std::memory_order_relaxed);
  return number;
}

void appendEscaped(std::string* line, unsigned char c) {
  static const char hex[] = "0123456789ABCDEF";
  switch (c) {
    case '"': *line += "\\\""; return;
    case '\\': *line += "\\\\"; return;
    case '\n': *line += "\\n"; return;
    case '\r': *line += "\\r"; return;
    case '\t': *line += "\\t"; return;
    default: break;
  }
  if (c < 0x20 || c == 0x7f) {
    *line += "\\x";
    *line += hex[c >> 4];
    *line += hex[c & 15];
    return;
  }
  *line += static_cast<char>(c);
}

void appendCutNote(std::string* line, size_t leftOut) {
  *line += "...(";
  *line += std::to_string(leftOut);
  *line += " more bytes)";
}

void appendUtf8(std::string* out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    *out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    *out += static_cast<char>(0xC0 | (codePoint >> 6));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out += static_cast<char>(0xE0 | (codePoint >> 12));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (codePoint >> 18));
    *out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

thread_local std::string serverOfThisCall;

}  // namespace

Settings settingsFromEnvironment() {
  return Settings{environmentValue("ORVISTAL_TRACE"), environmentValue("ORVISTAL_TRACE_LEVEL"),
                  environmentValue("ORVISTAL_TRACE_MAX_MB")};
}

void settle(const Settings& settings) {
  static std::once_flag once;
  std::call_once(once, [&] {
    apply(settings);
    detail::settled.store(true, std::memory_order_release);
  });
}

void writeLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 40);
  appendTimestamp(&line);
  line += " t";
  line += std::to_string(threadNumber());
  line += ' ';
  line += text;
  line += '\n';
  Sink& s = sink();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.file == nullptr) return;
  if (!s.toStderr && s.written > 0 && s.written + line.size() > s.maxBytes) {
    rotateLocked(&s);
    if (s.file == nullptr) return;
  }
  std::fwrite(line.data(), 1, line.size(), s.file);
  std::fflush(s.file);
  s.written += line.size();
}

void appendQuoted(std::string* line, std::string_view utf8) {
  *line += '"';
  size_t shown = utf8.size() > kMaxQuoted ? kMaxQuoted : utf8.size();
  for (size_t i = 0; i < shown; ++i) appendEscaped(line, static_cast<unsigned char>(utf8[i]));
  if (shown < utf8.size()) appendCutNote(line, utf8.size() - shown);
  *line += '"';
}

void appendQuoted(std::string* line, const char16_t* text, size_t length) {
  std::string utf8;
  for (size_t i = 0; i < length; ++i) {
    std::uint32_t unit = text[i];
    bool pairs = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pairs) {
      appendUtf8(&utf8, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      appendUtf8(&utf8, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
  }
  appendQuoted(line, utf8);
}

void appendStatus(std::string* line, std::int32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  *line += text;
}

void appendServer(std::string* line, std::string_view host, int port) {
  for (size_t i = 0; i < host.size() && i < kMaxQuoted; ++i) appendEscaped(line, static_cast<unsigned char>(host[i]));
  *line += ':';
  *line += std::to_string(port);
}

void noteServer(std::string_view host, int port) {
  serverOfThisCall.clear();
  appendServer(&serverOfThisCall, host, port);
}

std::string takeServer() {
  std::string server;
  server.swap(serverOfThisCall);
  return server;
}

namespace testing {

void resettle(const Settings& settings) {
  apply(settings);
  detail::settled.store(true, std::memory_order_release);
}

}  // namespace testing

}  // namespace orvistal::trace
