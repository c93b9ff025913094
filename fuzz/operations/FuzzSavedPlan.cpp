// Feeds arbitrary bytes to the saved plan reader, as `apply FILE` reads a plan saved by `plan --out`.
// Whatever the bytes, it ends with a plan or with one mistake, without raising; a plan it accepts is written
// again and read back without a mistake.
#include "operations/SavedPlan.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvel::operations;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SavedPlanReading reading = ReadSavedPlan(text);
    if (!reading.Mistake.empty())
        return 0;
    const SavedPlan& saved = reading.Plan;
    const std::string again =
        SavedPlanText(saved.Plan, saved.StateFile, saved.StateSha256, saved.LoginUser, "/");
    if (!IsSavedPlan(again) || !ReadSavedPlan(again).Mistake.empty())
        std::abort();
    return 0;
}
