// Feeds arbitrary bytes as journal lines and as a journal file: the line reader, the time parser, the
// filters and the text form. An entry read must survive being written and read again.
#include "journal/History.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{

using namespace korvel::journal;

const std::string& FilePath()
{
    static const std::string path = []
    {
        char pattern[] = "/tmp/korvel-fuzz-journal-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        return std::string(pattern) + "/journal.jsonl";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ParseTime(text);
    if (std::optional<Entry> entry = FromJsonLine(text))
    {
        EntryText(*entry);
        Matches(*entry, Filter{"db1", "admin", "bob", ParseTime("2024-01-01"), ParseTime(entry->Time)});
        if (!FromJsonLine(ToJsonLine(*entry)))
            std::abort(); // what the journal writes it must read back
    }

    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(size));
    const History history = ReadHistory(FilePath(), Filter{"", "", "", ParseTime(text), std::nullopt});
    HistoryText(history.Entries);
    return 0;
}
