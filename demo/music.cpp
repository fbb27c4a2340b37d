#include "demo/music.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// An MPEG audio frame header: 11 sync bits, then no reserved version, layer,
// bit rate or sample rate.
bool isFrameHeader(const unsigned char* h) {
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && (h[1] & 0x18) != 0x08 && (h[1] & 0x06) != 0 &&
           (h[2] & 0xF0) != 0xF0 && (h[2] & 0x0C) != 0x0C;
}

// The bytes an ID3v2 tag at the file's start takes (its size is stored 7 bits
// a byte, plus 10 for the header and 10 for a footer); 0 without one.
long id3TagSize(const unsigned char* head) {
    if (std::memcmp(head, "ID3", 3) != 0) return 0;
    long size = head[5] & 0x10 ? 20 : 10;
    for (int i = 6; i < 10; ++i) size += static_cast<long>(head[i] & 0x7F) << (7 * (9 - i));
    return size;
}

// Samples per channel, sample rate and length in bytes of the frame whose
// header is h. False for anything but a frame header of a fixed bit rate.
bool frameShape(const unsigned char* h, int& samples, int& rate, long& bytes) {
    if (!isFrameHeader(h) || (h[2] >> 4) == 0) return false;
    static const short kbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 and 2.5, layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};         // MPEG-2 and 2.5, II and III
    static const int mpeg1Rates[3] = {44100, 48000, 32000};
    const int version = (h[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = 4 - ((h[1] >> 1) & 3);
    const bool mpeg1 = version == 3;
    const long bitRate = kbps[mpeg1 ? layer - 1 : layer == 1 ? 3 : 4][h[2] >> 4] * 1000L;
    rate = mpeg1Rates[(h[2] >> 2) & 3] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    samples = layer == 1 ? 384 : layer == 3 && !mpeg1 ? 576 : 1152;
    const int padding = (h[2] >> 1) & 1;
    bytes = layer == 1 ? (12 * bitRate / rate + padding) * 4 : samples / 8 * bitRate / rate + padding;
    return true;
}

}  // namespace

double trackPosition(float showSeconds, double loopSeconds) {
    const double at = showSeconds > 0.0f ? showSeconds : 0.0;
    return loopSeconds > 0.0 ? std::fmod(at, loopSeconds) : at;
}

int musicFadeVolume(float t) {
    if (!(t > musicFadeStartSeconds)) return fullStreamVolume;
    const float fallen = (t - musicFadeStartSeconds) * 1000.0f;
    // Compare before converting: far past the end the product no longer fits an int.
    if (fallen >= static_cast<float>(fullStreamVolume)) return 0;
    return std::max(0, fullStreamVolume - static_cast<int>(fallen));
}

bool checkTrack(const std::string& path, std::string& why) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        why = errno == ENOENT ? "no music track at " + path : "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        why = path + (S_ISREG(info.st_mode) ? " is empty" : " is not a file");
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        why = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    // The first frame comes first, or right after an ID3v2 tag (its size is
    // stored 7 bits a byte, plus 10 for the header and 10 for a footer).
    unsigned char head[10] = {};
    bool found = std::fread(head, 1, sizeof head, file) == sizeof head && isFrameHeader(head);
    if (const long tagSize = found ? 0 : id3TagSize(head))
        found = std::fseek(file, tagSize, SEEK_SET) == 0 && std::fread(head, 1, 4, file) == 4 && isFrameHeader(head);
    std::fclose(file);
    if (!found) why = path + " is not an MP3 track";
    return found;
}

double trackSeconds(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 10) return 0.0;
    double seconds = 0.0;
    int samples = 0, rate = 0;
    long frameBytes = 0;
    // Whole frames back to back up to whatever follows them (an ID3v1 tag, the end).
    for (size_t at = static_cast<size_t>(id3TagSize(bytes.data()));
         at + 4 <= bytes.size() && frameShape(&bytes[at], samples, rate, frameBytes) &&
         at + static_cast<size_t>(frameBytes) <= bytes.size();
         at += static_cast<size_t>(frameBytes))
        seconds += static_cast<double>(samples) / rate;
    return seconds;
}
