#include "settings/ini.h"

#include <gtest/gtest.h>
#include <stdexcept>

using velmora::IniFile;

namespace {

std::string edited(
    std::string_view text, std::initializer_list<std::pair<const char*, const char*>> keys)
{
    IniFile file(text);
    for (const auto& [key, value] : keys)
        file.set_value("Setup", key, value);
    return file.text();
}

} // namespace

TEST(IniFile, ReadsNamesWithoutCaseValuesWithoutBlanksOrQuotes)
{
    const IniFile file("; DelayTimeMS=1 in a comment\n"
                       "Stray=before any section\n"
                       "[Other]\n"
                       "DelayTimeMS=2\n"
                       "  [ setup ]  \n"
                       "  delaytimems \t=  250 \t\n"
                       "Quoted = \"  spaced  \"\n"
                       "Half=\"open\n"
                       "Empty=\n"
                       "a line without an equals sign\n"
                       "DELAYTIMEMS=999\n"
                       "[SETUP]\n"
                       "Late=1\n");
    EXPECT_EQ(file.value("Setup", "DelayTimeMS"), "250");
    EXPECT_EQ(file.value("Setup", "quoted"), "  spaced  ");
    EXPECT_EQ(file.value("Setup", "Half"), "\"open");
    EXPECT_EQ(file.value("Setup", "Empty"), "");
    EXPECT_EQ(file.value("Setup", "Stray"), std::nullopt);
    EXPECT_EQ(file.value("Setup", "Late"), std::nullopt) << "a repeated section is not read";
    EXPECT_EQ(file.value("Other", "DelayTimeMS"), "2");
    EXPECT_EQ(file.value("Missing", "DelayTimeMS"), std::nullopt);
    EXPECT_EQ(file.keys("Setup"),
        (std::vector<std::string> { "delaytimems", "Quoted", "Half", "Empty" }));
}

TEST(IniFile, ReadsCrlfLinesAfterAByteOrderMarkAndCutsLongValues)
{
    const std::string long_value(2000, 'x');
    const IniFile file("\xEF\xBB\xBF[Setup]\r\nA=1\r\nB = two \r\nLong=" + long_value + "\r\nC=3");
    EXPECT_EQ(file.value("Setup", "A"), "1");
    EXPECT_EQ(file.value("Setup", "B"), "two");
    EXPECT_EQ(file.value("Setup", "C"), "3");
    EXPECT_EQ(file.value("Setup", "Long"), long_value.substr(0, IniFile::kMaxValueLength));
}

TEST(IniFile, EditsReplaceKeysWhereTheyStandAndAppendAtTheSectionEnd)
{
    EXPECT_EQ(
        edited("; Velmora\n"
               "[Setup]\n"
               "  delaytimems = 250 \n"
               "; keep me\n"
               "Overlay=True\n"
               "\n"
               "[Other]\n"
               "DelayTimeMS=1\n",
            { { "DelayTimeMS", "80" }, { "NewKey", "v" }, { "Another", "w" }, { "NewKey", "v2" } }),
        "; Velmora\n"
        "[Setup]\n"
        "DelayTimeMS=80\n"
        "; keep me\n"
        "Overlay=True\n"
        "NewKey=v2\n"
        "Another=w\n"
        "\n"
        "[Other]\n"
        "DelayTimeMS=1\n");

    // Each line keeps its own line end; added lines take the file's (its
    // first line's), also after a last line that had none.
    EXPECT_EQ(edited("[Setup]\r\nA=1\nC=5", { { "A", "2" }, { "B", "3" } }),
        "[Setup]\r\nA=2\nC=5\r\nB=3\r\n");
    EXPECT_EQ(edited("[Setup]\n[Other]\nX=1\n", { { "A", "1" } }), "[Setup]\nA=1\n[Other]\nX=1\n");
}

TEST(IniFile, EditsAppendAMissingSectionAtTheEnd)
{
    EXPECT_EQ(edited("", { { "A", "1" }, { "B", "2" } }), "[Setup]\nA=1\nB=2\n");
    EXPECT_EQ(
        edited("[Other]\r\nX=1", { { "A", "1" } }), "[Other]\r\nX=1\r\n\r\n[Setup]\r\nA=1\r\n");
    EXPECT_EQ(edited("\xEF\xBB\xBF[Other]\nX=1\n\n", { { "A", "1" } }),
        "\xEF\xBB\xBF[Other]\nX=1\n\n[Setup]\nA=1\n");
}

TEST(IniFile, StoredValuesReadBackUnchanged)
{
    const std::vector<std::string> values
        = { "", "plain", "  leading", "trailing\t", "\"quoted\"", "\"", "a=b", "x\"y\"" };
    IniFile file;
    for (std::size_t i = 0; i < values.size(); ++i)
        file.set_value("Setup", "K" + std::to_string(i), values[i]);
    const IniFile reread(file.text());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reread.value("Setup", "K" + std::to_string(i)), values[i]);

    // A line break would smuggle a line of its own into the file.
    const std::string before = file.text();
    EXPECT_THROW(file.set_value("Setup", "K0", "a\nDelayTimeMS=fast"), std::invalid_argument);
    EXPECT_THROW(file.set_value("Setup", "K0", std::string("a\0b", 3)), std::invalid_argument);
    EXPECT_EQ(file.text(), before);
}

TEST(IniFile, WhatIsReadCanAlwaysBeWrittenBack)
{
    // A CR ends a value like a line end does, and a NUL ends it too, so no
    // value read ever holds a character that no line can carry.
    const struct {
        std::string line;
        std::string value;
    } cases[] = {
        { "ImageDir=/home/u/pics\r\r\n", "/home/u/pics" },
        { "ImageDir=/home/u/pics \r", "/home/u/pics" },
        { "ImageDir=\" quoted \"\r\r\n", " quoted " },
        { "ImageDir=first\rsecond\n", "first" },
        { std::string("ImageDir=before\0after\n", 22), "before" },
        { std::string("ImageDir=\0\n", 11), "" },
    };
    for (const auto& c : cases) {
        IniFile file("[Setup]\n" + c.line + "Next=1\n");
        const auto value = file.value("Setup", "ImageDir");
        EXPECT_EQ(value, c.value) << c.line;
        ASSERT_NO_THROW(file.set_value("Setup", "ImageDir", *value)) << c.line;
        EXPECT_EQ(IniFile(file.text()).value("Setup", "ImageDir"), c.value) << c.line;
        EXPECT_EQ(IniFile(file.text()).value("Setup", "Next"), "1") << c.line;
    }

    // A value longer than reading keeps is refused rather than cut later.
    IniFile file;
    const std::string longest(IniFile::kMaxValueLength, 'x');
    file.set_value("Setup", "A", longest);
    EXPECT_EQ(IniFile(file.text()).value("Setup", "A"), longest);
    EXPECT_THROW(file.set_value("Setup", "A", longest + "y"), std::invalid_argument);
}
