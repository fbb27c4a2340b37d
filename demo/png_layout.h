#pragma once
// A PNG file's layout, checked without decoding its pixels: a file cut short
// or damaged anywhere is found, and how it is, before time is spent on it.
#include <string>

// bytes: the whole file. True when it starts with the PNG signature and an
// IHDR chunk, every chunk is whole and matches its checksum, and an IEND
// closes it; width and height are what the IHDR declares. False with a short
// reason otherwise ("not a PNG file", "cut short: ...", "damaged: ...").
bool checkPngLayout(const std::string& bytes, unsigned& width, unsigned& height, std::string& why);
