#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace telvora::test
{

// Whether a test whose input is missing from the machine (the real LAS files beside the
// repository, the German locale, /dev/full) must fail rather than skip. On a developer's machine
// a skip is enough; a CI machine is set up to have every input, so there a missing one means the
// suite would pass without running what it claims to. CI systems set CI to "true" (a few to "1").
inline bool MissingDataMustFail()
{
    const char* ci = std::getenv("CI");
    if (ci == nullptr)
    {
        return false;
    }
    const std::string_view value(ci);
    return value == "true" || value == "TRUE" || value == "True" || value == "1";
}

// Added to the failure so that the log says why a missing input is not a skip here.
inline constexpr const char* kMissingUnderCi = " (CI is set: every test input must be present)";

} // namespace telvora::test

// Leaves a GoogleTest test whose input is missing: a fatal failure when
// MissingDataMustFail(), a skip otherwise. why says what is missing; the including file includes
// <gtest/gtest.h>. Qt tests use MissingDataMustFail() with QFAIL and QSKIP.
// The same for a Qt test: QFAIL under CI, QSKIP otherwise.
#define TELVORA_QT_MISSING_TEST_INPUT(why)                                                         \
    do                                                                                             \
    {                                                                                              \
        if (::telvora::test::MissingDataMustFail())                                                \
        {                                                                                          \
            QFAIL(why " (CI is set: every test input must be present)");                           \
        }                                                                                          \
        QSKIP(why);                                                                                \
    } while (false)

#define TELVORA_MISSING_TEST_INPUT(why)                                                            \
    do                                                                                             \
    {                                                                                              \
        const std::string telvoraMissing_ = (why);                                                 \
        if (::telvora::test::MissingDataMustFail())                                                \
        {                                                                                          \
            FAIL() << telvoraMissing_ << ::telvora::test::kMissingUnderCi;                         \
        }                                                                                          \
        GTEST_SKIP() << telvoraMissing_;                                                           \
    } while (false)
