#pragma once

class DiaryEngine;

// The one place where the jobs after a picture are attached to an engine
// (before its start-up), for the window and for --headless alike.
void AttachDiaryJobs(DiaryEngine& engine);
