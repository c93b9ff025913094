// The exporter's door as a scraper meets it: with a web configuration file only its basic_auth_users get in
// (bcrypt hashes), a file changed while it runs is read again and a broken one lets nobody in; a file it
// cannot honour stops it at start.
#include "exporter/Exporter.h"
#include "testing/Eventually.h"
#include "testing/TempDir.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <chrono>
#include <crypt.h>
#include <gtest/gtest.h>

namespace
{

using namespace korvel::exporter;
using korvel::test::BasicAuthHeader;
using korvel::test::Eventually;
using korvel::test::HttpClient;
using korvel::test::TempDir;

// A bcrypt hash as htpasswd -B writes it, at the lowest cost so the test stays quick.
std::string Bcrypt(const std::string& password)
{
    crypt_data scratch{};
    return crypt_r(password.c_str(), "$2b$04$abcdefghijklmnopqrstuu", &scratch);
}

class WebDoorTest : public testing::Test
{
protected:
    std::unique_ptr<Exporter> Start(const std::string& webConfig)
    {
        ExporterOptions options;
        options.Listen = "127.0.0.1:0";
        options.WebConfigFile = webConfig;
        return std::make_unique<Exporter>(std::move(options));
    }

    TempDir dir_;
    HttpClient http_;
};

TEST_F(WebDoorTest, OnlyTheConfiguredUsersGetInAndAChangedFileIsReadAgain)
{
    const std::string config =
        dir_.WriteFile("web.yml", "basic_auth_users:\n  prometheus: " + Bcrypt("s3cret") + "\n");
    const auto exporter = Start(config);
    const std::string url = "http://127.0.0.1:" + std::to_string(exporter->Port()) + "/metrics";

    struct Case
    {
        const char* Why;
        std::vector<std::string> Headers;
        long Status;
    };
    // /targets tells where the servers are: it is behind the same door as the metrics.
    for (const std::string& path : {url, url.substr(0, url.rfind('/')) + "/targets"})
        for (const Case& row : {
                 Case{"no credentials", {}, 401},
                 Case{"a wrong password", {BasicAuthHeader("prometheus", "guess")}, 401},
                 Case{"an unknown user with a known password", {BasicAuthHeader("grafana", "s3cret")}, 401},
                 Case{"not Basic", {"Authorization: Bearer s3cret"}, 401},
                 Case{"broken base64", {"Authorization: Basic ***="}, 401},
                 Case{"the user", {BasicAuthHeader("prometheus", "s3cret")}, 200},
                 Case{"the user again, from the memory of passed logins",
                      {BasicAuthHeader("prometheus", "s3cret")},
                      200},
             })
            EXPECT_EQ(http_.Get(path, row.Headers).Status, row.Status) << path << ": " << row.Why;

    // The operator rotates the password: the old one stops working within moments, the new one works.
    dir_.WriteFile("web.yml", "basic_auth_users:\n  prometheus: " + Bcrypt("rotated") + "\n");
    EXPECT_TRUE(
        Eventually([&] { return http_.Get(url, {BasicAuthHeader("prometheus", "s3cret")}).Status == 401; },
                   std::chrono::seconds(30)))
        << "the old password still works";
    EXPECT_EQ(http_.Get(url, {BasicAuthHeader("prometheus", "rotated")}).Status, 200);

    dir_.WriteFile("web.yml", "basic_auth_users: [not, a, mapping]\n");
    EXPECT_TRUE(
        Eventually([&] { return http_.Get(url, {BasicAuthHeader("prometheus", "rotated")}).Status == 500; },
                   std::chrono::seconds(30)))
        << "a broken file let someone in";
}

TEST_F(WebDoorTest, RefusesAFileItCannotUseAtStart)
{
    for (const char* text : {"basic_auth_users:\n  prometheus: plain-text-password\n",
                             "listen_address: 0.0.0.0\n", "basic_auth_users: {\n"})
    {
        const std::string config = dir_.WriteFile("bad.yml", text);
        EXPECT_THROW(Start(config), std::runtime_error) << text;
    }
    EXPECT_THROW(Start(dir_ / "missing.yml"), std::runtime_error);
}

} // namespace
