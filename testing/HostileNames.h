// The names of testing/hostile/names.json, as bytes; KORVEL_HOSTILE_DIR names that folder.
#pragma once

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvel::test
{

inline std::vector<std::string> HostileNames()
{
    std::vector<std::string> names;
    for (const auto& entry : nlohmann::json::parse(std::ifstream(KORVEL_HOSTILE_DIR "/names.json")))
    {
        const std::string hex = entry["hex"];
        std::string bytes;
        for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
            bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
        names.push_back(bytes);
    }
    return names;
}

} // namespace korvel::test
