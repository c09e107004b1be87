#pragma once

class DiaryEngine;
class ServiceWatchdog;

// The one place where the jobs after a picture are registered with an
// engine (before its start-up, which loads their settings), for the window
// and for --headless alike. `service`: the service manager's side, where the
// program has one (headless).
void AttachDiaryJobs(DiaryEngine& engine, ServiceWatchdog* service = nullptr);
