// Feeds arbitrary bytes to the state file reader, as `plan` and `apply` read a file (YAML, or JSON read as
// YAML). Whatever the bytes, it ends with a state or with mistakes that name a line, in bounded memory (the
// aliases' copies and the nesting are capped) and without raising.
#include "operations/StateFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // password_file paths are read beside a directory that holds nothing.
    const korvel::operations::StateFileReading reading =
        korvel::operations::ReadStateFile(text, "/nonexistent");
    for (const korvel::operations::Mistake& mistake : reading.Mistakes)
        if (mistake.Message.empty() || mistake.Line < 0)
            std::abort();
    return 0;
}
