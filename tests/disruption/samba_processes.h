// The test directory's processes, found by the pid its start script records and the /proc tree
// below it (samba forks its workers and renames them, so never by name), and the start script's
// own commands. A DC is named as the start script names it: "dc1" (the default) or "dc2".
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace disruption {

// The samba master process the start script recorded, or 0 when none is alive.
pid_t recordedSambaPid(const std::string& dc = "dc1");

// The master and every live process below it.
std::vector<pid_t> sambaProcesses(const std::string& dc = "dc1");

// Stops the master first (so it forks no new worker meanwhile), then every process below it.
// Returns the pids stopped, master first.
std::vector<pid_t> stopSambaProcesses(const std::string& dc = "dc1");

// Sends signal to each pid in turn.
void signalEach(const std::vector<pid_t>& pids, int signal);

// True once none of the pids is a live process (zombies count as gone), within the limit.
bool waitUntilGone(const std::vector<pid_t>& pids, std::chrono::milliseconds limit);

// Runs "dc.sh <command>" and gives its exit status.
int runStartScript(const std::string& command);

// True once "dc.sh status <dc>" reports the DC running and answering, within the limit.
bool waitUntilAnswering(std::chrono::seconds limit, const std::string& dc = "dc1");

}  // namespace disruption
