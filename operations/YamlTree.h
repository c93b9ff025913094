// A YAML (or JSON) document as state files need it: scalars with their lines, sequences, and mappings with
// their pairs in order, a key given twice included. It is built from yaml-cpp's parser events, which takes
// a good deal less time than yaml-cpp's own node tree for a file of thousands of entries.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace korvel::operations
{

struct YamlNode
{
    enum class Kind
    {
        Null, // nothing, ~ or null
        Scalar,
        Sequence,
        Map
    };
    Kind Type = Kind::Null;
    std::string Text;            // a scalar's text
    int Line = 0;                // from 1
    std::vector<YamlNode> Items; // a sequence's items; a mapping's keys and values, one after the other

    bool IsScalar() const { return Type == Kind::Scalar; }
    bool IsSequence() const { return Type == Kind::Sequence; }
    bool IsMap() const { return Type == Kind::Map; }
    bool IsNull() const { return Type == Kind::Null; }
};

struct YamlSyntaxError
{
    int Line = 0;
    std::string Message;
};

// Bounds that keep a hostile file from exhausting memory or the stack: collections nested deeper than
// MaxYamlDepth, and anchors and aliases that copy more than MaxYamlCopies nodes in all, are refused.
inline constexpr std::size_t MaxYamlDepth = 64;
inline constexpr std::size_t MaxYamlCopies = 1'000'000;

// The one document of `text` (Null when there is none). Raises YamlSyntaxError, for a second document too.
YamlNode ParseYaml(const std::string& text);

// true, yes, on, y and false, no, off, n in the cases YAML writes them; nothing for any other text.
std::optional<bool> YamlFlag(const std::string& text);

} // namespace korvel::operations
