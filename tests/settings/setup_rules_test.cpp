#include "settings/read_write_ini.h"
#include "settings/setup_rules.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmora {
namespace {

    // Names a settings file cannot hold are left out and named; the list
    // stops at the entries reading takes back.
    TEST(SetupRules, EntriesAreAdmittedWithinTheListsLimitAndTheFilesValues)
    {
        const std::string deep = "/p/" + std::string(1100, 'd') + "/\xC3\xA9t\xC3\xA9.jpg";
        const std::string shown = "/p/" + std::string(57, 'd') + "..." + std::string(70, 'd')
            + "/\xC3\xA9t\xC3\xA9.jpg";
        const std::string too_long = "The file name \"" + shown
            + "\" is too long (1113 bytes, at most 1023): the settings file cannot hold it.";
        const std::string full = "No pictures were added: the list holds at most 10000 entries.";
        struct Case {
            std::vector<std::string> files;
            int held;
            std::vector<std::string> admitted;
            std::string message;
        };
        const Case cases[] = {
            { { "/p/a.jpg", "/p/b.jpg" }, 3, { "/p/a.jpg", "/p/b.jpg" }, "" },
            { { "/p/a.jpg", deep, "/p/b.jpg" }, 0, { "/p/a.jpg", "/p/b.jpg" }, too_long },
            { { "/p/line\nbreak.jpg", deep, deep }, 0, {},
                "The file name \"/p/line\nbreak.jpg\" holds a line break: the settings file "
                "cannot hold it. 2 more such names were left out." },
            { { "/p/a.jpg" }, kMaxImageEntries, {}, full },
            { { "/p/a.jpg", "/p/b.jpg", "/p/c.jpg" }, kMaxImageEntries - 2,
                { "/p/a.jpg", "/p/b.jpg" },
                "Only 2 of the 3 pictures found were added: the list holds at most 10000 "
                "entries." },
            { { deep, "/p/a.jpg" }, kMaxImageEntries, {}, too_long + "\n\n" + full },
        };
        for (const Case& c : cases) {
            const AdmittedEntries admitted = admit_entries(c.files, c.held);
            EXPECT_EQ(admitted.files, c.admitted) << c.message;
            EXPECT_EQ(admitted.message, c.message);
        }
    }

    TEST(SetupRules, AnExportKeepsAnIniExtensionInAnyCase)
    {
        for (const auto& [chosen, written] :
            std::vector<std::pair<std::string, std::string>> { { "/c/mine.ini", "/c/mine.ini" },
                { "/c/Mine.Ini", "/c/Mine.Ini" }, { "/c/mine.INI", "/c/mine.INI" },
                { "/c/setup.txt", "/c/setup.INI" }, { "/c/setup", "/c/setup.INI" },
                { "/c/.ini", "/c/.ini.INI" }, { "/c.ini/setup", "/c.ini/setup.INI" } })
            EXPECT_EQ(export_file_name(chosen), written);
    }

} // namespace
} // namespace velmora
