// Feeds arbitrary bytes as a settings or profile file: the INI reader and the profiles read from it, through
// a real file as the programs read it. A key the reader lists must be found and written again in place.
#include "settings/IniFile.h"
#include "settings/Profiles.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{

using namespace korvel::settings;

const std::string& FilePath()
{
    static const std::string path = []
    {
        char pattern[] = "/tmp/korvel-fuzz-ini-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        return std::string(pattern) + "/profiles.ini";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini("fuzz.ini", text);
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
        {
            if (!ini.Value(section, key))
                std::abort(); // listed but not found
            ini.ReadInteger(section, key, 0);
        }
    const std::vector<std::string> sections = ini.Sections();
    if (!sections.empty() && !ini.Keys(sections.front()).empty())
    {
        const std::string key = ini.Keys(sections.front()).front();
        ini.WriteInteger(sections.front(), key, 7);
        if (ini.ReadInteger(sections.front(), key, 0) != 7 || ini.Sections() != sections)
            std::abort(); // a write went astray
    }

    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(size));
    for (const Profile& profile : ProfileStore(FilePath()).List())
        ProfileNameProblem(profile.Name);
    return 0;
}
