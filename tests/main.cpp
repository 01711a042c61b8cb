#include "platform/pixel_memory.h"

#include <gtest/gtest.h>

// The tests run on the same pixel memory as the program.
int main(int argc, char** argv) {
    pavo::installPixelMemory();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
