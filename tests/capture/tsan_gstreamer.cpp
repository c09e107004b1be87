// GLib and GStreamer synchronise through futexes and atomics the thread
// sanitizer does not see (the libraries are not instrumented), so every
// hand-over of a buffer between a streaming thread and ours looks like a race.
// Reports with a frame in those libraries are suppressed; races in our own
// code between our own threads are still reported. The brightness sampler of
// the settle wait and the tests' decoding of a made video are the places
// where our code reads a frame's memory in place, after the same hand-over.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\n"
           "race:libgobject-2.0.so\n"
           "race:libgstreamer-1.0.so\n"
           "race:libgstbase-1.0.so\n"
           "race:libgstvideo-1.0.so\n"
           "race:libgstapp-1.0.so\n"
           "race:libgstvideotestsrc.so\n"
           "race:libgstvideoconvertscale.so\n"
           "race:libgstvideofilter.so\n"
           "race:liborc-0.4.so\n"
           "race:FrameSlot::KeptBrightness\n"
           "race:DecodeVideoFile\n";
}
