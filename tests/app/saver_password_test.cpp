#include "base/error.h"
#include "platform/password_dialogs.h"
#include "platform/saver_password.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// Every test gets its own configuration folder.
class SaverPasswordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/velmora-password-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        home = name;
        const char* saved = std::getenv("XDG_CONFIG_HOME");
        saved_config = saved ? std::optional<std::string>(saved) : std::nullopt;
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    }
    void TearDown() override
    {
        SaverPassword::set_prompt({});
        if (saved_config)
            setenv("XDG_CONFIG_HOME", saved_config->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(home);
    }

    static std::string contents(const fs::path& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void store(const std::string& text)
    {
        fs::create_directories(fs::path(SaverPassword::file_path()).parent_path());
        std::ofstream(SaverPassword::file_path()) << text;
    }
    static int mode_of(const fs::path& path)
    {
        struct stat st { };
        EXPECT_EQ(stat(path.c_str(), &st), 0);
        return static_cast<int>(st.st_mode & 07777);
    }

    fs::path home;
    std::optional<std::string> saved_config;
};

} // namespace

TEST_F(SaverPasswordTest, FileLivesInTheConfigFolderElseUnderHome)
{
    EXPECT_EQ(SaverPassword::file_path(), (home / "config" / "velmora" / "password").string());
    const char* saved_home = std::getenv("HOME");
    const std::string old_home = saved_home ? saved_home : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SaverPassword::file_path(), (home / ".config" / "velmora" / "password").string());
    // Without HOME the user's own home folder is still the place.
    unsetenv("HOME");
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(SaverPassword::file_path(),
        (fs::path(user->pw_dir) / ".config" / "velmora" / "password").string());
    setenv("HOME", old_home.c_str(), 1);
}

TEST_F(SaverPasswordTest, WithoutAPasswordNothingIsAsked)
{
    EXPECT_FALSE(SaverPassword::in_use());
    EXPECT_FALSE(SaverPassword::check(""));
    bool asked = false;
    SaverPassword::set_prompt([&](QWidget*) {
        asked = true;
        return std::optional<std::string>();
    });
    EXPECT_TRUE(SaverPassword::verify(nullptr));
    EXPECT_FALSE(asked);
}

TEST_F(SaverPasswordTest, StoresOnlyAHashThatOnlyTheOwnerCanRead)
{
    SaverPassword::set("open sesame");
    EXPECT_TRUE(SaverPassword::in_use());
    const fs::path file = SaverPassword::file_path();
    EXPECT_EQ(mode_of(file), 0600);
    EXPECT_EQ(mode_of(file.parent_path()), 0700);
    const std::string stored = contents(file);
    EXPECT_EQ(stored.rfind("$y$", 0), 0u);
    EXPECT_EQ(stored.find("sesame"), std::string::npos);

    EXPECT_TRUE(SaverPassword::check("open sesame"));
    for (const char* wrong : { "", "open Sesame", "open sesame ", "open sesam" })
        EXPECT_FALSE(SaverPassword::check(wrong)) << wrong;

    // The same password hashes differently each time (a fresh salt).
    SaverPassword::set("open sesame");
    EXPECT_NE(contents(file), stored);
}

TEST_F(SaverPasswordTest, ChangingReplacesTheFileWholeAndRemovingEndsUse)
{
    SaverPassword::set("first");
    SaverPassword::set("second");
    EXPECT_FALSE(SaverPassword::check("first"));
    EXPECT_TRUE(SaverPassword::check("second"));
    // No temporary files are left beside it.
    const fs::path dir = fs::path(SaverPassword::file_path()).parent_path();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    SaverPassword::remove();
    EXPECT_FALSE(SaverPassword::in_use());
    EXPECT_FALSE(fs::exists(SaverPassword::file_path()));
    EXPECT_NO_THROW(SaverPassword::remove());
}

TEST_F(SaverPasswordTest, AFileWithoutAValidHashMeansNoPassword)
{
    SaverPassword::set("secret");
    const std::string good = contents(SaverPassword::file_path());
    const std::string corrupt[] = {
        "",
        "secret\n",
        good.substr(0, good.size() - 5),
        good.substr(0, good.size() - 1) + "!\n",
        "$1$abc$0123456789012345678901\n",
        good + good,
        std::string(4000, '$'),
    };
    for (const std::string& text : corrupt) {
        store(text);
        EXPECT_FALSE(SaverPassword::in_use()) << text;
        EXPECT_FALSE(SaverPassword::check("secret")) << text;
    }
    store(good);
    EXPECT_TRUE(SaverPassword::check("secret"));
}

TEST_F(SaverPasswordTest, AFailedSaveReportsAndKeepsThePreviousPassword)
{
    SaverPassword::set("kept");
    const std::string path = SaverPassword::file_path();
    // A configuration folder that is a plain file defeats even root.
    std::ofstream(home / "plain-file") << "x";
    setenv("XDG_CONFIG_HOME", (home / "plain-file").c_str(), 1);
    try {
        SaverPassword::set("lost");
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + SaverPassword::file_path());
    }
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    EXPECT_TRUE(SaverPassword::check("kept"));
}

TEST_F(SaverPasswordTest, VerifyAsksThroughThePrompt)
{
    SaverPassword::set("letmein");
    QWidget parent;
    QWidget* asked_over = nullptr;
    std::optional<std::string> answer;
    SaverPassword::set_prompt([&](QWidget* over) {
        asked_over = over;
        return answer;
    });
    answer = "letmein";
    EXPECT_TRUE(SaverPassword::verify(&parent));
    EXPECT_EQ(asked_over, &parent);
    answer = "letmeout";
    EXPECT_FALSE(SaverPassword::verify(&parent));
    answer.reset(); // cancelled
    EXPECT_FALSE(SaverPassword::verify(&parent));
}

TEST_F(SaverPasswordTest, TheRealPromptHandsOverWhatWasTyped)
{
    SaverPassword::set("typed");
    // Answers the modal prompt once it is up.
    const auto answer = [](const QString& text, bool accept) {
        QTimer::singleShot(0, [=] {
            QWidget* prompt = QApplication::activeModalWidget();
            ASSERT_NE(prompt, nullptr);
            prompt->findChild<QLineEdit*>()->setText(text);
            auto* dialog = qobject_cast<QDialog*>(prompt);
            accept ? dialog->accept() : dialog->reject();
        });
    };
    answer("typed", true);
    EXPECT_TRUE(SaverPassword::verify(nullptr));
    answer("wrong", true);
    EXPECT_FALSE(SaverPassword::verify(nullptr));
    answer("typed", false);
    EXPECT_FALSE(SaverPassword::verify(nullptr));
}

TEST_F(SaverPasswordTest, ChangeDialogSetsANewPasswordOnlyWhenBothEntriesAgree)
{
    PasswordChangeDialog dialog;
    EXPECT_TRUE(dialog.OldPasswordEdit->isHidden());
    EXPECT_TRUE(dialog.RemoveButton->isHidden());

    dialog.OKButtonClick();
    EXPECT_FALSE(dialog.MessageLab->text().isEmpty());
    dialog.NewPasswordEdit->setText("alpha");
    dialog.ConfirmEdit->setText("alpah");
    dialog.OKButtonClick();
    EXPECT_FALSE(SaverPassword::in_use());
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.NewPasswordEdit->setText("alpha");
    dialog.ConfirmEdit->setText("alpha");
    dialog.OKButtonClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(SaverPassword::check("alpha"));
    EXPECT_TRUE(dialog.NewPasswordEdit->text().isEmpty());
}

TEST_F(SaverPasswordTest, ChangeDialogNeedsTheOldPasswordToChangeOrRemove)
{
    SaverPassword::set("old");
    PasswordChangeDialog dialog;
    EXPECT_FALSE(dialog.OldPasswordEdit->isHidden());
    EXPECT_FALSE(dialog.RemoveButton->isHidden());

    dialog.OldPasswordEdit->setText("guess");
    dialog.NewPasswordEdit->setText("new");
    dialog.ConfirmEdit->setText("new");
    dialog.OKButtonClick();
    EXPECT_TRUE(SaverPassword::check("old"));
    dialog.OldPasswordEdit->setText("guess");
    dialog.RemoveButtonClick();
    EXPECT_TRUE(SaverPassword::in_use());
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.OldPasswordEdit->setText("old");
    dialog.NewPasswordEdit->setText("new");
    dialog.ConfirmEdit->setText("new");
    dialog.OKButtonClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(SaverPassword::check("new"));

    PasswordChangeDialog removal;
    removal.OldPasswordEdit->setText("new");
    removal.RemoveButtonClick();
    EXPECT_EQ(removal.result(), QDialog::Accepted);
    EXPECT_FALSE(SaverPassword::in_use());
}
