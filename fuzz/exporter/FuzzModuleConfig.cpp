// Feeds arbitrary bytes to the exporter's configuration file reader (an INI file of modules: credentials,
// mode, target patterns, SSH server). The file is rewritten in place for each input, private as Load wants
// it; a file that cannot be used ends in ConfigError, never in anything else.
#include "exporter/ModuleConfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{

const std::string& FilePath()
{
    static const std::string path = []
    {
        std::string name = "/tmp/fuzz-module-config-XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0)
            std::abort();
        close(fd);
        return name;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = FilePath();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
    try
    {
        const korvel::exporter::ModuleConfig config = korvel::exporter::ModuleConfig::Load(path);
        config.Find("");
    }
    catch (const korvel::exporter::ConfigError&)
    {
    }
    return 0;
}
