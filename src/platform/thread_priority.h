#pragma once

// Lowers the calling thread to the least urgent normal priority (nice 19
// under SCHED_OTHER). Not SCHED_IDLE: Linux starves such threads beside busy
// processes, where Windows would boost them. Threads created afterwards
// inherit it.
void LowerThreadToIdlePriority();
