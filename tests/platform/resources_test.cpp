#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/resources.h"

namespace padwright {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(EmbeddedResourceStrings, HoldTheExactTexts)
{
    struct Case {
        int id;
        const char* text;
    };
    const Case cases[] = {
        {122, " ReadMe "},
        {124, "  WIRELESS Controller - Current firmware is v%d.%2.2x - an update is available"},
        {125, "  WIRELESS Controller - Current firmware is v%d.%2.2x - no update is required"},
        {126, " Feature Button %d "},
        {127, "  No Quelm %s Device Detected"},
        {128, "ERROR: Finding firmware resource"},
        {129, "ERROR: Loading firmware resource"},
        {130, "ERROR: Locking firmware resource"},
        {131, "ERROR: This program only supports upgrade images"},
        {132, "ERROR: Whilst disabling radio"},
        {133, "ERROR: Whilst erasing flash"},
        {134, "Reprogramming firmware.."},
        {135, "ERROR: Whilst programming flash"},
        {136, "ERROR: Whilst calculating checksum"},
        {137, "ERROR: Checksums don't match"},
        {138, "ERROR: Whilst finalizing flash"},
        {139, "Resetting device"},
        {140, "ERROR: Whilst resetting device"},
        {141, "Programming complete"},
        {142, "Quelm %s Controller - Update Application V%d.%d"},
        {168, "Blazewing"},
        {171, "Left Stick %d%%"},
        // Escapes in the table: line feeds, inner quotes, a trailing blank.
        {119, "A new version is available\n\nWould you like to download it now?"},
        {181, "Press the \"Edit Settings\" button to choose which Macros you'd like to assign to "
              "each available controller button."},
    };
    const Resources& r = EmbeddedResources();
    for (const Case& c : cases) {
        EXPECT_TRUE(r.HasString(c.id)) << c.id;
        EXPECT_EQ(r.String(c.id), c.text) << c.id;
    }
    EXPECT_TRUE(r.String(160).ends_with("\n \nSelect \"Assign Settings\" to apply. "));
    EXPECT_NE(r.String(175).find("\n \nPress the \"Assign\" button"), std::string::npos);
}

TEST(EmbeddedResourceStrings, UnknownIdsAreEmpty)
{
    const Resources& r = EmbeddedResources();
    for (int id : {-1, 0, 100, 105, 169, 189, 65535, 65536 + 122}) {
        EXPECT_FALSE(r.HasString(id)) << id;
        EXPECT_EQ(r.String(id), "") << id;
    }
}

TEST(EmbeddedResourceBinaries, FirmwareImagesAreTheFilesByteForByte)
{
    const Resources& r = EmbeddedResources();
    std::span<const uint8_t> probe;
    if (r.Binary("BINARY", 252, probe) == ResourceFailure::Find)
        GTEST_SKIP() << "firmware images not embedded in this build";

    for (int id : {252, 254}) {
        std::span<const uint8_t> data;
        ASSERT_EQ(r.Binary("BINARY", id, data), ResourceFailure::None) << id;
        EXPECT_EQ(data.size(), 49152u) << id;
        const std::string file = ReadFile(fs::path(PADWRIGHT_RESOURCES_DIR) / "firmware" /
                                          ("image" + std::to_string(id) + ".bin"));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin(), file.end(),
                               [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
            << id;
    }

    // Type and id both have to match.
    std::span<const uint8_t> data{probe};
    EXPECT_EQ(r.Binary("BINARY", 253, data), ResourceFailure::Find);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(r.Binary("BITMAP", 252, data), ResourceFailure::Find);
    EXPECT_EQ(r.Binary("binary", 252, data), ResourceFailure::Find);
}

TEST(FaultyResources, FailsTheChosenBinaryAtTheChosenStep)
{
    const std::vector<uint8_t> base252(100, 0x52), base254(200, 0x54);
    // A base of our own, so that these tests do not need the real images.
    FaultyResources base(EmbeddedResources());
    base.Replace("BINARY", 252, base252);
    base.Replace("BINARY", 254, base254);

    for (ResourceFailure step : {ResourceFailure::Find, ResourceFailure::Load, ResourceFailure::Lock}) {
        FaultyResources faulty(base);
        faulty.FailAt("BINARY", 252, step);
        std::span<const uint8_t> data{base254};
        EXPECT_EQ(faulty.Binary("BINARY", 252, data), step);
        EXPECT_TRUE(data.empty());
        // The other image and the strings pass through untouched.
        ASSERT_EQ(faulty.Binary("BINARY", 254, data), ResourceFailure::None);
        EXPECT_EQ(data.data(), base254.data());
        EXPECT_EQ(faulty.String(127), "  No Quelm %s Device Detected");
        EXPECT_TRUE(faulty.HasString(127));

        // A failure wins over replacement bytes; choosing None lifts it.
        faulty.Replace("BINARY", 252, base254);
        EXPECT_EQ(faulty.Binary("BINARY", 252, data), step);
        faulty.FailAt("BINARY", 252, ResourceFailure::None);
        ASSERT_EQ(faulty.Binary("BINARY", 252, data), ResourceFailure::None);
        EXPECT_EQ(data.data(), base254.data());
        EXPECT_EQ(data.size(), base254.size());
    }
}

TEST(FaultyResources, ServesReplacementBytesEvenWhereTheBaseHasNone)
{
    const std::vector<uint8_t> image = {'Q', 'U', 'E', 'L', 'M', '_', 'D', 'F', 'U', 0, 1, 2};
    FaultyResources faulty(EmbeddedResources());
    faulty.Replace("BINARY", 9, image);
    std::span<const uint8_t> data;
    ASSERT_EQ(faulty.Binary("BINARY", 9, data), ResourceFailure::None);
    EXPECT_EQ(data.data(), image.data());
    EXPECT_EQ(data.size(), image.size());
    EXPECT_EQ(faulty.Binary("BITMAP", 9, data), ResourceFailure::Find);
}

// Runs the built generator on fixture manifests in a folder of its own.
class ResourceGenerator : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("padwright_resources_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "bin");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    // Exit status of the generator; its messages land in errors_.
    int Run(const std::string& args)
    {
        const fs::path err = dir_ / "stderr.txt";
        const std::string cmd = std::string("'") + PADWRIGHT_EMBED_TOOL + "' " + args + " > '" +
                                (dir_ / "stdout.txt").string() + "' 2> '" + err.string() + "'";
        const int status = std::system(cmd.c_str());
        errors_ = ReadFile(err);
        output_ = ReadFile(dir_ / "stdout.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Generate()
    {
        return Run("--strings '" + (dir_ / "strings.txt").string() + "' --binaries '" +
                   (dir_ / "binaries.txt").string() + "' --output '" + (dir_ / "out.cpp").string() +
                   "'");
    }

    fs::path dir_;
    std::string errors_, output_;
};

TEST_F(ResourceGenerator, DecodesEscapesAndKeepsBlanks)
{
    Write("strings.txt",
          "# comment\r\n"
          "\n"
          "7\t\" a\\tb\\\\c\\\"d\\r\\n \"\r\n"
          "8\t\"\"\n"
          "300\t\"%2.2x \xc3\xa9\"  \n");
    ASSERT_EQ(Run("--strings '" + (dir_ / "strings.txt").string() + "' --dump-strings"), 0)
        << errors_;
    EXPECT_EQ(output_,
              "7: 20 61 09 62 5c 63 22 64 0d 0a 20\n"
              "8:\n"
              "300: 25 32 2e 32 78 20 c3 a9\n");
}

TEST_F(ResourceGenerator, RefusesBadInputNamingFileAndLine)
{
    struct Case {
        const char* what;
        const char* strings;
        const char* binaries;
        const char* message;
    };
    const Case cases[] = {
        {"no tab", "1\t\"a\"\n2 \"b\"\n", "", "strings.txt:2: error: expected ID<TAB>"},
        {"no quotes", "1\tabc\n", "", "strings.txt:1: error: the text must be enclosed"},
        {"bad id", "x1\t\"a\"\n", "", "strings.txt:1: error: bad string id"},
        {"id too big", "65536\t\"a\"\n", "", "strings.txt:1: error: bad string id"},
        {"duplicate id", "1\t\"a\"\n\n1\t\"b\"\n", "",
         "strings.txt:3: error: duplicate string id 1, first defined on line 1"},
        {"out of order", "2\t\"a\"\n1\t\"b\"\n", "", "strings.txt:2: error: string id 1 after 2"},
        {"unknown escape", "1\t\"a\\qb\"\n", "", "strings.txt:1: error: unknown escape \\q"},
        {"unclosed", "1\t\"abc\n", "", "strings.txt:1: error: missing closing double quote"},
        {"bare quote", "1\t\"say \"hi\"\"\n", "", "strings.txt:1: error: text after the closing"},
        {"raw tab", "1\t\"a\tb\"\n", "", "strings.txt:1: error: raw control character"},
        {"missing binary", "", "# images\nBINARY 252 bin/absent.bin\n",
         "binaries.txt:2: error: missing file"},
        {"two fields", "", "BINARY 252\n", "binaries.txt:1: error: expected TYPE ID PATH"},
        {"four fields", "", "BINARY 252 bin/a.bin extra\n", "binaries.txt:1: error: expected TYPE ID PATH"},
        {"lower-case type", "", "binary 252 bin/a.bin\n", "binaries.txt:1: error: bad resource type"},
        {"duplicate binary", "", "BINARY 252 bin/a.bin\nICON 252 bin/a.bin\nBINARY 252 bin/a.bin\n",
         "binaries.txt:3: error: duplicate resource BINARY 252, first listed on line 1"},
    };
    Write("bin/a.bin", "abc");
    for (const Case& c : cases) {
        Write("strings.txt", c.strings);
        Write("binaries.txt", c.binaries);
        fs::remove(dir_ / "out.cpp");
        EXPECT_EQ(Generate(), 1) << c.what;
        EXPECT_NE(errors_.find(c.message), std::string::npos) << c.what << ": " << errors_;
        EXPECT_FALSE(fs::exists(dir_ / "out.cpp")) << c.what;
    }
}

TEST_F(ResourceGenerator, WritesTheSourceForGoodInput)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    Write("bin/all.bin", bytes);
    Write("strings.txt", "1\t\"one\"\n");
    Write("binaries.txt", "BINARY 1 bin/all.bin\nBITMAP 2 bin/all.bin\n");
    ASSERT_EQ(Generate(), 0) << errors_;
    const std::string source = ReadFile(dir_ / "out.cpp");
    EXPECT_NE(source.find("kBinaryCount = 2"), std::string::npos);
    EXPECT_NE(source.find("kStringCount = 1"), std::string::npos);
}

}  // namespace
}  // namespace padwright
