#pragma once

// The diary worker as the capture graph sees it: every successful build
// starts it as its last step, every release stops it first.
class WorkerControl {
public:
    virtual ~WorkerControl() = default;
    // Starts a worker unless one is still running; true when one was started.
    virtual bool StartDiaryWorker() = 0;
    // Requests the stop and waits for the worker (bounded); returns promptly.
    virtual void StopDiaryWorker() = 0;
    // Allows starts again after a stop closed the worker. Called by every
    // build; ignored on a worker's own thread, so that a recovery there never
    // undoes a release.
    virtual void ReopenDiaryWorker() = 0;
};
