#pragma once
// A tiny fixed 5 x 7 bitmap font for text drawn over the picture (the live
// show's readout): digits, capitals and the ASCII punctuation between them.
#include <cstdint>
#include <string>
#include <vector>

class Surface;

constexpr int glyphWidth = 5;
constexpr int glyphHeight = 7;
constexpr int glyphAdvance = glyphWidth + 1;  // one blank column between letters
constexpr int textLineHeight = glyphHeight + 2;
constexpr int textBoxPadding = 3;
constexpr uint32_t textColour = 0x00FFFFFFu;

// The seven rows of c's glyph, the leftmost column in bit 4. Small letters are
// drawn as capitals; anything the font lacks as '?'.
const uint8_t* glyphRows(char c);

// The box drawTextBox fills for these lines: the longest line plus the padding.
int textBoxWidth(const std::vector<std::string>& lines);
int textBoxHeight(const std::vector<std::string>& lines);

// Darkens a box with its top-left corner at (x, y) to a quarter of its
// brightness and writes the lines into it in white, one under the other.
// Whatever falls outside the surface is left out.
void drawTextBox(Surface& surface, int x, int y, const std::vector<std::string>& lines);
