#include "base/error.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

void put_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string file_text(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<std::string> folder_listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string error_text(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no error)";
}

// Runs `check` in a child process that cannot write where its owner's write
// permission is missing (root gives up its rights there), and tells whether
// it returned true. Assertions cannot leave a child, so it reports by exit code.
bool in_unprivileged_child(const std::function<bool()>& check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        bool passed = false;
        try {
            passed = check();
        } catch (...) {
        }
        _exit(passed ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Each test works in a folder of its own with the program file "bin/velmora"
// in it, so the default settings file is bin/velmora.INI.
class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        std::string name = (fs::temp_directory_path() / "velmora-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        root_ = name;
        fs::permissions(root_,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                | fs::perms::others_read | fs::perms::others_exec);
        bin_ = root_ + "/bin";
        fs::create_directory(bin_);
        ini_ = bin_ + "/velmora.INI";
        override_program_file_name(bin_ + "/velmora");
        settings() = Settings {};
    }

    void TearDown() override
    {
        override_program_file_name({});
        settings() = Settings {};
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        }
        fs::remove_all(root_);
    }

    // Reads `text` as the default settings file.
    void read(const std::string& text)
    {
        put_file(ini_, text);
        read_settings({});
    }

    std::string root_, bin_, ini_;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

Settings defaults(const std::string& folder)
{
    Settings s;
    s.InstallDir = folder + "/";
    s.ImageDir = folder;
    s.ReflectionHeightPercent = 80;
    s.DelayTimeMS = 70;
    s.WaveFactor1 = 17;
    s.WaveFactor2 = 30;
    s.MultDelayTime = 10;
    s.OverlayReflection = true;
    s.NumberOfReflectedImages = 12;
    s.OverlayZoomFactor = 100;
    s.AutoOverlayXparentColor = true;
    s.ImageResCode = 1;
    s.OverlayBrightnessLevel = 1;
    return s;
}

} // namespace

TEST_F(SettingsStore, DefaultFileLivesBesideTheProgram)
{
    EXPECT_EQ(settings_file_name(), ini_);
    override_program_file_name(bin_ + "/velmora.bin");
    EXPECT_EQ(settings_file_name(), ini_);
    EXPECT_EQ(replace_extension("/opt/v1.2/velmora", ".INI"), "/opt/v1.2/velmora.INI");
    EXPECT_EQ(replace_extension("backup.cfg", ".INI"), "backup.INI");
    EXPECT_EQ(replace_extension("/home/u/.velmora", ".INI"), "/home/u/.velmora.INI");
}

TEST_F(SettingsStore, DefaultFileMovesToTheUserConfigFolderWhenTheProgramFolderIsReadOnly)
{
    fs::permissions(bin_, fs::perms::owner_write, fs::perm_options::remove);
    const std::string config = root_ + "/config";
    fs::create_directory(config);
    fs::permissions(config, fs::perms::all);
    EXPECT_TRUE(in_unprivileged_child([&] {
        setenv("HOME", "/nonexistent-home", 1);
        setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
        if (settings_file_name() != "/nonexistent-home/.config/velmora/velmora.INI")
            return false;
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const std::string expected = config + "/velmora/velmora.INI";
        if (settings_file_name() != expected)
            return false;
        // Saving creates the folder; reading finds the file again.
        settings().DelayTimeMS = 123;
        write_settings({});
        settings().DelayTimeMS = 0;
        read_settings({});
        return settings().DelayTimeMS == 123;
    }));
}

TEST_F(SettingsStore, MissingFileReadsDefaultsAndIsNotCreated)
{
    settings().SelectedImageIndex = 4;
    read_settings({});
    Settings expected = defaults(bin_);
    expected.SelectedImageIndex = 4;
    EXPECT_EQ(settings(), expected);
    EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(SettingsStore, NewFileListsKeysInFirstWritingOrder)
{
    Settings& s = settings();
    s = defaults(bin_);
    s.ImageFileName = "/p/main.jpg";
    s.OverlayXparentColor = -1;
    s.MultipleMode = true;
    s.NumMultipleImages = 2;
    s.Images = { { "/p/a.jpg", 5, true }, { "/p/b.jpg", 0, false } };
    write_settings({});
    EXPECT_EQ(file_text(ini_),
        "[Setup]\nImageDir=" + bin_
            + "\nWaveFactor2=30\nImageFileName=/p/main.jpg\n"
              "Overlay=False\nOverlayFileName=\nReflectionHeightPercent=80\nDelayTimeMS=70\n"
              "WaveFactor1=17\nXOffSet=0\nYOffSet=0\nShiftHorizon=False\nShiftPixels=0\n"
              "MultipleMode=True\nNumMultipleImages=2\nImageNumber_01=/p/a.jpg\n"
              "ImageNumber_02=/p/b.jpg\nImageShiftNumber_01=5\nImageShiftNumber_02=0\n"
              "UseImageBottom_01=True\nUseImageBottom_02=False\nMultDelayTime=10\n"
              "DisableReflection=False\nNumberOfReflectedImages=12\nOverlayReflection=True\n"
              "OverlayZoomFactor=100\nOverlayXparentColor=-1\nOverlay24BitXparentColor=0\n"
              "AutoOverlayXparentColor=True\nFlipOverlay=False\nBrightnessLevel=0\n"
              "ImageResCode=1\nOverlayBrightnessLevel=1\nOverlayShiftPixels=0\n"
              "UseImageBottom=False\nOverlayWaveAdjustment=0\nInstallDir="
            + bin_ + "/\n");
}

TEST_F(SettingsStore, WrittenRecordReadsBackUnchanged)
{
    Settings written { "/inst/", "/pics/main image.jpg", "/pics", 55, 120, -17, 99, true,
        "/pics/boat.gif", -30, 400, true, 12, true, 100, {}, 300, true, false, 15, 500, -1,
        0x123456, false, true, -200, 2, 200, 7, true, -20, 0, false, "LZW" };
    for (int k = 1; k <= 100; ++k)
        written.Images.push_back({ "/pics/" + std::to_string(k) + ".jpg", k, k % 2 == 0 });
    written.Images[2].ImageNumber = " /pics/leading blank.jpg";
    settings() = written;
    const std::string file = root_ + "/export.INI";
    write_settings(file);

    settings() = Settings {};
    read_settings(file);
    EXPECT_EQ(settings(), written);
}

TEST_F(SettingsStore, HandEditedFileIsUpdatedInPlace)
{
    const std::string tail = "; note\r\n\r\n[Other]\r\nDelayTimeMS=1\r\n";
    read("[ setup ]\r\n  delaytimems = \"100\" \r\n" + tail);
    EXPECT_EQ(settings().DelayTimeMS, 100);
    settings().DelayTimeMS = 120;
    write_settings({});
    const std::string text = file_text(ini_);
    EXPECT_TRUE(text.starts_with("[ setup ]\r\nDelayTimeMS=120\r\nImageDir=")) << text;
    EXPECT_TRUE(text.ends_with("\r\nInstallDir=" + bin_ + "/\r\n" + tail)) << text;
    EXPECT_EQ(text.find("DelayTimeMS=70"), std::string::npos);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_EQ(text[at - 1], '\r') << "line end at " << at;
}

TEST_F(SettingsStore, PictureNamesWithoutAFolderAreTakenFromInstallDir)
{
    read("[Setup]\nInstallDir=/saver/\nImageFileName=pond.jpg\nOverlayFileName=/pics/boat.gif\n"
         "NumMultipleImages=3\nImageNumber_01=a.jpg\nImageNumber_02=sub/b.jpg\nImageNumber_03=\n");
    EXPECT_EQ(settings().ImageFileName, "/saver/pond.jpg");
    EXPECT_EQ(settings().OverlayFileName, "/pics/boat.gif");
    EXPECT_EQ(settings().image_entry(1).ImageNumber, "/saver/a.jpg");
    EXPECT_EQ(settings().image_entry(2).ImageNumber, "sub/b.jpg");
    EXPECT_EQ(settings().image_entry(3).ImageNumber, "") << "no picture stays no picture";

    read("[Setup]\nInstallDir=/saver\nImageFileName=pond.jpg\n");
    EXPECT_EQ(settings().InstallDir, "/saver");
    EXPECT_EQ(settings().ImageFileName, "/saver/pond.jpg");
}

TEST_F(SettingsStore, ValuesReadSurviveASaveAndAReadUnchanged)
{
    // A picture name joined to an install folder near the read limit would
    // pass the limit and be cut on the next read: it stays as it was read.
    const std::string folder = "/" + std::string(1015, 'd') + "/";
    // A stray CR after a value (a file edited on another system) is no part
    // of it, so the next save can write it.
    read("[Setup]\r\nInstallDir=" + folder
        + "\r\nImageFileName=pond.jpg\r\n"
          "NumMultipleImages=1\r\nImageNumber_01=a.jpg\r\nImageDir=/home/u/pics\r\r\n");
    EXPECT_EQ(settings().ImageFileName, "pond.jpg");
    EXPECT_EQ(settings().image_entry(1).ImageNumber, folder + "a.jpg");
    EXPECT_EQ(settings().ImageDir, "/home/u/pics");
    const Settings first = settings();
    ASSERT_NO_THROW(write_settings({}));
    settings() = Settings {};
    read_settings({});
    EXPECT_EQ(settings(), first);
}

TEST_F(SettingsStore, OnlyTrueInAnyCaseReadsAsTrue)
{
    for (const char* text : { "true", "TRUE", "True", " tRuE " }) {
        read(std::string("[Setup]\nOverlayReflection=False\nFlipOverlay=") + text + "\n");
        EXPECT_TRUE(settings().FlipOverlay) << text;
    }
    for (const char* text : { "1", "Yes", "", "TRUE1", "\"\"" }) {
        read(std::string("[Setup]\nFlipOverlay=True\nOverlayReflection=") + text + "\n");
        EXPECT_FALSE(settings().OverlayReflection) << text;
    }
    read("[Setup]\n");
    EXPECT_TRUE(settings().OverlayReflection);
    EXPECT_FALSE(settings().FlipOverlay);
}

TEST_F(SettingsStore, GIFCompressionChoosesLZWAndIsWrittenOnlyOnceNamed)
{
    for (const auto& [text, lzw] : { std::pair { "LZW", true }, { " lzw ", true }, { "RLE", false },
             { "", false }, { "LZW2", false } }) {
        read(std::string("[Setup]\nGIFCompression=") + text + "\n");
        EXPECT_EQ(lzw_gif_export(settings()), lzw) << text;
    }
    read("[Setup]\n");
    EXPECT_FALSE(lzw_gif_export(settings()));
    write_settings({});
    EXPECT_EQ(file_text(ini_).find("GIFCompression"), std::string::npos);
    settings().GIFCompression = "LZW";
    write_settings({});
    settings() = Settings {};
    read_settings({});
    EXPECT_TRUE(lzw_gif_export(settings()));
    // A configuration without the key, saved over the file, takes the choice away.
    settings().GIFCompression.clear();
    write_settings({});
    read_settings({});
    EXPECT_FALSE(lzw_gif_export(settings()));
}

TEST_F(SettingsStore, ImageListFollowsTheCount)
{
    const std::string entries
        = "ImageNumber_01=/a.jpg\nImageShiftNumber_01=4\nUseImageBottom_01=True\n";
    read("[Setup]\nMultipleMode=True\nNumMultipleImages=0\n" + entries);
    EXPECT_FALSE(settings().MultipleMode);
    EXPECT_TRUE(settings().Images.empty());

    read("[Setup]\nMultipleMode=True\nNumMultipleImages=-2\n" + entries);
    EXPECT_TRUE(settings().MultipleMode);
    EXPECT_TRUE(settings().Images.empty());

    // Saving two entries over three leaves the third in the file, unread.
    read("[Setup]\nNumMultipleImages=3\n" + entries
        + "ImageNumber_02=/b.jpg\nImageNumber_03=/c.jpg\nUseImageBottom_03=True\n");
    ASSERT_EQ(settings().Images.size(), 3U);
    EXPECT_EQ(settings().Images[0], (ImageEntry { "/a.jpg", 4, true }));
    settings().NumMultipleImages = 2;
    settings().Images[1].ImageShiftNumber = 9;
    write_settings({});
    const std::string text = file_text(ini_);
    EXPECT_NE(text.find("ImageNumber_03=/c.jpg\n"), std::string::npos);
    EXPECT_NE(text.find("UseImageBottom_03=True\n"), std::string::npos);
    read_settings({});
    EXPECT_EQ(settings().NumMultipleImages, 2);
    EXPECT_EQ(settings().Images,
        (std::vector<ImageEntry> { { "/a.jpg", 4, true }, { "/b.jpg", 9, false } }));
}

TEST_F(SettingsStore, HugeImageCountCostsOnlyWhatTheFileHolds)
{
    const auto start = std::chrono::steady_clock::now();
    read("[Setup]\nNumMultipleImages=2147483647\nImageNumber_01=/a.jpg\nImageNumber_100=/b.jpg\n"
         "ImageNumber_7=/not-an-entry.jpg\nImageShiftNumber_0101=3\n");
    EXPECT_EQ(settings().NumMultipleImages, 2147483647);
    ASSERT_EQ(settings().Images.size(), 100U);
    EXPECT_EQ(settings().image_entry(100).ImageNumber, "/b.jpg");
    EXPECT_EQ(settings().image_entry(7), ImageEntry {});
    EXPECT_EQ(settings().image_entry(2147483647), ImageEntry {});

    write_settings({});
    read_settings({});
    EXPECT_EQ(settings().NumMultipleImages, 2147483647);
    EXPECT_EQ(settings().Images.size(), 100U);

    // Nor does a lone key of a huge entry number: the list held in memory
    // stops at kMaxImageEntries, and the keys above it stay in the file.
    const std::string last = std::to_string(kMaxImageEntries);
    read("[Setup]\nNumMultipleImages=2147483647\nImageNumber_2147483647=/far.jpg\n"
         "ImageNumber_"
        + std::to_string(kMaxImageEntries + 1) + "=/beyond.jpg\nUseImageBottom_" + last
        + "=True\n");
    ASSERT_EQ(settings().Images.size(), static_cast<std::size_t>(kMaxImageEntries));
    EXPECT_TRUE(settings().image_entry(kMaxImageEntries).UseImageBottom);
    EXPECT_EQ(settings().image_entry(kMaxImageEntries + 1), ImageEntry {});
    EXPECT_EQ(settings().image_entry(2147483647), ImageEntry {});
    write_settings({});
    EXPECT_NE(file_text(ini_).find("\nImageNumber_2147483647=/far.jpg\n"), std::string::npos);
    // Billions of entries would take minutes; the sanitizer build runs the
    // few thousand it holds several times slower than the normal build.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kSanitized ? 20 : 2));
}

// A file counting more entries than it describes, saved over one that still
// holds a longer list: the counted entries it did not describe are written
// as defaults, so the old pictures do not come back.
TEST_F(SettingsStore, EntriesUpToTheCountReplaceStaleOnes)
{
    const std::string stale = "[Setup]\nNumMultipleImages=5\nImageNumber_01=/old1.jpg\n"
                              "ImageNumber_03=/old3.jpg\nImageShiftNumber_03=7\n"
                              "UseImageBottom_04=True\nImageNumber_05=/old5.jpg\n";
    put_file(ini_, stale);
    Settings& s = settings();
    s = default_settings();
    s.NumMultipleImages = 4;
    s.Images = { { "/new1.jpg", 2, false } };
    write_settings({});
    const std::string text = file_text(ini_);
    for (const char* line : { "ImageNumber_01=/new1.jpg\n", "ImageShiftNumber_01=2\n",
             "ImageNumber_03=\n", "ImageShiftNumber_03=0\n", "UseImageBottom_03=False\n",
             "UseImageBottom_04=False\n", "ImageNumber_05=/old5.jpg\n" })
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Entry 2 has no key anywhere: nothing needs writing for it.
    EXPECT_EQ(text.find("ImageNumber_02"), std::string::npos);
    read_settings({});
    EXPECT_EQ(settings().NumMultipleImages, 4);
    for (int k = 2; k <= 4; ++k)
        EXPECT_EQ(settings().image_entry(k), ImageEntry {}) << k;

    // A huge count over a small file still writes a small file.
    put_file(ini_, stale);
    s.NumMultipleImages = 2147483647;
    write_settings({});
    EXPECT_LT(file_text(ini_).size(), 2000U);
    read_settings({});
    EXPECT_EQ(settings().image_entry(5), ImageEntry {});
}

TEST_F(SettingsStore, BadIntegerStopsReadingWithPartialValues)
{
    Settings& s = settings();
    s.ImageFileName = "old.jpg";
    s.ReflectionHeightPercent = 1;
    s.DelayTimeMS = 2;
    s.WaveFactor1 = 3;
    s.OverlayZoomFactor = 4;
    put_file(ini_,
        "[Setup]\nImageFileName=new.jpg\nImageDir=/pics\nReflectionHeightPercent=50\n"
        "DelayTimeMS=fast\nWaveFactor1=5\nOverlayZoomFactor=6\n");
    EXPECT_EQ(error_text([] { read_settings({}); }), "'fast' is not a valid integer value");
    EXPECT_EQ(s.ImageFileName, bin_ + "/new.jpg");
    EXPECT_EQ(s.ImageDir, "/pics");
    EXPECT_EQ(s.ReflectionHeightPercent, 50);
    EXPECT_EQ(s.DelayTimeMS, 2);
    EXPECT_EQ(s.WaveFactor1, 3);
    EXPECT_EQ(s.OverlayZoomFactor, 4);
}

TEST_F(SettingsStore, IntegersAreDecimalAndFitIn32Bits)
{
    const std::pair<const char*, std::int32_t> good[] = { { "+5", 5 }, { "-3", -3 }, { "007", 7 },
        { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 } };
    for (const auto& [text, value] : good)
        EXPECT_EQ(parse_integer(text), value) << text;
    for (const char* text : { "", "1e3", "2147483648", "-2147483649", "99999999999999999999", "+",
             "-", "+-5", "0x10", "$10", "12abc", "5 " })
        EXPECT_EQ(error_text([&] { parse_integer(text); }),
            std::string("'") + text + "' is not a valid integer value");

    read("[Setup]\nXOffSet = -3 \nYOffSet=\"42\"\n");
    EXPECT_EQ(settings().XOffSet, -3);
    EXPECT_EQ(settings().YOffSet, 42);
    put_file(ini_, "[Setup]\nDelayTimeMS=\n");
    EXPECT_EQ(error_text([] { read_settings({}); }), "'' is not a valid integer value");
}

TEST_F(SettingsStore, ReadOnlyFileIsMadeWritableAndUpdated)
{
    EXPECT_FALSE(is_read_only(ini_));
    EXPECT_TRUE(clear_read_only(ini_)) << "nothing to clear on a missing file";

    put_file(ini_, "[Setup]\nDelayTimeMS=100\n");
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::group_read);
    ASSERT_TRUE(is_read_only(ini_));
    read_settings({});
    EXPECT_FALSE(is_read_only(ini_));
    EXPECT_EQ(settings().DelayTimeMS, 100);

    fs::permissions(ini_, fs::perms::owner_read | fs::perms::group_read);
    settings().DelayTimeMS = 200;
    write_settings({});
    EXPECT_EQ(fs::status(ini_).permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    read_settings({});
    EXPECT_EQ(settings().DelayTimeMS, 200);
}

TEST_F(SettingsStore, WritingKeepsPermissionsAndSymbolicLinks)
{
    const std::string target = root_ + "/real.INI";
    put_file(target, "[Setup]\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(target, ini_);
    settings().WaveFactor1 = 42;
    write_settings({});
    EXPECT_TRUE(fs::is_symlink(ini_));
    EXPECT_NE(file_text(target).find("WaveFactor1=42\n"), std::string::npos);
    EXPECT_EQ(fs::status(target).permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsStore, FailedWriteLeavesTheOldFileWhole)
{
    const std::string old_text = "[Setup]\nDelayTimeMS=100\n; hand-made\n";
    const std::string failure = "Unable to write to " + ini_;
    put_file(ini_, old_text);
    fs::permissions(ini_, fs::perms::all);
    fs::permissions(bin_, fs::perms::all);
    settings() = defaults(bin_);

    // A disk that fills up in the middle of the new file.
    EXPECT_TRUE(in_unprivileged_child([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small { 64, 64 };
        setrlimit(RLIMIT_FSIZE, &small);
        return error_text([] { write_settings({}); }) == failure;
    }));
    EXPECT_EQ(file_text(ini_), old_text);
    EXPECT_EQ(folder_listing(bin_), std::vector<std::string> { "velmora.INI" });

    // A folder that takes no new file (named explicitly: the default file
    // would move to the user's config folder).
    fs::permissions(bin_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
        fs::perm_options::remove);
    EXPECT_TRUE(in_unprivileged_child(
        [&] { return error_text([&] { write_settings(ini_); }) == failure; }));
    fs::permissions(bin_, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(file_text(ini_), old_text);

    // A value no INI line can hold, or one reading would cut: the message
    // names its key.
    settings().ImageFileName = "/pics/a\nDelayTimeMS=fast";
    EXPECT_EQ(error_text([] { write_settings({}); }),
        failure + ": the value of ImageFileName holds a line break.");
    settings().ImageFileName = "/pics/a";
    settings().NumMultipleImages = 2;
    settings().Images = { { "/pics/b", 0, false }, { std::string(1024, 'c'), 0, false } };
    EXPECT_EQ(error_text([] { write_settings({}); }),
        failure + ": the value of ImageNumber_02 is too long (1024 bytes, at most 1023).");
    EXPECT_EQ(file_text(ini_), old_text);
    EXPECT_EQ(folder_listing(bin_), std::vector<std::string> { "velmora.INI" });
}

TEST_F(SettingsStore, OnlyARegularFileHoldsSettings)
{
    // A pipe would wait for a writer that never comes: read the defaults
    // instead, and never rename a new file over it. The alarm ends a hang.
    const std::string pipe = root_ + "/pipe.INI";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    alarm(10);
    settings().DelayTimeMS = 5;
    read_settings(pipe);
    EXPECT_EQ(settings(), defaults(bin_));
    EXPECT_EQ(error_text([&] { write_settings(pipe); }), "Unable to write to " + pipe);
    alarm(0);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(folder_listing(root_).size(), 2U) << "no temporary file is left";
}

TEST_F(SettingsStore, ADirectoryInPlaceOfTheFileReadsDefaultsAndIsNeverReplaced)
{
    fs::create_directory(ini_);
    put_file(ini_ + "/inside", "kept");
    settings().DelayTimeMS = 5;
    read_settings({});
    EXPECT_EQ(settings(), defaults(bin_));
    EXPECT_EQ(error_text([] { write_settings({}); }), "Unable to write to " + ini_);
    EXPECT_TRUE(fs::is_directory(ini_));
    EXPECT_EQ(file_text(ini_ + "/inside"), "kept");
    EXPECT_EQ(folder_listing(bin_), std::vector<std::string> { "velmora.INI" });
}
