// What plan and apply read: a state file (YAML or JSON) or a plan saved by `plan --out`, told apart by their
// content; read bounded, and refused as a usage mistake (exit status 2) naming the file and line. And the
// saved plan's own file, written for the user alone.
#pragma once

#include "operations/SavedPlan.h"
#include "operations/StateFile.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::cli
{

struct StateInput
{
    std::string File;      // as given; "-" for standard input
    std::string Shown;     // the file as messages name it: "<stdin>" for "-"
    std::string Directory; // where its relative password_file paths start
    std::string Sha256;    // of its bytes, in hex
    operations::StateFile State;
    std::unique_ptr<operations::SavedPlan> Saved; // instead, when the file is a saved plan
};

// Reads and checks `file` before anything is sent; raises UsageError for every mistake.
StateInput ReadStateInput(const std::string& file);

// Raises UsageError listing the mistakes as FILE:LINE: MESSAGE lines.
[[noreturn]] void RaiseMistakes(const std::string& shown, const std::vector<operations::Mistake>& mistakes);

std::string Sha256Hex(std::string_view bytes);

// Writes a saved plan to `path` at once (files/OwnFiles.h): never through a symbolic link, and 0600 even
// when it replaces a file that others could read.
void WritePlanFile(const std::string& path, const std::string& text);

} // namespace korvel::cli
