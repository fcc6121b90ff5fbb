#include "view/CapabilityCheck.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

#include "TestData.h"

namespace telvora
{
namespace
{

const std::string kVbo = "GL_ARB_multitexture GL_ARB_vertex_buffer_object GL_EXT_bgra";
const std::string kOpenGLLine = "Please install OpenGL version 1.5 or higher! (current 1.4.0)\n\n";
const std::string kGlewLine = "Please install Glew version 1.5 or higher! (current 1.3.6)";

TEST(LeadingVersionNumber, ReadsTheLeadingDecimalNumberOnly)
{
    EXPECT_DOUBLE_EQ(LeadingVersionNumber("2.1.2 Mesa"), 2.1);
    EXPECT_DOUBLE_EQ(LeadingVersionNumber("4.5 (Compatibility Profile) Mesa 22.3.6"), 4.5);
    EXPECT_DOUBLE_EQ(LeadingVersionNumber("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(LeadingVersionNumber("10"), 10.0);
    EXPECT_DOUBLE_EQ(LeadingVersionNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(LeadingVersionNumber("OpenGL ES 3.2"), 0.0);
}

TEST(CheckCapabilities, OpenGL14WithGlew15ShowsOnlyTheOpenGLLine)
{
    const CapabilityReport report = CheckCapabilities({"1.4.0", "1.5.2", kVbo});
    EXPECT_FALSE(report.capable);
    EXPECT_EQ(report.caption, "Requirements");
    EXPECT_EQ(report.text, kOpenGLLine);
}

TEST(CheckCapabilities, BothVersionsLowListsOpenGLFirstThenGlew)
{
    const CapabilityReport report = CheckCapabilities({"1.4.0", "1.3.6", kVbo});
    EXPECT_FALSE(report.capable);
    EXPECT_EQ(report.caption, "Requirements");
    EXPECT_EQ(report.text, kOpenGLLine + kGlewLine);
}

TEST(CheckCapabilities, VersionsExactly15PassWhenBuffersAreThere)
{
    const CapabilityReport report = CheckCapabilities({"1.5", "1.5", kVbo});
    EXPECT_TRUE(report.capable);
    EXPECT_TRUE(report.text.empty());
}

TEST(CheckCapabilities, ExtensionOnlyWithSuffixOrPrefixFails)
{
    for (const std::string& extensions :
         {std::string("GL_ARB_vertex_buffer_object_x"), std::string("xGL_ARB_vertex_buffer_object"),
          std::string("GL_EXT_a GL_ARB_vertex_buffer_objects GL_EXT_b"), std::string()})
    {
        const CapabilityReport report = CheckCapabilities({"2.1", "2.2.0", extensions});
        EXPECT_FALSE(report.capable) << extensions;
        EXPECT_EQ(report.caption, "Error");
        EXPECT_EQ(report.text, "Vertex Buffer Object(VBO) not suported!");
    }
}

TEST(CheckCapabilities, LaterWholeWordCountsAfterAnEarlierPartialOne)
{
    EXPECT_TRUE(CheckCapabilities(
                    {"2.1", "2.2.0", "GL_ARB_vertex_buffer_object_x GL_ARB_vertex_buffer_object"})
                    .capable);
    EXPECT_TRUE(CheckCapabilities({"2.1", "2.2.0", "GL_ARB_vertex_buffer_object"}).capable);
}

TEST(CheckCapabilities, VersionsReadTheSameUnderAGermanLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
    {
        TELVORA_MISSING_TEST_INPUT("locale de_DE.UTF-8 is not installed");
    }
    const CapabilityReport passing = CheckCapabilities({"1.5", "1.5.0", kVbo});
    const CapabilityReport failing = CheckCapabilities({"1.4.0", "1.5.2", kVbo});
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_TRUE(passing.capable);
    EXPECT_EQ(failing.text, kOpenGLLine);
}

} // namespace
} // namespace telvora
