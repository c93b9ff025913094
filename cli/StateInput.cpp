#include "cli/StateInput.h"

#include "cli/Output.h"
#include "cli/UsageError.h"
#include "files/OwnFiles.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::cli
{

namespace
{

using operations::MaxStateFileBytes;

// A state file is a regular file (or standard input) of at most MaxStateFileBytes: a directory would read as
// nothing, and "No changes." would be a lie; a bigger file is a mistake, not something to hold in memory.
std::string ReadText(const std::string& file)
{
    const std::string name = file == "-" ? "<stdin>" : file;
    auto tooBig = [&]
    { return UsageError(name + ": over " + std::to_string(MaxStateFileBytes >> 20) + " MiB"); };
    std::string text;
    if (file == "-")
    {
        char chunk[65536];
        while (std::cin.read(chunk, sizeof chunk) || std::cin.gcount() > 0)
        {
            text.append(chunk, static_cast<std::size_t>(std::cin.gcount()));
            if (text.size() > MaxStateFileBytes)
                throw tooBig();
        }
        return text;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw UsageError("cannot read " + file + ": " + std::strerror(errno));
    const files::Descriptor closer(fd);
    struct stat status
    {
    };
    if (fstat(fd, &status) != 0)
        throw UsageError("cannot read " + file + ": " + std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        throw UsageError("cannot read " + file + ": " +
                         (S_ISDIR(status.st_mode) ? "a directory" : "not a file"));
    if (static_cast<std::uintmax_t>(status.st_size) > MaxStateFileBytes)
        throw tooBig();
    char chunk[65536];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) != 0;)
    {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw UsageError("cannot read " + file + ": " + std::strerror(errno));
        text.append(chunk, static_cast<std::size_t>(got));
        if (text.size() > MaxStateFileBytes) // grew while read
            throw tooBig();
    }
    return text;
}

} // namespace

[[noreturn]] void RaiseMistakes(const std::string& shown, const std::vector<operations::Mistake>& mistakes)
{
    std::string text;
    for (const operations::Mistake& mistake : mistakes)
        text +=
            (text.empty() ? "" : "\n") + shown + ":" + std::to_string(mistake.Line) + ": " + mistake.Message;
    throw UsageError(text);
}

StateInput ReadStateInput(const std::string& file)
{
    StateInput input;
    input.File = file;
    input.Shown = file == "-" ? "<stdin>" : file;
    const std::size_t slash = file.rfind('/');
    input.Directory = file == "-" || slash == std::string::npos ? ""
                      : slash == 0                              ? "/"
                                                                : file.substr(0, slash);
    const std::string text = ReadText(file);
    input.Sha256 = Sha256Hex(text);
    if (operations::IsSavedPlan(text))
    {
        operations::SavedPlanReading reading = operations::ReadSavedPlan(text);
        if (!reading.Mistake.empty())
            throw UsageError(input.Shown + ": a saved plan that cannot be applied: " + reading.Mistake);
        input.Saved = std::make_unique<operations::SavedPlan>(std::move(reading.Plan));
        return input;
    }
    auto reading = operations::ReadStateFile(text, input.Directory);
    if (!reading.Mistakes.empty())
        RaiseMistakes(input.Shown, reading.Mistakes);
    input.State = std::move(reading.State);
    return input;
}

std::string Sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("cannot compute a SHA-256");
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int at = 0; at < size; ++at)
        text += {hex[digest[at] >> 4], hex[digest[at] & 15]};
    return text;
}

void WritePlanFile(const std::string& path, const std::string& text)
{
    try
    {
        // A file already there keeps its mode when replaced: make it the user's alone first.
        if (files::Descriptor existing = files::OpenOwnFile(path, O_WRONLY);
            existing && fchmod(existing.Get(), 0600) != 0)
            throw files::FileError(path + ": " + std::strerror(errno));
    }
    catch (const files::FileError& error)
    {
        throw std::runtime_error(std::string("Cannot write the plan: ") + error.what());
    }
    WriteOutputFile(path, text);
}

} // namespace korvel::cli
