#include "operations/YamlTree.h"

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

    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t anchor) override
    {
        // An empty value is found at the next token, maybe lines below: it belongs to its key's line.
        const bool value =
            !open_.empty() && open_.back().first->IsMap() && open_.back().first->Items.size() % 2;
        YAML::Mark at = mark;
        if (value)
            at.line = open_.back().first->Items.back().Line - 1;
        Add({}, at, anchor);
    }
    void OnAlias(const YAML::Mark&, YAML::anchor_t anchor) override
    {
        YamlNode copy = anchored_[anchor];
        Place(std::move(copy));
    }
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor,
                  const std::string& value) override
    {
        YamlNode node;
        node.Type = YamlNode::Kind::Scalar;
        node.Text = value;
        Add(std::move(node), mark, anchor);
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value) override
    {
        Open(YamlNode::Kind::Sequence, mark, anchor);
    }
    void OnSequenceEnd() override { Close(); }
    void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value) override
    {
        Open(YamlNode::Kind::Map, mark, anchor);
    }
    void OnMapEnd() override { Close(); }

private:
    // The node goes into the collection open now, or becomes the root.
    YamlNode& Place(YamlNode node)
    {
        if (open_.empty())
            return Root = std::move(node);
        std::vector<YamlNode>& items = open_.back().first->Items;
        items.push_back(std::move(node));
        return items.back();
    }
    void Add(YamlNode node, const YAML::Mark& mark, YAML::anchor_t anchor)
    {
        node.Line = mark.line + 1;
        const YamlNode& placed = Place(std::move(node));
        if (anchor != YAML::NullAnchor)
            anchored_[anchor] = placed;
    }
    void Open(YamlNode::Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor)
    {
        YamlNode node;
        node.Type = kind;
        node.Line = mark.line + 1;
        open_.emplace_back(&Place(std::move(node)), anchor);
    }
    void Close()
    {
        auto [node, anchor] = open_.back();
        open_.pop_back();
        if (anchor != YAML::NullAnchor)
            anchored_[anchor] = *node;
    }

    // The collections open, innermost last. A pointer stays valid: only the innermost one grows.
    std::vector<std::pair<YamlNode*, YAML::anchor_t>> open_;
    std::map<YAML::anchor_t, YamlNode> anchored_;
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
