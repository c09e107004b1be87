#pragma once

#include <functional>

// The diary's background threads are the least urgent on the machine, yet
// never starved: the lowest normal priority (nice 19 under SCHED_OTHER), not
// SCHED_IDLE, which Linux leaves without the processor for as long as
// anything else wants it.
//
// Lowers the calling thread for good: an unprivileged thread never comes
// back from nice 19, and every thread it creates starts at nice 19 too.
void LowerThreadToIdlePriority();

// Runs `fn` at the priority the process started with and waits for it: on
// the calling thread unless that was lowered, else on a helper thread made
// before the first lowering. For calls that start threads of their own which
// must not inherit the lowest priority (GStreamer's streaming threads).
void RunAtDefaultPriority(const std::function<void()>& fn);

// The calling thread's nice value.
int ThreadNiceValue();
