// The main of every GoogleTest program. The locale of the environment is taken over, as the
// programs themselves get it from Qt, so that a run under a German locale really formats and
// parses numbers with decimal commas around the code under test.
#include <clocale>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
