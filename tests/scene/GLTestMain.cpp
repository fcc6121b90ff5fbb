#include <cstdio>
#include <gtest/gtest.h>

#include "OffscreenGL.h"

// The GL tests share one context, made before the first test and current throughout.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as ctest does to find them) needs no display.
    if (GTEST_FLAG_GET(list_tests))
    {
        return RUN_ALL_TESTS();
    }
    const std::string why = telvora::test::StartOffscreenGL(argc, argv);
    if (!why.empty())
    {
        std::fprintf(stderr, "No OpenGL for the scene tests: %s\n", why.c_str());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    telvora::test::StopOffscreenGL();
    return result;
}
