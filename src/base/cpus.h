// How many CPUs this process may use: the CPUs of its affinity mask
// (sched_getaffinity), lowered to its cgroup's quota (cpu.max, quota/period
// rounded up) when one is set; at least 1.
#pragma once

int UsableCpuCount();
// The quota part alone: `text` is the content of a cgroup v2 cpu.max file
// ("max 100000" or "150000 100000"); 0 when it sets no limit.
int CpuCountFromCgroupMax(const char* text);
