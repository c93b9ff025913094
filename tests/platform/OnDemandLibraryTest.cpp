#include "platform/OnDemandLibrary.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::test
{
namespace
{

using platform::LibraryUnavailable;
using platform::OnDemandLibrary;

// A library that cannot be opened, or lacks a function, is reported in words that name it, every time asked.
TEST(OnDemandLibraryTest, SaysWhichLibraryOrFunctionIsMissing)
{
    struct Case
    {
        const char* Soname;
        const char* Function;
        bool Opens;
        bool Found;
        std::string Named; // in the message when not found
    };
    const Case cases[] = {
        {"libkorvel-absent.so.0", "cos", false, false, "libkorvel-absent.so.0"},
        {"libm.so.6", "korvel_absent_function", true, false, "libm.so.6 has no korvel_absent_function"},
        {"libm.so.6", "cos", true, true, ""},
    };
    for (const Case& each : cases)
    {
        SCOPED_TRACE(std::string(each.Soname) + " " + each.Function);
        OnDemandLibrary library(each.Soname);
        EXPECT_EQ(library.Available(), each.Opens);
        EXPECT_EQ(library.Error().find(each.Soname) != std::string::npos, !each.Opens) << library.Error();
        for (int attempt = 0; attempt < 2; ++attempt)
            try
            {
                EXPECT_NE(library.Symbol(each.Function), nullptr);
                EXPECT_TRUE(each.Found);
            }
            catch (const LibraryUnavailable& error)
            {
                EXPECT_FALSE(each.Found);
                EXPECT_NE(std::string(error.what()).find(each.Named), std::string::npos) << error.what();
            }
    }
}

} // namespace
} // namespace korvel::test
