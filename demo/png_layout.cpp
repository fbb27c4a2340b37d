#include "demo/png_layout.h"

#include <array>
#include <cstdint>

namespace {

constexpr char signature[] = "\x89PNG\r\n\x1a\n";
constexpr size_t signatureBytes = 8;

// The CRC-32 of the PNG format (and of zlib), eight bytes a step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

CrcTables makeCrcTables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

uint32_t crc32(const unsigned char* p, size_t n) {
    static const CrcTables t = makeCrcTables();
    uint32_t c = 0xFFFFFFFFu;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t low = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        c = t[7][low & 0xFF] ^ t[6][low >> 8 & 0xFF] ^ t[5][low >> 16 & 0xFF] ^ t[4][low >> 24] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; --n, ++p) c = (c >> 8) ^ t[0][(c ^ *p) & 0xFF];
    return ~c;
}

uint32_t bigEndian(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// A chunk type is four ASCII letters; anything else means we are not at a chunk.
bool isChunkType(const unsigned char* p) {
    for (int i = 0; i < 4; ++i)
        if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z'))) return false;
    return true;
}

}  // namespace

bool checkPngLayout(const std::string& bytes, unsigned& width, unsigned& height, std::string& why) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < signatureBytes || bytes.compare(0, signatureBytes, signature, signatureBytes) != 0) {
        why = "not a PNG file";
        return false;
    }
    bool first = true;
    for (size_t at = signatureBytes;;) {
        if (size - at < 12) {
            why = "cut short: it ends after " + std::to_string(size) + " bytes, before its IEND chunk";
            return false;
        }
        const uint32_t length = bigEndian(data + at);
        const unsigned char* type = data + at + 4;
        const std::string name = isChunkType(type) ? std::string(reinterpret_cast<const char*>(type), 4) : "";
        if (name.empty() || length > 0x7FFFFFFFu) {
            why = "damaged: no chunk where one should begin, at byte " + std::to_string(at);
            return false;
        }
        if (first && (name != "IHDR" || length != 13)) {
            why = "damaged: it does not begin with an IHDR chunk";
            return false;
        }
        if (length > size - at - 12) {
            why = "cut short: the file ends at byte " + std::to_string(size) + ", inside the " + name +
                  " chunk that starts at byte " + std::to_string(at);
            return false;
        }
        if (crc32(type, 4 + length) != bigEndian(type + 4 + length)) {
            why = "damaged: its " + name + " chunk at byte " + std::to_string(at) + " fails its checksum";
            return false;
        }
        if (first) {
            width = bigEndian(type + 4);
            height = bigEndian(type + 8);
            first = false;
        }
        if (name == "IEND") return true;
        at += 12 + length;
    }
}
