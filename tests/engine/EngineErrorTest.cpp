#include "CaptureError.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace korvel
{
namespace
{

using test::CaptureEngineError;

TEST(EngineError, MessageTextsFillPlaceholdersInTableOrder)
{
    auto none = CaptureEngineError([] { RaiseEngineError(KORVEL_NOTINITIALIZED, "srv"); });
    EXPECT_STREQ(none->what(), "KORVEL Engine Error # 10758 The database engine is not initialized");

    auto one = CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTECOMMLOST, "dbhost"); });
    EXPECT_STREQ(one->what(),
                 "KORVEL Engine Error # 11276 The connection to the database server at 'dbhost' has "
                 "been lost");

    auto two =
        CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTEUNKNOWN, "S", "", "", "", "", "", "D"); });
    EXPECT_STREQ(two->what(),
                 "KORVEL Engine Error # 11279 An unknown error ('D') occurred with the connection to "
                 "the database server at 'S', please check the server log");

    auto indexTable = CaptureEngineError([] { RaiseEngineError(9729, "", "", "", "T", "", "I"); });
    EXPECT_STREQ(indexTable->what(),
                 "KORVEL Engine Error # 9729 Duplicate key found in the index 'I' of the table 'T'");

    auto three = CaptureEngineError([] { RaiseEngineError(10023, "", "", "", "T", "F", "I"); });
    EXPECT_STREQ(
        three->what(),
        "KORVEL Engine Error # 10023 Invalid field number 'F' specified in the index 'I' for the table 'T'");

    auto userDatabaseServer =
        CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTENODBUSER, "S", "U", "DB"); });
    EXPECT_STREQ(userDatabaseServer->what(),
                 "KORVEL Engine Error # 11297 The database user 'U' does not exist for "
                 "the database 'DB' on the database server at 'S'");

    auto emptyServer = CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTECOMMLOST); });
    EXPECT_STREQ(emptyServer->what(),
                 "KORVEL Engine Error # 11276 The connection to the database server at '' has been lost");
}

TEST(EngineError, CodesWithoutTextAndLongTexts)
{
    auto unknown = CaptureEngineError([] { RaiseEngineError(12345, "S"); });
    EXPECT_STREQ(unknown->what(), "KORVEL Engine Error # 12345 An unknown error occurred");
    EXPECT_EQ(ReplyCodeName(12345), "");

    auto callback = CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTECALLBACK, "S"); });
    EXPECT_STREQ(callback->what(), "KORVEL Engine Error # 11284 An unknown error occurred");

    auto highest = CaptureEngineError([] { RaiseEngineError(65535); });
    EXPECT_STREQ(highest->what(), "KORVEL Engine Error # 65535 An unknown error occurred");

    const std::string detail(255, 'x');
    auto sql = CaptureEngineError([&] { RaiseEngineError(11949, "", "", "", "", "", "", detail); });
    const std::string text = "SQL error - " + detail;
    EXPECT_EQ(sql->what(), "KORVEL Engine Error # 11949 " + text.substr(0, 254));
    EXPECT_EQ(sql->ErrorDetail, detail);

    // A context string longer than 255 bytes is cut, never on the middle of a character.
    const std::string longTable = std::string(254, 't') + "\xC3\xA9" + "more";
    auto cut = CaptureEngineError([&] { RaiseEngineError(11010, "", "", "", longTable); });
    EXPECT_EQ(cut->ErrorTableName, std::string(254, 't'));
}

TEST(EngineError, TableHasNinetyTextsAndTheirNames)
{
    int texts = 0;
    int names = 0;
    for (int code = 0; code <= 0xFFFF; ++code)
    {
        const auto errorCode = static_cast<ErrorCode>(code);
        texts += ErrorMessageText(errorCode) != "An unknown error occurred" ? 1 : 0;
        names += ReplyCodeName(errorCode).empty() ? 0 : 1;
    }
    EXPECT_EQ(texts, 90);
    EXPECT_EQ(names, 92);
    EXPECT_EQ(ReplyCodeName(0), "KORVEL_NONE");
    EXPECT_EQ(ReplyCodeName(11284), "KORVEL_REMOTECALLBACK");
    EXPECT_EQ(ReplyCodeName(11276), "KORVEL_REMOTECOMMLOST");
    EXPECT_EQ(ReplyCodeName(11287), "KORVEL_REMOTEINVLOGIN");
    EXPECT_EQ(ReplyCodeName(8705), "KORVEL_BOF");
    EXPECT_EQ(ReplyCodeName(15878), "KORVEL_CANNOTLOADLDDRV");
}

TEST(EngineError, EachRaiseCarriesOnlyItsOwnContext)
{
    auto full = CaptureEngineError([] { RaiseEngineError(11288, "S", "U", "D", "T", "F", "I", "X"); });
    EXPECT_EQ(full->ErrorCode, 11288);
    EXPECT_EQ(full->ErrorRemoteName, "S");
    EXPECT_EQ(full->ErrorUserName, "U");
    EXPECT_EQ(full->ErrorDatabaseName, "D");
    EXPECT_EQ(full->ErrorTableName, "T");
    EXPECT_EQ(full->ErrorFieldName, "F");
    EXPECT_EQ(full->ErrorIndexName, "I");
    EXPECT_EQ(full->ErrorDetail, "X");

    auto serverOnly = CaptureEngineError([] { RaiseEngineError(KORVEL_REMOTECOMMLOST, "S2"); });
    EXPECT_EQ(serverOnly->ErrorRemoteName, "S2");
    for (const std::string* value :
         {&serverOnly->ErrorUserName, &serverOnly->ErrorDatabaseName, &serverOnly->ErrorTableName,
          &serverOnly->ErrorFieldName, &serverOnly->ErrorIndexName, &serverOnly->ErrorDetail})
        EXPECT_TRUE(value->empty());

    // The engine error is a database error; the abort is not.
    EXPECT_THROW(RaiseEngineError(KORVEL_COMPRESS), EDatabaseError);
    try
    {
        Abort();
    }
    catch (const EAbort& abort)
    {
        EXPECT_STREQ(abort.what(), "Operation aborted");
    }
}

TEST(EngineError, ConcurrentRaisesDoNotMixTheirContexts)
{
    constexpr int Threads = 8;
    constexpr int Raises = 500;
    std::atomic<int> mixed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
    {
        threads.emplace_back(
            [t, &mixed]
            {
                const std::string server = "server" + std::to_string(t);
                const std::string user = "user" + std::to_string(t);
                for (int i = 0; i < Raises; ++i)
                {
                    try
                    {
                        RaiseEngineError(KORVEL_REMOTENOTADMIN, server, user);
                    }
                    catch (const EKORVELEngineError& error)
                    {
                        const std::string expected =
                            "KORVEL Engine Error # 11289 The user '" + user +
                            "' is not authorized to perform administration functions on the "
                            "database server at '" +
                            server + "'";
                        if (error.what() != expected || error.ErrorRemoteName != server ||
                            error.ErrorUserName != user)
                            ++mixed;
                    }
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mixed.load(), 0);
}

} // namespace
} // namespace korvel
