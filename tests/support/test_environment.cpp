#include "support/test_environment.h"

#include <cstdlib>

void SetTestEnvironment() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QUILLOMAT_TEST_DEVICE_PLUGIN", QUILLOMAT_TEST_DEVICE_PLUGIN, 0);
}
