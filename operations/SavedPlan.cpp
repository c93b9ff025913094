#include "operations/SavedPlan.h"

#include "engine/wire/Utf8.h"
#include "journal/JsonText.h"
#include "operations/ConfigFields.h"
#include "operations/ServerState.h"

#include <filesystem>
#include <map>
#include <stdexcept>

namespace korvel::operations
{

namespace
{

using Json = nlohmann::ordered_json;

constexpr const char* Key = "korvel_saved_plan";
constexpr int Version = 1;

Json ConfigJson(const ServerConfig& config)
{
    Json out = Json::object();
    for (const ConfigField& field : ConfigFields())
        std::visit([&](auto member) { out[std::string(field.Name)] = config.*member; }, field.Member);
    return out;
}

// Where a user step's new password comes from; "keep" when the step leaves it as it is.
Json PasswordJson(const UserStep& step, const std::string& directory)
{
    const bool changes = !step.Before || step.Before->Password != step.After->Password;
    const PasswordSource* source = step.Wanted ? &step.Wanted->Password : nullptr;
    if (!changes)
        return "keep";
    if (!source || source->From == PasswordSource::Kind::None)
        return "empty";
    if (source->From == PasswordSource::Kind::Environment)
        return Json{{"env", source->Reference}};
    const std::string& path = source->Reference;
    const std::string full = path.starts_with('/') || directory.empty() ? path : directory + "/" + path;
    return Json{{"file", std::filesystem::absolute(full).lexically_normal().string()}};
}

Json UserStepJson(const UserStep& step, const std::string& directory)
{
    Json out{{"name", StepName(step)}, {"before", nullptr}, {"after", nullptr}};
    if (step.Before)
        out["before"] =
            Json{{"administrator", step.Before->Administrator}, {"description", step.Before->Description}};
    if (step.After)
        out["after"] = Json{{"administrator", step.After->Administrator},
                            {"description", step.After->Description},
                            {"password", PasswordJson(step, directory)}};
    return out;
}

Json DatabaseStepJson(const DatabaseStep& step)
{
    Json out{{"name", StepName(step)}, {"before", nullptr}, {"after", nullptr}};
    for (auto [key, values] : {std::pair{"before", &step.Before}, std::pair{"after", &step.After}})
        if (*values)
            out[key] = Json{{"directory", (*values)->Directory}, {"description", (*values)->Description}};
    return out;
}

// Reads one saved plan; the first mistake raises Refusal naming where it is.
struct Refusal : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

class Reader
{
public:
    explicit Reader(SavedPlan& saved) : saved_(saved) {}

    void Read(const Json& root)
    {
        const auto version = root.is_object() ? root.find(Key) : root.end();
        if (version == root.end() || !version->is_number_integer() || *version != Version)
            throw Refusal(std::string("not a saved plan of version ") + std::to_string(Version));
        const Json& file = Member(root, "state_file", "state_file");
        saved_.StateFile = Text(Member(file, "path", "state_file.path"), "state_file.path", 4096);
        saved_.StateSha256 = Text(Member(file, "sha256", "state_file.sha256"), "state_file.sha256", 64);
        saved_.LoginUser = Text(Member(root, "login_user", "login_user"), "login_user");
        StatePlan& plan = saved_.Plan;
        ForEach(root, "users",
                [&](const Json& item, const std::string& at) { plan.Users.push_back(User(item, at)); });
        ForEach(root, "databases",
                [&](const Json& item, const std::string& at)
                { plan.Databases.push_back(Database(item, at)); });
        ForEach(root, "rights",
                [&](const Json& item, const std::string& at) { plan.Rights.Put(Pair(item, at)); });
        ForEach(root, "database_deletions",
                [&](const Json& item, const std::string& at)
                { plan.DatabaseDeletions.push_back(Database(item, at)); });
        ForEach(root, "user_deletions",
                [&](const Json& item, const std::string& at)
                { plan.UserDeletions.push_back(User(item, at)); });
        if (root.contains("config") && !root["config"].is_null())
            plan.Config = Config(root["config"]);
        if (root.contains("own_account") && !root["own_account"].is_null())
        {
            plan.OwnAccount = User(root["own_account"], "own_account");
            plan.OwnAccountQuestion = Text(Member(root, "own_account_question", "own_account_question"),
                                           "own_account_question", 4096);
        }
    }

private:
    static const Json& Member(const Json& object, const char* key, const std::string& at)
    {
        if (!object.is_object() || !object.contains(key))
            throw Refusal(at + ": missing");
        return object[key];
    }

    static std::string Text(const Json& value, const std::string& at, std::size_t limit = MaxProtocolString)
    {
        if (!value.is_string())
            throw Refusal(at + ": a text is expected");
        if (value.get_ref<const std::string&>().size() > limit)
            throw Refusal(at + ": over " + std::to_string(limit) + " bytes");
        return value.get<std::string>();
    }

    static std::string Name(const Json& object, const std::string& at)
    {
        std::string name = Text(Member(object, "name", at + ".name"), at + ".name");
        if (name.empty())
            throw Refusal(at + ".name: a name cannot be empty");
        return name;
    }

    static bool Flag(const Json& value, const std::string& at)
    {
        if (!value.is_boolean())
            throw Refusal(at + ": true or false is expected");
        return value.get<bool>();
    }

    template <typename Each> static void ForEach(const Json& root, const char* key, Each each)
    {
        if (!root.contains(key))
            return;
        const Json& list = root[key];
        if (!list.is_array())
            throw Refusal(std::string(key) + ": a list is expected");
        for (std::size_t at = 0; at < list.size(); ++at)
            each(list[at], std::string(key) + "[" + std::to_string(at) + "]");
    }

    UserStep User(const Json& item, const std::string& at)
    {
        UserStep step;
        const std::string name = Name(item, at);
        const Json& before = Member(item, "before", at + ".before");
        const Json& after = Member(item, "after", at + ".after");
        auto values = [&](const Json& json, const std::string& where)
        {
            return UserValues{
                name,
                {},
                Text(Member(json, "description", where + ".description"), where + ".description"),
                Flag(Member(json, "administrator", where + ".administrator"), where + ".administrator")};
        };
        if (!before.is_null())
            step.Before = values(before, at + ".before");
        if (!after.is_null())
        {
            step.After = values(after, at + ".after");
            WantedUser& wanted = saved_.WantedUsers.emplace_back();
            wanted.Name = name;
            wanted.Description = step.After->Description;
            wanted.Administrator = step.After->Administrator;
            wanted.Password =
                Password(Member(after, "password", at + ".after.password"), at + ".after.password");
            step.Wanted = &wanted;
        }
        if (!step.Before && !step.After)
            throw Refusal(at + ": neither before nor after");
        return step;
    }

    // "keep" leaves the source empty (None, Reference "keep"); "empty" too, for a new user.
    static PasswordSource Password(const Json& value, const std::string& at)
    {
        if (value == "keep" || value == "empty")
            return {PasswordSource::Kind::None, value.get<std::string>(), std::nullopt};
        if (value.is_object() && value.size() == 1 && value.contains("env"))
            return {
                PasswordSource::Kind::Environment, Text(value["env"], at + ".env", MaxVariableNameBytes), {}};
        if (value.is_object() && value.size() == 1 && value.contains("file"))
            return {PasswordSource::Kind::File, Text(value["file"], at + ".file", MaxPathBytes), {}};
        throw Refusal(at + ": \"keep\", \"empty\", {\"env\": VARIABLE} or {\"file\": PATH} is expected");
    }

    DatabaseStep Database(const Json& item, const std::string& at)
    {
        DatabaseStep step;
        const std::string name = Name(item, at);
        auto values = [&](const Json& json, const std::string& where)
        {
            return DatabaseValues{
                name, Text(Member(json, "description", where + ".description"), where + ".description"),
                Text(Member(json, "directory", where + ".directory"), where + ".directory")};
        };
        if (const Json& before = Member(item, "before", at + ".before"); !before.is_null())
            step.Before = values(before, at + ".before");
        if (const Json& after = Member(item, "after", at + ".after"); !after.is_null())
        {
            step.After = values(after, at + ".after");
            step.Wanted = &saved_.WantedDatabases.emplace_back(
                WantedDatabase{name, step.After->Directory, step.After->Description, 0});
        }
        if (!step.Before && !step.After)
            throw Refusal(at + ": neither before nor after");
        return step;
    }

    static PairChange Pair(const Json& item, const std::string& at)
    {
        auto rights = [&](const char* key)
        {
            auto parsed = ParseRightsLetters(Text(Member(item, key, at + "." + key), at + "." + key, 64));
            if (!parsed)
                throw Refusal(at + "." + key + ": rights letters (RIUDCAX) or \"-\" are expected");
            return *parsed;
        };
        return {Name(Json{{"name", Member(item, "user", at + ".user")}}, at + ".user"),
                Name(Json{{"name", Member(item, "database", at + ".database")}}, at + ".database"),
                rights("before"), rights("after")};
    }

    static ServerConfig ConfigValues(const Json& object, const std::string& at)
    {
        ServerConfig config;
        for (const ConfigField& field : ConfigFields())
        {
            const std::string where = at + "." + std::string(field.Name);
            const Json& value = Member(object, std::string(field.Name).c_str(), where);
            std::visit(
                [&](auto member)
                {
                    using Type = std::remove_reference_t<decltype(config.*member)>;
                    if constexpr (std::is_same_v<Type, bool>)
                        config.*member = Flag(value, where);
                    else if constexpr (std::is_same_v<Type, std::string>)
                        config.*member = Text(value, where);
                    else if constexpr (std::is_same_v<Type, std::uint16_t>)
                    {
                        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 65535)
                            throw Refusal(where + ": a number from 0 to 65535 is expected");
                        config.*member = value.get<std::uint16_t>();
                    }
                    else
                    {
                        if (!value.is_array())
                            throw Refusal(where + ": a list is expected");
                        for (const Json& item : value)
                            (config.*member).push_back(Text(item, where));
                    }
                },
                field.Member);
        }
        return config;
    }

    ConfigStep Config(const Json& object)
    {
        WantedConfig& wanted = saved_.WantedConfigs.emplace_back();
        wanted.Values = ConfigValues(Member(object, "after", "config.after"), "config.after");
        for (const ConfigField& field : ConfigFields())
            wanted.Fields.push_back(&field);
        return {ConfigValues(Member(object, "before", "config.before"), "config.before"), wanted.Values,
                &wanted};
    }

    SavedPlan& saved_;
};

} // namespace

std::string SavedPlanText(const StatePlan& plan, const std::string& stateFile, const std::string& sha256,
                          const std::string& loginUser, const std::string& directory)
{
    Json out{
        {Key, Version}, {"state_file", {{"path", stateFile}, {"sha256", sha256}}}, {"login_user", loginUser}};
    auto users = [&](const std::vector<UserStep>& steps)
    {
        Json list = Json::array();
        for (const UserStep& step : steps)
            list.push_back(UserStepJson(step, directory));
        return list;
    };
    auto databases = [](const std::vector<DatabaseStep>& steps)
    {
        Json list = Json::array();
        for (const DatabaseStep& step : steps)
            list.push_back(DatabaseStepJson(step));
        return list;
    };
    out["users"] = users(plan.Users);
    out["databases"] = databases(plan.Databases);
    Json& rights = out["rights"] = Json::array();
    for (const PairChange& change : plan.Rights.Changes())
        rights.push_back({{"user", change.User},
                          {"database", change.Database},
                          {"before", RightsLetters(change.Before)},
                          {"after", RightsLetters(change.After)}});
    out["database_deletions"] = databases(plan.DatabaseDeletions);
    out["user_deletions"] = users(plan.UserDeletions);
    out["config"] = plan.Config ? Json{{"before", ConfigJson(plan.Config->Before)},
                                       {"after", ConfigJson(plan.Config->After)}}
                                : Json(nullptr);
    out["own_account"] = plan.OwnAccount ? UserStepJson(*plan.OwnAccount, directory) : Json(nullptr);
    out["own_account_question"] = plan.OwnAccountQuestion.value_or("");
    return journal::DumpJson(out, 2) + "\n";
}

bool IsSavedPlan(std::string_view text)
{
    const std::size_t brace = text.find_first_not_of(" \t\r\n");
    if (brace == std::string_view::npos || text[brace] != '{')
        return false;
    const std::size_t key = text.find_first_not_of(" \t\r\n", brace + 1);
    return key != std::string_view::npos && text.substr(key).starts_with(std::string("\"") + Key + "\"");
}

SavedPlanReading ReadSavedPlan(std::string_view text)
{
    SavedPlanReading reading;
    if (text.size() > MaxSavedPlanBytes)
    {
        reading.Mistake =
            "over " + std::to_string(MaxSavedPlanBytes >> 20) + " MiB, more than a saved plan holds";
        return reading;
    }
    const Json root = journal::ParseJson(text);
    if (root.is_discarded())
    {
        reading.Mistake = "not JSON";
        return reading;
    }
    try
    {
        Reader(reading.Plan).Read(root);
    }
    catch (const Refusal& refusal)
    {
        reading.Mistake = refusal.what();
    }
    return reading;
}

std::vector<std::string> ResolvePasswords(TKORVELSession& session, SavedPlan& saved)
{
    std::vector<std::string> mistakes;
    std::map<const WantedUser*, WantedUser*> wanted; // the steps' entries, to fill in
    for (WantedUser& entry : saved.WantedUsers)
        wanted[&entry] = &entry;
    auto resolve = [&](UserStep& step)
    {
        const std::optional<UserValues> now = ReadUser(session, StepName(step));
        const std::string current = now ? now->Password : std::string();
        if (step.Before)
            step.Before->Password = current;
        if (!step.After)
            return;
        PasswordSource& source = wanted.at(step.Wanted)->Password;
        if (source.From == PasswordSource::Kind::None)
        {
            // "keep" leaves the server's password; "empty" gives a new user none. Either way the Wanted
            // entry names none, so planning again keeps what the server holds.
            step.After->Password = source.Reference == "keep" ? current : std::string();
            return;
        }
        if (auto mistake = ResolvePassword(source, {}))
            mistakes.push_back("user '" + ShownName(StepName(step)) + "': " + *mistake);
        else if (!source.Value)
            mistakes.push_back("user '" + ShownName(StepName(step)) + "': the plan sets its password from " +
                               source.Reference + ", which is not set");
        else
            step.After->Password = *source.Value;
    };
    StatePlan& plan = saved.Plan;
    for (auto* steps : {&plan.Users, &plan.UserDeletions})
        for (UserStep& step : *steps)
            resolve(step);
    if (plan.OwnAccount)
        resolve(*plan.OwnAccount);
    return mistakes;
}

} // namespace korvel::operations
