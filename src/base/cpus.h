// How many CPUs this process may use: the CPUs of its affinity mask
// (sched_getaffinity), lowered to its cgroup's quota (cpu.max, quota/period
// rounded up) when one is set; at least 1. And how many threads the work on
// one image may take (the analysis's bands, the correction lattice): a
// process-wide budget, like the number of worker processes a run starts.
// The results never depend on it.
#pragma once

int UsableCpuCount();
// The quota part alone: `text` is the content of a cgroup v2 cpu.max file
// ("max 100000" or "150000 100000"); 0 when it sets no limit.
int CpuCountFromCgroupMax(const char* text);

// Threads one image's work may use, 1 or 2: 2 by default when the process
// may use more than one CPU. A command-line run whose worker processes
// already fill the CPUs it was given sets 1.
int HelperThreads();
void SetHelperThreads(int threads);
