// korvel-cli-completions bash|zsh|fish FILE: writes korvel-admin-cli's completion script for that shell, read
// from the same command line the program parses. Run at build time; not installed.
#include "cli/CommandLine.h"
#include "cli/completions/CommandTree.h"

#include <fstream>
#include <iostream>
#include <string_view>

int main(int argc, char** argv)
{
    using namespace korvel::cli;
    const std::string_view shell = argc == 3 ? argv[1] : "";
    const auto write = shell == "bash"   ? completions::WriteBash
                       : shell == "zsh"  ? completions::WriteZsh
                       : shell == "fish" ? completions::WriteFish
                                         : nullptr;
    if (!write)
    {
        std::cerr << "usage: korvel-cli-completions bash|zsh|fish FILE\n";
        return 2;
    }
    const CommandLine line;
    std::ofstream out(argv[2]);
    write(out, completions::ReadCommandTree(line.App));
    out.close();
    if (!out)
    {
        std::cerr << "korvel-cli-completions: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
