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
};
