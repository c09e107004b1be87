#pragma once

// Notices the worker side posts to the user interface, which turns them into
// log lines.
enum DiaryNoticeCode : int {
    kNoticeMotionDetected = 1,
    kNoticeDayDirectoryFailed = 256,
    kNoticePictureNotStored = 257,
    kNoticeFileOpenFailed = 258,
};

// Receives posted notices on the posting thread; it must only queue them
// (for example as a queued call to the user interface thread) and never wait.
class DiaryNoticeReceiver {
public:
    virtual ~DiaryNoticeReceiver() = default;
    virtual void ReceiveDiaryNotice(int code) = 0;
};

// The process's receiver (the main window or the headless runner); nullptr
// when there is none. Unregister before the receiver is destroyed.
void SetDiaryNoticeReceiver(DiaryNoticeReceiver* receiver);

// Posts the notice to the receiver; returns 0 and drops the notice when there
// is none, else 1. Callable from any thread; never waits for the receiver.
int PostDiaryNotice(int code);

// Where engine pieces send their notices; the default goes to PostDiaryNotice.
class NoticeSink {
public:
    virtual ~NoticeSink() = default;
    virtual void Post(int code) = 0;
};

class PostedNoticeSink final : public NoticeSink {
public:
    void Post(int code) override { PostDiaryNotice(code); }
};
