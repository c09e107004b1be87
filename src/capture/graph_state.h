#pragma once

#include <atomic>
#include <mutex>

// State of the main capture graph that every consumer of frames tests.
struct GraphState {
    // Held by every frame grab from its first step to its last, including a
    // recovery build inside the grab.
    std::recursive_timed_mutex lock;
    // Set as the last step but one of a successful build, cleared at the
    // start of every build and release.
    std::atomic<bool> ready{false};
    // The main window lives in the tray (or there is no window): the picture
    // store's and the snapshot's grabs stop the graph again afterwards.
    std::atomic<bool> minimised{false};
    // A recovery build found the camera gone (unplugged): there is no graph,
    // yet the picture store goes on through its recoveries, which build it
    // again once the camera is back. Cleared by every successful build and
    // by every release.
    std::atomic<bool> camera_gone{false};
};
