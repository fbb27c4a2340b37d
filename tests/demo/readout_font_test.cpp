#include "demo/readout_font.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "demo/surface.h"

TEST(ReadoutFont, EveryGlyphIsItsOwnAndSmallLettersAreCapitals) {
    std::set<std::vector<uint8_t>> seen;
    for (char c = ' '; c <= '_'; ++c) {
        const uint8_t* rows = glyphRows(c);
        const std::vector<uint8_t> glyph(rows, rows + glyphHeight);
        EXPECT_TRUE(seen.insert(glyph).second) << "'" << c << "' looks like another glyph";
        int lit = 0;
        for (uint8_t row : glyph) {
            EXPECT_LT(row, 1 << glyphWidth) << "'" << c << "' is wider than the cell";
            lit += row != 0;
        }
        EXPECT_EQ(lit == 0, c == ' ') << "'" << c << "'";
    }
    for (char c = 'a'; c <= 'z'; ++c) EXPECT_EQ(glyphRows(c), glyphRows(static_cast<char>(c - 32))) << c;
    for (char c : {'~', '{', '\n', '\x7f', '\x80'}) EXPECT_EQ(glyphRows(c), glyphRows('?')) << int(c);
}

namespace {

constexpr uint32_t grey = 0x00808080u, dimGrey = 0x00202020u, guard = 0x12345678u;

// A 40 x 24 grey surface whose rows are 48 pixels apart, the 8 beyond its width
// a guard value, with one guard row below it.
struct Canvas {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(48 * 25, guard);
    Surface surface{40, 24, pixels.data(), 48};
    Canvas() {
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) pixels[y * 48 + x] = grey;
    }
    uint32_t at(int x, int y) const { return pixels[y * 48 + x]; }
};

}  // namespace

// White text on a quarter-bright box, whole or over the surface's edges, and
// nothing changed outside it. (The letters themselves are read back from the
// show's window in tests/live/show_controls_program_test.cpp.)
TEST(ReadoutFont, TextIsWhiteOnAQuarterBrightBoxAndNothingElseChanges) {
    for (const auto& [x, y, lines] : {std::tuple{2, 1, std::vector<std::string>{"1", "T."}},
                                      {28, 16, std::vector<std::string>{"WWWW", "8888"}},
                                      {-7, -5, std::vector<std::string>{"WWWW", "8888"}}}) {
        SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
        Canvas canvas;
        drawTextBox(canvas.surface, x, y, lines);
        int white = 0;
        for (int py = 0; py < 25; ++py)
            for (int px = 0; px < 48; ++px) {
                const bool inside = px < 40 && py < 24;
                const bool covered =
                    inside && px >= x && px < x + textBoxWidth(lines) && py >= y && py < y + textBoxHeight(lines);
                const uint32_t p = canvas.at(px, py);
                const bool allowed = !inside ? p == guard : !covered ? p == grey : p == dimGrey || p == textColour;
                ASSERT_TRUE(allowed) << std::hex << p << " at " << std::dec << px << "," << py;
                white += p == textColour;
            }
        EXPECT_GT(white, 10) << "the text shows";
    }
    // The "1" has its foot (a full-width bar but the outer columns) on its last row.
    Canvas canvas;
    drawTextBox(canvas.surface, 2, 1, {"1"});
    EXPECT_EQ(canvas.at(2 + textBoxPadding + 1, 1 + textBoxPadding + 6), textColour);
    EXPECT_EQ(canvas.at(2 + textBoxPadding, 1 + textBoxPadding + 6), dimGrey);
}
