// Passwords in a real Secret Service: testing/with-secret-service.sh starts a private
// gnome-keyring-daemon on a D-Bus session bus of its own and runs these tests against it.
#include "credentials/Keyring.h"
#include "testing/LockedKeyring.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace korvel::test
{
namespace
{

using namespace credentials;

// Skips (or, under CI=true, fails) when the wrapper could not start a Secret Service.
#define REQUIRE_SECRET_SERVICE()                                                                             \
    do                                                                                                       \
    {                                                                                                        \
        std::string why;                                                                                     \
        if (const char* reason = std::getenv("KORVEL_NO_SECRET_SERVICE"))                                    \
            why = reason;                                                                                    \
        else if (Availability availability = SecretServiceAvailability(); !availability.Available)           \
            why = availability.Reason;                                                                       \
        if (!why.empty())                                                                                    \
        {                                                                                                    \
            if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true")                         \
                FAIL() << "no Secret Service under CI: " << why;                                             \
            GTEST_SKIP() << "no Secret Service to test against (run through with-secret-service.sh): "       \
                         << why;                                                                             \
        }                                                                                                    \
    } while (false)

// Iterates the thread's GLib main context, as the window's event loop does, until `done` or 10 s.
template <typename Predicate> bool RunMainContextUntil(Predicate done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end)
        g_main_context_iteration(nullptr, FALSE);
    return done();
}

TEST(Keyring, StoresLooksUpUpdatesAndDeletesOnePasswordPerTargetAndUser)
{
    REQUIRE_SECRET_SERVICE();
    CredentialKey office = CredentialKey::ForProfile("Office", "admin");
    CredentialKey sameUserElsewhere = CredentialKey::ForServer("db.example.org", 12006, "admin");
    CredentialKey otherUser = CredentialKey::ForProfile("Office", "ops");
    DeletePassword(office);

    EXPECT_EQ(LookupPassword(office), std::nullopt);
    StorePassword(office, "first pässword");
    StorePassword(sameUserElsewhere, "elsewhere");
    EXPECT_EQ(LookupPassword(office), "first pässword");
    EXPECT_EQ(LookupPassword(otherUser), std::nullopt);

    StorePassword(office, "second");
    EXPECT_EQ(LookupPassword(office), "second");
    EXPECT_EQ(LookupPassword(sameUserElsewhere), "elsewhere");

    EXPECT_TRUE(DeletePassword(office));
    EXPECT_EQ(LookupPassword(office), std::nullopt);
    EXPECT_FALSE(DeletePassword(office));
    EXPECT_EQ(LookupPassword(sameUserElsewhere), "elsewhere");
    DeletePassword(sameUserElsewhere);
}

TEST(Keyring, AsynchronousCallsAnswerThroughTheMainContext)
{
    REQUIRE_SECRET_SERVICE();
    CredentialKey key = CredentialKey::ForServer("10.1.2.3", 12010, "async");
    DeletePassword(key);

    // Temporary keys, as callers pass them: the request must not depend on them once started.
    std::optional<std::string> stored;
    auto store = StorePasswordAsync(CredentialKey::ForServer("10.1.2.3", 12010, "async"), "by callback",
                                    [&](const std::string& error) { stored = error; });
    EXPECT_FALSE(stored) << "answered before the main context ran";
    ASSERT_TRUE(RunMainContextUntil([&] { return stored.has_value(); }));
    EXPECT_EQ(*stored, "");

    std::optional<LookupResult> found;
    auto lookup = LookupPasswordAsync(CredentialKey::ForServer("10.1.2.3", 12010, "async"),
                                      [&](const LookupResult& result) { found = result; });
    ASSERT_TRUE(RunMainContextUntil([&] { return found.has_value(); }));
    EXPECT_EQ(found->Error, "");
    EXPECT_EQ(found->Password, "by callback");

    std::optional<std::string> deleted;
    auto remove = DeletePasswordAsync(key, [&](const std::string& error) { deleted = error; });
    ASSERT_TRUE(RunMainContextUntil([&] { return deleted.has_value(); }));
    EXPECT_EQ(*deleted, "");

    found.reset();
    lookup = LookupPasswordAsync(key, [&](const LookupResult& result) { found = result; });
    ASSERT_TRUE(RunMainContextUntil([&] { return found.has_value(); }));
    EXPECT_EQ(found->Password, std::nullopt);
}

TEST(Keyring, ACancelledRequestNeverCallsBackButAChangeStillHappens)
{
    REQUIRE_SECRET_SERVICE();
    CredentialKey key = CredentialKey::ForServer("10.1.2.3", 1, "cancelled");
    DeletePassword(key);
    bool called = false;
    LookupPasswordAsync(key, [&](const LookupResult&) { called = true; }); // dropped at once: cancelled
    StorePasswordAsync(key, "kept anyway", [&](const std::string&) { called = true; });
    bool later = false;
    auto marker = LookupPasswordAsync(key, [&](const LookupResult&) { later = true; });
    ASSERT_TRUE(RunMainContextUntil([&] { return later; }));
    EXPECT_FALSE(called);
    EXPECT_TRUE(RunMainContextUntil([&] { return LookupPassword(key) == "kept anyway"; }));
    DeletePassword(key);
}

TEST(Keyring, AMoveStoresUnderTheNewKeyAndDeletesTheOldOne)
{
    REQUIRE_SECRET_SERVICE();
    CredentialKey office = CredentialKey::ForProfile("Office", "admin");
    CredentialKey renamed = CredentialKey::ForProfile("Head office", "admin");
    CredentialKey bystander = CredentialKey::ForProfile("Office", "ops");
    StorePassword(office, "moving");
    StorePassword(bystander, "staying");
    DeletePassword(renamed);

    EXPECT_TRUE(MovePassword(office, renamed));
    EXPECT_EQ(LookupPassword(renamed), "moving");
    EXPECT_EQ(LookupPassword(office), std::nullopt);
    EXPECT_EQ(LookupPassword(bystander), "staying") << "only the one entry moves";

    // Nothing kept: nothing is created, and an entry already under the new key is left alone.
    EXPECT_FALSE(MovePassword(office, renamed));
    EXPECT_EQ(LookupPassword(renamed), "moving");
    // A move onto itself keeps the password rather than storing and then deleting it.
    EXPECT_TRUE(MovePassword(renamed, renamed));
    EXPECT_EQ(LookupPassword(renamed), "moving");

    // Asynchronously, and to the end although the request is dropped at once.
    std::optional<MoveResult> moved;
    auto back = MovePasswordAsync(renamed, office, [&](const MoveResult& result) { moved = result; });
    ASSERT_TRUE(RunMainContextUntil([&] { return moved.has_value(); }));
    EXPECT_TRUE(moved->Moved);
    EXPECT_EQ(moved->Error, "");
    EXPECT_EQ(LookupPassword(office), "moving");
    EXPECT_EQ(LookupPassword(renamed), std::nullopt);

    bool called = false;
    MovePasswordAsync(office, renamed, [&](const MoveResult&) { called = true; });
    EXPECT_TRUE(RunMainContextUntil([&] { return !LookupPassword(office) && LookupPassword(renamed); }));
    EXPECT_EQ(LookupPassword(renamed), "moving");
    EXPECT_FALSE(called);

    moved.reset();
    auto nothing = MovePasswordAsync(office, CredentialKey::ForProfile("Elsewhere", "admin"),
                                     [&](const MoveResult& result) { moved = result; });
    ASSERT_TRUE(RunMainContextUntil([&] { return moved.has_value(); }));
    EXPECT_FALSE(moved->Moved);
    EXPECT_EQ(moved->Error, "");
    EXPECT_EQ(LookupPassword(CredentialKey::ForProfile("Elsewhere", "admin")), std::nullopt);
    DeletePassword(renamed);
    DeletePassword(bystander);
}

// Run alone, on a Secret Service of its own: it leaves the default collection locked.
TEST(KeyringLocked, AMoveThatCannotStoreKeepsThePasswordUnderTheOldKeyAndSaysSo)
{
    REQUIRE_SECRET_SERVICE();
    CredentialKey office = CredentialKey::ForProfile("Office", "admin");
    CredentialKey renamed = CredentialKey::ForProfile("Head office", "admin");
    ASSERT_EQ(StoreInSessionCollection(office, "kept"), "");
    ASSERT_EQ(LockDefaultCollection(), "");

    try
    {
        MovePassword(office, renamed);
        ADD_FAILURE() << "a store into a locked collection succeeded";
    }
    catch (const KeyringError& error)
    {
        EXPECT_TRUE(std::string(error.what())
                        .starts_with("Cannot store the password under the new name, so it "
                                     "stays under the old one: "))
            << error.what();
    }
    EXPECT_EQ(LookupPassword(office), "kept");

    std::optional<MoveResult> moved;
    auto request = MovePasswordAsync(office, renamed, [&](const MoveResult& result) { moved = result; });
    ASSERT_TRUE(RunMainContextUntil([&] { return moved.has_value(); }));
    EXPECT_FALSE(moved->Moved);
    EXPECT_NE(moved->Error.find("stays under the old one"), std::string::npos) << moved->Error;
    EXPECT_EQ(LookupPassword(office), "kept");
}

// Run alone, on a Secret Service of its own: it leaves the default collection locked.
TEST(KeyringLocked, ALookupThatMayNotAskFindsOnlyWhatIsUnlocked)
{
    REQUIRE_SECRET_SERVICE();
    const CredentialKey locked = CredentialKey::ForProfile("Office", "admin");
    const CredentialKey open = CredentialKey::ForProfile("Lab", "admin");
    StorePassword(locked, "behind the lock");
    ASSERT_EQ(StoreInSessionCollection(open, "open"), "");
    EXPECT_EQ(LookupUnlockedPassword(locked), "behind the lock");
    ASSERT_EQ(LockDefaultCollection(), "");

    EXPECT_EQ(LookupUnlockedPassword(locked), std::nullopt);
    EXPECT_EQ(LookupUnlockedPassword(open), "open");
}

TEST(Keyring, WithoutASessionBusTheReasonIsGiven)
{
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string address = saved ? saved : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    Availability availability = SecretServiceAvailability();
    if (!address.empty())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    EXPECT_FALSE(availability.Available);
    EXPECT_NE(availability.Reason.find("DBUS_SESSION_BUS_ADDRESS"), std::string::npos) << availability.Reason;
}

TEST(Keyring, AServiceOnTheSessionBusIsAvailable)
{
    REQUIRE_SECRET_SERVICE();
    EXPECT_TRUE(SecretServiceAvailability().Available);
    EXPECT_EQ(SecretServiceAvailability().Reason, "");
}

} // namespace
} // namespace korvel::test
