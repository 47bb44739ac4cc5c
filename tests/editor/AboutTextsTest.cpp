// The about view's texts break into lines as the Windows editor's do, so the
// Linux editor, which lays them out itself, puts the same words on each line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/AboutTexts.h"

namespace valvora {
namespace {

// Every character 6 pixels wide, like a fixed font.
int fixedWidth(const std::string& s) { return static_cast<int>(s.size()) * 6; }

AboutText box(const char* text, int width, bool wrap) { return {0, 0, width, 40, 12, 0, 0, 0, text, wrap}; }

TEST(AboutTextLines, lineBreaksSplitAndACarriageReturnBesideOneIsPartOfIt)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(AboutTexts::lines(box("virtual-analog guitar amp\ninspired by", 600, true), fixedWidth),
              (Lines{"virtual-analog guitar amp", "inspired by"}));
    EXPECT_EQ(AboutTexts::lines(box("ver. 1.0.00 / Linux\n\rDec  9 2026", 600, false), fixedWidth),
              (Lines{"ver. 1.0.00 / Linux", "Dec  9 2026"}));
    EXPECT_EQ(AboutTexts::lines(box("a\r\nb", 600, false), fixedWidth), (Lines{"a", "b"}));
    EXPECT_EQ(AboutTexts::lines(box("a\n\nb", 600, false), fixedWidth), (Lines{"a", "", "b"}));
}

TEST(AboutTextLines, wordBreakWrapsBeforeTheWordThatWouldOverrun)
{
    using Lines = std::vector<std::string>;
    // 19 characters fit in 114 pixels; "DSP & UI programming" is 20.
    EXPECT_EQ(AboutTexts::lines(box("DSP & UI programming by", 114, true), fixedWidth),
              (Lines{"DSP & UI", "programming by"}));
    // A word wider than the box stands alone rather than vanishing.
    EXPECT_EQ(AboutTexts::lines(box("a www.kelmo.example b", 30, true), fixedWidth),
              (Lines{"a", "www.kelmo.example", "b"}));
    // Without word break a long line stays whole (the box clips it).
    EXPECT_EQ(AboutTexts::lines(box("DSP & UI programming by", 30, false), fixedWidth),
              (Lines{"DSP & UI programming by"}));
}

TEST(AboutTextLines, theVersionLineNamesThePlatform)
{
    const AboutTexts texts("Linux");
    const std::string line = texts.versionLine();
    EXPECT_EQ(line.rfind("ver. 1.0.00 / Linux\n\r", 0), 0u) << line;
    int count = 0;
    for (const AboutText& t : texts) {
        ++count;
        EXPECT_LT(t.left, t.right);
        EXPECT_LT(t.top, t.bottom);
    }
    EXPECT_EQ(count, AboutTexts::kCount);
}

}  // namespace
}  // namespace valvora
