#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/macro_compiler.h"
#include "config/macro_tables.h"
#include "support/recording_window.h"

namespace padwright {
namespace {

// Every macro text we serve compiles for every button it can be given. They use
// "xx" in the header only: the Back row's word is "select", which names a block
// but is no step token ("back" is), so a step of "xx" would fail on that row.
TEST(SampleMacros, CompileForEveryButtonRow)
{
    const std::filesystem::path dir =
        std::filesystem::path(PADWRIGHT_SOURCE_DIR) / "resources/server/blazewing_customizer/macros";
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_LE(texts.back().size(), 8190u) << entry.path();
    }
    ASSERT_GE(texts.size(), 5u);
    for (size_t row = 0; row < kMacroRows; ++row) {
        for (const std::string& text : texts) {
            std::string t = text;
            for (size_t at = t.find("xx"); at != std::string::npos; at = t.find("xx", at))
                t.replace(at, 2, kMacroRowWords[row]);
            std::array<uint8_t, kMacroImageBytes> image{};
            test::RecordingMessages messages;
            EXPECT_TRUE(CompileMacros(t, true, image.data(), messages)) << kMacroRowWords[row];
            EXPECT_TRUE(messages.Shown().empty());
        }
    }
}

}  // namespace
}  // namespace padwright
