#include "samba_processes.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace disruption {

namespace {

std::string runDirectory() {
  const char* dir = std::getenv("ORVISTAL_DC_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/var/tmp/orvistal-dc/run";
}

// The state letter and parent pid from /proc/<pid>/stat; the command name before them may hold
// spaces and parentheses, so they are read after the last ')'.
bool readStat(pid_t pid, char* state, pid_t* parent) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return false;
  size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(text.substr(close + 1));
  return static_cast<bool>(rest >> *state >> *parent);
}

bool isLive(pid_t pid) {
  char state = 0;
  pid_t parent = 0;
  return readStat(pid, &state, &parent) && state != 'Z' && state != 'X';
}

std::string executableName(pid_t pid) {
  char target[4096];
  ssize_t length = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target - 1);
  if (length <= 0) return "";
  std::string path(target, static_cast<size_t>(length));
  return path.substr(path.rfind('/') + 1);
}

std::map<pid_t, std::vector<pid_t>> childrenOfEveryProcess() {
  std::map<pid_t, std::vector<pid_t>> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    char state = 0;
    pid_t parent = 0;
    if (readStat(static_cast<pid_t>(pid), &state, &parent) && state != 'Z' && state != 'X')
      children[parent].push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return children;
}

}  // namespace

pid_t recordedSambaPid(const std::string& dc) {
  std::ifstream file(runDirectory() + (dc == "dc1" ? "/samba.pid" : "/samba-" + dc + ".pid"));
  long pid = 0;
  if (!(file >> pid) || pid <= 1) return 0;
  pid_t master = static_cast<pid_t>(pid);
  return isLive(master) && executableName(master) == "samba" ? master : 0;
}

std::vector<pid_t> sambaProcesses(const std::string& dc) {
  std::vector<pid_t> found;
  pid_t master = recordedSambaPid(dc);
  if (master == 0) return found;
  std::map<pid_t, std::vector<pid_t>> children = childrenOfEveryProcess();
  found.push_back(master);
  for (size_t next = 0; next < found.size(); ++next) {
    for (pid_t child : children[found[next]]) found.push_back(child);
  }
  return found;
}

std::vector<pid_t> stopSambaProcesses(const std::string& dc) {
  std::vector<pid_t> stopped;
  pid_t master = recordedSambaPid(dc);
  if (master == 0 || kill(master, SIGSTOP) != 0) return stopped;
  stopped.push_back(master);
  // A worker may have been forking while the master stopped: look again until a pass finds
  // nobody new (a handful of passes at most).
  for (int pass = 0; pass < 10; ++pass) {
    bool foundNew = false;
    for (pid_t pid : sambaProcesses(dc)) {
      if (std::find(stopped.begin(), stopped.end(), pid) != stopped.end()) continue;
      if (kill(pid, SIGSTOP) == 0) {
        stopped.push_back(pid);
        foundNew = true;
      }
    }
    if (!foundNew) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return stopped;
}

void signalEach(const std::vector<pid_t>& pids, int signal) {
  for (pid_t pid : pids) kill(pid, signal);
}

bool waitUntilGone(const std::vector<pid_t>& pids, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::none_of(pids.begin(), pids.end(), isLive)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int runStartScript(const std::string& command) {
  std::string line = "bash '" ORVISTAL_DC_SCRIPT "' " + command;
  int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool waitUntilAnswering(std::chrono::seconds limit, const std::string& dc) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (runStartScript("status " + dc + " >/dev/null 2>&1") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return false;
}

}  // namespace disruption
