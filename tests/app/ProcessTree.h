// Processes of a test's child as /proc shows them: the browser's helpers (QtWebEngineProcess)
// a kavreto process started, its renderer, and whether they still run after it has gone.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A process, told apart from a later one that reuses its id by its start time.
struct ProcessRef {
  pid_t pid = 0;
  unsigned long long startTime = 0;
};

// Every living descendant of `root` (not `root` itself).
std::vector<ProcessRef> Descendants(pid_t root);
// The descendants of `root` whose command is the browser's helper program.
std::vector<ProcessRef> BrowserHelpers(pid_t root);
// The renderer of `root`'s browser: a helper started by another helper (the zygote); 0 if none.
pid_t FindRenderer(pid_t root);
// True while the process runs (a zombie does not count).
bool Running(const ProcessRef& process);
// Waits up to `timeoutMs` until none of `processes` runs; false on timeout.
bool WaitUntilNoneRuns(const std::vector<ProcessRef>& processes, int timeoutMs);
// Waits up to `timeoutMs` until `condition` holds, polling every 20 ms.
bool PollUntil(const std::function<bool()>& condition, int timeoutMs);
