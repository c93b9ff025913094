// ResolveSshConfig with arbitrary bytes as the user's config file. Every failure must be an SshConfigError;
// nothing may hang or read outside a buffer. `Match exec` runs no shell here: its answer comes from the
// command's length, so both branches are reached.
#include "engine/ssh/SshConfig.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace
{

const std::string& Home()
{
    static const std::string home = []
    {
        std::string path = "/tmp/korvel-fuzz-ssh-XXXXXX";
        return mkdtemp(path.data()) ? path : std::string("/nonexistent");
    }();
    return home;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string config = Home() + "/config";
    std::ofstream(config, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    korvel::SshConfigSources sources{config, "/dev/null", Home(), "fuzzer", [](const std::string& command) {
                                         return static_cast<int>(command.size() % 2);
                                     }};
    try
    {
        korvel::ResolveSshConfig("bastion.example", "", 0, sources);
        korvel::ResolveSshConfig("Alias", "admin", 2222, sources);
    }
    catch (const korvel::SshConfigError&)
    {
    }
    return 0;
}
