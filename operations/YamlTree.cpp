#include "operations/YamlTree.h"

#include "engine/wire/Utf8.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/parser.h>

#include <map>
#include <sstream>

namespace korvel::operations
{

namespace
{

// Builds the tree from the parser's events: each node is added to the collection open at the time.
class Builder : public YAML::EventHandler
{
public:
    YamlNode Root;

    int StartLine = 0;

    void OnDocumentStart(const YAML::Mark& mark) override { StartLine = mark.line + 1; }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t anchor) override
    {
        // An empty value is found at the next token, maybe lines below: it belongs to its key's line.
        const bool value =
            !open_.empty() && open_.back().Node->IsMap() && open_.back().Node->Items.size() % 2;
        YAML::Mark at = mark;
        if (value)
            at.line = open_.back().Node->Items.back().Line - 1;
        Add({}, at, anchor);
    }
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t anchor) override
    {
        // Each alias is a copy: a few bytes of aliases of aliases could otherwise ask for gigabytes.
        const auto& [node, size] = anchored_[anchor];
        Copied(size, mark);
        Place(YamlNode(node));
        nodes_ += size;
    }
    void OnScalar(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                  const std::string& value) override
    {
        CheckTag(tag, mark);
        YamlNode node;
        node.Type = YamlNode::Kind::Scalar;
        node.Text = value;
        Add(std::move(node), mark, anchor);
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value) override
    {
        CheckTag(tag, mark);
        Open(YamlNode::Kind::Sequence, mark, anchor);
    }
    void OnSequenceEnd() override { Close(); }
    void OnMapStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value) override
    {
        CheckTag(tag, mark);
        Open(YamlNode::Kind::Map, mark, anchor);
    }
    void OnMapEnd() override { Close(); }

private:
    // The node goes into the collection open now, or becomes the root.
    YamlNode& Place(YamlNode node)
    {
        if (open_.empty())
            return Root = std::move(node);
        std::vector<YamlNode>& items = open_.back().Node->Items;
        items.push_back(std::move(node));
        return items.back();
    }
    void Add(YamlNode node, const YAML::Mark& mark, YAML::anchor_t anchor)
    {
        node.Line = mark.line + 1;
        const YamlNode& placed = Place(std::move(node));
        ++nodes_;
        if (anchor != YAML::NullAnchor)
            Anchor(anchor, placed, 1, mark);
    }
    void Open(YamlNode::Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor)
    {
        if (open_.size() >= MaxYamlDepth)
            throw YamlSyntaxError{mark.line + 1,
                                  "nested deeper than " + std::to_string(MaxYamlDepth) + " levels"};
        YamlNode node;
        node.Type = kind;
        node.Line = mark.line + 1;
        open_.push_back({&Place(std::move(node)), anchor, nodes_++, mark});
    }
    void Close()
    {
        const OpenNode open = open_.back();
        open_.pop_back();
        if (open.Anchor != YAML::NullAnchor)
            Anchor(open.Anchor, *open.Node, nodes_ - open.NodesBefore, open.Mark);
    }
    // A tag asks for a reading the state file does not make (!!binary would be read as its base64 text):
    // only the plain types are taken.
    static void CheckTag(const std::string& tag, const YAML::Mark& mark)
    {
        static const std::string core = "tag:yaml.org,2002:";
        if (tag.empty() || tag == "?" || tag == "!")
            return;
        for (const char* plain : {"str", "int", "bool", "null", "float", "seq", "map"})
            if (tag == core + plain)
                return;
        throw YamlSyntaxError{mark.line + 1, "the tag " + ShownName(tag) + " is not read in a state file"};
    }
    // Keeping an anchored node is a copy too.
    void Anchor(YAML::anchor_t anchor, const YamlNode& node, std::size_t size, const YAML::Mark& mark)
    {
        Copied(size, mark);
        anchored_[anchor] = {node, size};
    }
    void Copied(std::size_t size, const YAML::Mark& mark)
    {
        copied_ += size;
        if (copied_ > MaxYamlCopies)
            throw YamlSyntaxError{mark.line + 1, "the aliases here copy more than " +
                                                     std::to_string(MaxYamlCopies) +
                                                     " nodes; write the entries out"};
    }

    struct OpenNode
    {
        YamlNode* Node; // stays valid: only the innermost open collection grows
        YAML::anchor_t Anchor;
        std::size_t NodesBefore;
        YAML::Mark Mark;
    };
    std::vector<OpenNode> open_;                                          // innermost last
    std::map<YAML::anchor_t, std::pair<YamlNode, std::size_t>> anchored_; // each with its count of nodes
    std::size_t nodes_ = 0;
    std::size_t copied_ = 0;
};

} // namespace

YamlNode ParseYaml(const std::string& text)
{
    std::istringstream input(text);
    Builder builder;
    try
    {
        YAML::Parser parser(input);
        parser.HandleNextDocument(builder);
        // A second document would be read by nobody: a mistake, not something to ignore.
        Builder next;
        if (parser.HandleNextDocument(next))
            throw YamlSyntaxError{next.StartLine,
                                  "a second YAML document starts here; a state file holds one"};
    }
    catch (const YAML::Exception& error)
    {
        throw YamlSyntaxError{error.mark.is_null() ? 0 : error.mark.line + 1, error.msg};
    }
    return std::move(builder.Root);
}

std::optional<bool> YamlFlag(const std::string& text)
{
    for (const char* yes : {"true", "True", "TRUE", "yes", "Yes", "YES", "on", "On", "ON", "y", "Y"})
        if (text == yes)
            return true;
    for (const char* no : {"false", "False", "FALSE", "no", "No", "NO", "off", "Off", "OFF", "n", "N"})
        if (text == no)
            return false;
    return std::nullopt;
}

} // namespace korvel::operations
