// The window through a real OpenSSH server (a bastion the test starts): a profile's login reads the pages on
// a channel of the SSH session and the status bar says "via bastion"; an unknown host key is asked in the
// window and remembered only when the person clicks "Trust and remember"; a key's passphrase is typed into a
// hidden edit, kept in the keyring when the person ticks it, and asked again when the session re-connects; a
// bastion that never answers ends with the window's Cancel; and Test Connection names the hop that failed.
// $HOME is the test's own, so nothing here reads or writes the real ~/.ssh.
#include "admin/connection/ProfilesDialog.h"
#include "credentials/Keyring.h"
#include "settings/Profiles.h"
#include "testing/SshServer.h"
#include "testing/TempDir.h"
#include "tests/admin/window/WindowFixture.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A loopback port that is bound but never listens: a connection to it is refused at once, and no other
// program can take the port while this lives.
class RefusingPort
{
public:
    RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("cannot bind a loopback port");
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(socket_); }
    std::uint16_t Port() const { return port_; }

private:
    int socket_;
    std::uint16_t port_ = 0;
};

class SshLoginTest : public WindowTest
{
protected:
    SshLoginTest()
    {
        qputenv("HOME", QByteArray::fromStdString(home.Path()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home / ".config"));
        qputenv("SSH_AUTH_SOCK", ""); // no agent of the caller's
        std::filesystem::create_directory(home / ".ssh");
        ::chmod((home / ".ssh").c_str(), 0700);
        GenerateKey(key);
        GenerateKey(lockedKey, "open sesame");
        SshServerOptions options;
        options.AuthorizedKeys = {key + ".pub", lockedKey + ".pub"};
        bastion = std::make_unique<SshServer>(options);
    }

    void TrustBastion() { std::ofstream(knownHosts, std::ios::trunc) << bastion->KnownHostsLine() << "\n"; }

    // A profile to the server through the bastion, with the test's key (File > Login goes straight there).
    settings::Profile SaveProfile(int sshPort, const std::string& identityFile = {})
    {
        StartServer();
        settings::Profile profile;
        profile.Name = "Behind the bastion";
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(server->AdminPort());
        profile.User = "admin";
        profile.Server.Ssh.Host = "127.0.0.1";
        profile.Server.Ssh.Port = static_cast<std::uint16_t>(sshPort);
        profile.Server.Ssh.IdentityFile = identityFile.empty() ? key : identityFile;
        settings::ProfileStore().Save(profile);
        return profile;
    }

    // Opens File > Connect to and clicks the profile, as the user does; returns at once.
    void ClickConnectTo()
    {
        QMenu* menu = form->findChild<QMenu*>("ConnectToMenu");
        menu->popup(form->mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        ASSERT_FALSE(menu->actions().isEmpty());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().front()).center());
    }

    // Runs `interact` once an SSH question is up (it comes from the worker, some time after the click).
    static void WhenSshQuestion(std::function<void(QWidget& dialog)> interact)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout,
                         [poll, interact]
                         {
                             QWidget* dialog = QApplication::activeModalWidget();
                             if (!dialog || dialog->objectName() != "SshQuestionDialog")
                                 return;
                             poll->stop();
                             poll->deleteLater();
                             interact(*dialog);
                         });
        poll->start(10);
    }
    static void ClickButton(QWidget& dialog, const char* name)
    {
        auto* button = dialog.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    bool LoggedIn() const { return form->Login().LoggedIn(); }
    QLabel* BastionSection() const { return form->findChild<QLabel*>("BastionSection"); }

    TempDir home{"korvel-admin-ssh-home"};
    const std::string key = home / "bastion_key";
    const std::string lockedKey = home / "locked_key";
    const std::string knownHosts = home / ".ssh/known_hosts";
    std::unique_ptr<SshServer> bastion;
};

TEST_F(SshLoginTest, AProfileThroughTheBastionReadsEveryPageAndTheStatusBarSaysViaBastion)
{
    TrustBastion();
    SaveProfile(bastion->Port());
    OpenWindow(admin::CreatePages);
    const QString directTitle = [this]
    {
        LoginAsAdmin(); // File > Login, straight to the server, for the title to compare with
        QString title = form->windowTitle();
        Pick("LoginItem");
        return title;
    }();
    EXPECT_FALSE(BastionSection()->isVisible()) << "a direct login goes through no bastion";

    dialogs.Logins.push_back({true, "admin", "secret"});
    ClickConnectTo();
    Settle();
    ASSERT_TRUE(LoggedIn()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_GE(bastion->Connections(), 1) << "the login went through the bastion";
    EXPECT_EQ(form->findChild<QLineEdit*>("EngineVersionEdit")->text(), "KORVEL Version 3.21");
    auto* users = form->findChild<QAbstractItemView*>("UsersListBox");
    ASSERT_NE(users, nullptr);
    EXPECT_EQ(users->model()->rowCount(), 1);
    EXPECT_TRUE(BastionSection()->isVisible());
    EXPECT_EQ(BastionSection()->text(), "via bastion");
    EXPECT_EQ(form->windowTitle(), directTitle) << "the title does not change through a bastion";

    Pick("LoginItem");
    EXPECT_FALSE(BastionSection()->isVisible());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(SshLoginTest, AnUnknownHostKeyIsAskedCancelRefusesAndTrustAndRememberAddsItsLine)
{
    SaveProfile(bastion->Port());
    OpenWindow(admin::CreatePages);

    QString shownFingerprint, shownType;
    WhenSshQuestion(
        [&](QWidget& dialog)
        {
            shownFingerprint = dialog.findChild<QLabel*>("FingerprintLabel")->text();
            shownType = dialog.findChild<QLabel*>("KeyTypeLabel")->text();
            ClickButton(dialog, "CancelButton");
        });
    ClickConnectTo();
    Settle();
    EXPECT_FALSE(LoggedIn());
    EXPECT_EQ(shownFingerprint.toStdString(), bastion->HostKeyFingerprint());
    EXPECT_EQ(shownType, "ssh-ed25519");
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors().front().contains("is not known")) << dialogs.Errors().front().toStdString();
    EXPECT_TRUE(dialogs.Errors().front().contains(shownFingerprint));
    EXPECT_EQ(ReadFile(knownHosts), "") << "a refused key is not remembered";

    dialogs.Logins.push_back({true, "admin", "secret"});
    WhenSshQuestion([](QWidget& dialog) { ClickButton(dialog, "TrustButton"); });
    ClickConnectTo();
    Settle();
    EXPECT_TRUE(LoggedIn()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_TRUE(bastion->OnlyKnownHostIn(ReadFile(knownHosts))) << ReadFile(knownHosts);
}

TEST_F(SshLoginTest, TheKeysPassphraseIsTypedHiddenInTheWindow)
{
    TrustBastion();
    SaveProfile(bastion->Port(), lockedKey);
    OpenWindow(admin::CreatePages);
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    WhenSshQuestion(
        [&](QWidget& dialog)
        {
            auto* edit = dialog.findChild<QLineEdit*>("AnswerEdit");
            ASSERT_NE(edit, nullptr);
            echo = edit->echoMode();
            QTest::keyClicks(edit, "open sesame");
            ClickButton(dialog, "OKButton");
        });
    dialogs.Logins.push_back({true, "admin", "secret"});
    ClickConnectTo();
    Settle();
    EXPECT_TRUE(LoggedIn()) << dialogs.Errors().join("\n").toStdString();
    EXPECT_EQ(echo, QLineEdit::Password);
}

TEST_F(SshLoginTest, ATickedPassphraseIsKeptAndUsedAndARefreshAfterACutAsksAgain)
{
    if (std::getenv("KORVEL_NO_SECRET_SERVICE"))
        GTEST_SKIP() << std::getenv("KORVEL_NO_SECRET_SERVICE");
    TrustBastion();
    settings::Profile profile = SaveProfile(bastion->Port(), lockedKey);
    profile.KeepPassword = true;
    settings::ProfileStore().Save(profile);
    const credentials::CredentialKey kept = credentials::CredentialKey::ForSshKey(lockedKey);
    OpenWindow(admin::CreatePages);
    int questions = 0;
    // Types the passphrase; ticks "Keep in the keyring" when `keep`, and notes whether it was offered.
    auto typePassphrase = [&](bool keep, bool* offered)
    {
        WhenSshQuestion(
            [&, keep, offered](QWidget& dialog)
            {
                ++questions;
                auto* box = dialog.findChild<QCheckBox*>("KeepInKeyringCheckBox");
                *offered = box != nullptr;
                if (keep && box)
                    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
                QTest::keyClicks(dialog.findChild<QLineEdit*>("AnswerEdit"), "open sesame");
                ClickButton(dialog, "OKButton");
            });
    };
    auto connect = [&]
    {
        dialogs.Logins.push_back({true, "admin", "secret"});
        dialogs.Answers.push_back(admin::Answer::No); // keep the KORVEL password? no
        ClickConnectTo(); // the keyring is read first, the runner's login after it
        ASSERT_TRUE(WaitFor([this] { return LoggedIn(); }, 30000))
            << dialogs.Errors().join("\n").toStdString();
        Settle();
    };

    bool offeredAtLogin = false;
    typePassphrase(true, &offeredAtLogin);
    connect();
    EXPECT_TRUE(offeredAtLogin);
    EXPECT_TRUE(WaitFor([&] { return credentials::LookupPassword(kept) == "open sesame"; }, 10000));

    Pick("LoginItem");
    connect();
    EXPECT_EQ(questions, 1) << "the kept passphrase opens the key without a question";

    // The SSH connection is cut and nothing is kept any more: the Refresh that re-connects asks again.
    credentials::DeletePassword(kept);
    bastion->KillSessions();
    bool offeredOnRefresh = true;
    typePassphrase(false, &offeredOnRefresh);
    auto* refresh = form->findChild<QPushButton*>("RefreshButton");
    QTest::mouseClick(refresh, Qt::LeftButton, {}, refresh->rect().center());
    Settle();
    EXPECT_EQ(questions, 2);
    EXPECT_FALSE(offeredOnRefresh) << "only a login keeps what was typed";
    EXPECT_TRUE(LoggedIn());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join("\n").toStdString();
}

TEST_F(SshLoginTest, TheWindowsCancelEndsALoginThroughABastionThatNeverAnswers)
{
    TrustBastion();
    SaveProfile(bastion->Port());
    OpenWindow(admin::CreatePages);
    bastion->SetSilent(true);
    ClickConnectTo();
    auto* cancel = form->findChild<QPushButton*>("CancelWaitButton");
    ASSERT_TRUE(WaitFor([cancel] { return cancel->isVisible(); }, 30000));
    QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
    // A generous limit: this checks that the login ends, the bench measures how fast.
    EXPECT_TRUE(WaitFor([this] { return !form->Runner().Busy(); }, 30000));
    EXPECT_FALSE(LoggedIn());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << "the person's Cancel needs no box";
}

TEST_F(SshLoginTest, TestConnectionNamesTheHopThatFailed)
{
    RefusingPort nothing;
    SaveProfile(nothing.Port());
    OpenWindow(admin::CreatePages);
    QString result;
    WhenModal(
        [&](QWidget& dialog)
        {
            ClickButton(dialog, "TestConnectionButton");
            auto* label = dialog.findChild<QLabel*>("TestResultLabel");
            EXPECT_TRUE(WaitFor([label] { return label->text() != "Testing..."; }, 30000));
            result = label->text();
            ClickButton(dialog, "CloseButton");
        });
    Pick("ProfilesItem");
    EXPECT_TRUE(result.startsWith("SSH server unreachable")) << result.toStdString();
    EXPECT_TRUE(result.contains("127.0.0.1:" + QString::number(nothing.Port()))) << result.toStdString();
}

} // namespace
} // namespace korvel::test
