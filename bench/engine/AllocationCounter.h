// Counts every call of the global operator new in this program.
#pragma once

#include <cstdint>

namespace korvel::bench
{

std::uint64_t AllocationCount();

} // namespace korvel::bench
