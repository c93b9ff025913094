// The Log page's text file: the lines written as the server sent them, each followed by CR LF.
#pragma once

#include "engine/LogText.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace korvel::admin
{

// Writes the given lines of `log` (every line for null). The file is replaced only once it was written
// completely; raises "Cannot create file ..." on failure.
void WriteLogFile(const QString& fileName, const LogText& log, const std::vector<std::uint32_t>* lines);

} // namespace korvel::admin
