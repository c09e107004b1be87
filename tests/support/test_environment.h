#pragma once

// What every test binary sets before anything runs, unless already set:
// the offscreen platform, and the test devices' faults (the plugin of
// tests/test_devices) for the binary and the programs it starts.
void SetTestEnvironment();
