#pragma once

// A TCP port of 127.0.0.1 that was free a moment ago, for a server a test
// starts.
int FreePort();
// True when something accepts connections on that port of 127.0.0.1.
bool Listening(int port);
