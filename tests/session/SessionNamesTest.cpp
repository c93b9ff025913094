// Session names, the session list, auto-session naming and the component owner: nothing here talks to a
// server.
#include "SessionTest.h"

#include "engine/Engine.h"
#include "engine/wire/EngineError.h"

namespace korvel::test
{
namespace
{

using SessionNamesTest = SessionTest;

std::string RefusalOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const EDatabaseError& error)
    {
        return error.what();
    }
    return "(nothing raised)";
}

TEST_F(SessionNamesTest, NamesAreUniqueWithoutRegardToCaseAndLookedUpInTheList)
{
    TKORVELSession* defaultSession = DefaultSession();
    ASSERT_NE(defaultSession, nullptr);
    EXPECT_EQ(defaultSession->SessionName(), "Default");
    EXPECT_TRUE(defaultSession->IsDefault());

    TKORVELSession first;
    first.SetSessionName("Remote");
    TKORVELSession second;
    EXPECT_FALSE(second.IsDefault());
    EXPECT_EQ(RefusalOf([&] { second.SetSessionName("remote"); }), "Session name remote already exists.");
    EXPECT_EQ(second.SessionName(), "");
    first.SetSessionName("REMOTE"); // its own name in another case is no conflict
    EXPECT_EQ(first.SessionName(), "REMOTE");

    EXPECT_EQ(Sessions()->FindSession("remote"), &first);
    EXPECT_EQ(Sessions()->FindSession(""), defaultSession);
    EXPECT_EQ(Sessions()->FindSession("other"), nullptr);
    EXPECT_EQ(&Sessions()->GetSession("Remote"), &first);
    EXPECT_EQ(RefusalOf([] { Sessions()->GetSession("Nowhere"); }), "Session name Nowhere is not valid.");
    EXPECT_EQ(Sessions()->Count(), 3u);
}

TEST_F(SessionNamesTest, AutoSessionsAreNumberedFromTheComponentNameAndNumbersAreReused)
{
    TComponent firstOwner, secondOwner, thirdOwner;
    auto* first = new TKORVELSession(&firstOwner);
    first->SetName("RemoteSession");
    first->SetAutoSessionName(true);
    EXPECT_EQ(first->SessionName(), "RemoteSession_1");
    EXPECT_EQ(RefusalOf([&] { first->SetSessionName("Mine"); }),
              "Cannot perform this operation on the active auto-session.");
    EXPECT_EQ(RefusalOf([&] { new TKORVELSession(&firstOwner); }), "This auto-session already exists.");
    EXPECT_EQ(firstOwner.Components().size(), 1u); // the refused session left its owner again

    auto* second = new TKORVELSession(&secondOwner);
    second->SetName("Other");
    second->SetAutoSessionName(true);
    EXPECT_EQ(second->SessionName(), "Other_2");

    first->SetAutoSessionName(false);
    EXPECT_EQ(first->SessionName(), "RemoteSession_1"); // the name stays, the number is free again
    auto* third = new TKORVELSession(&thirdOwner);
    third->SetName("Third");
    third->SetAutoSessionName(true);
    EXPECT_EQ(third->SessionName(), "Third_1");

    third->SetName("Renamed"); // renaming repeats the naming with the same number
    EXPECT_EQ(third->SessionName(), "Renamed_1");

    auto* plain = new TKORVELSession(&firstOwner);
    EXPECT_EQ(RefusalOf([&] { plain->SetAutoSessionName(true); }),
              "The active auto-session can be the only active session.");
    EXPECT_FALSE(plain->AutoSessionName());
}

TEST_F(SessionNamesTest, RefusedAutoNameAndDestroyedAutoSessionGiveTheirNumberBack)
{
    TKORVELSession taken;
    taken.SetSessionName("Clash_1");
    {
        TComponent owner;
        auto* session = new TKORVELSession(&owner);
        session->SetName("Clash");
        EXPECT_EQ(RefusalOf([&] { session->SetAutoSessionName(true); }),
                  "Session name Clash_1 already exists.");
        EXPECT_FALSE(session->AutoSessionName());
        session->SetName("Gone");
        session->SetAutoSessionName(true);
        EXPECT_EQ(session->SessionName(), "Gone_1");
    } // the owner frees the session, and with it number 1

    TComponent owner;
    auto* next = new TKORVELSession(&owner);
    next->SetName("Next");
    next->SetAutoSessionName(true);
    EXPECT_EQ(next->SessionName(), "Next_1");
}

TEST_F(SessionNamesTest, OwnerFreesItsComponentsAndLoadedAppliesTheStreamedActiveValue)
{
    auto* owner = new TComponent;
    auto* session = new TKORVELSession(owner);
    session->SetSessionName("Streamed");
    owner->BeginReading();
    EXPECT_TRUE(session->Reading());
    session->SetActive(true);
    EXPECT_FALSE(session->Active()); // only recorded while being read
    owner->EndReading();
    EXPECT_FALSE(session->Reading());
    EXPECT_TRUE(session->Active());
    EXPECT_TRUE(DefaultSession()->Active());

    EXPECT_EQ(Sessions()->Count(), 2u);
    delete owner; // deactivates and unregisters the session it owns
    EXPECT_EQ(Sessions()->Count(), 1u);
    EXPECT_EQ(Sessions()->FindSession("Streamed"), nullptr);
}

TEST_F(SessionNamesTest, DestroyingTheSessionsStopsTheEngineAndFreesLeftOverSessions)
{
    new TKORVELSession; // left registered: the list frees it
    auto* local = new TKORVELSession;
    local->SetSessionName("Local");
    local->SetActive(true);
    EXPECT_TRUE(EngineStarted());
    DestroySessions();
    EXPECT_FALSE(EngineStarted());
    EXPECT_EQ(Sessions(), nullptr);
    EXPECT_EQ(DefaultSession(), nullptr);
    CreateSessions(); // for TearDown
}

} // namespace
} // namespace korvel::test
