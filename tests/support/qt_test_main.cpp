// GoogleTest main for tests that need the event loop: one application object
// (offscreen without a display) for the whole test program.
#include "platform/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    platform::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
