// The command-line parser on arbitrary command lines. The input is an argument
// block as the kernel keeps it: words ended by NUL bytes (the last one may lack
// its NUL). A line the parser accepts must leave every setting in its range; a
// refused one must say why.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "entry/options.h"

namespace {

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words{"template"};
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] != '\0') continue;
        words.emplace_back(text + start, i - start);
        start = i + 1;
    }
    if (start < size) words.emplace_back(text + start, size - start);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    Options options;
    std::string error;
    if (!parseOptions(static_cast<int>(words.size()), argv.data(), options, error)) {
        require(!error.empty(), "a refusal without a reason");
        return 0;
    }
    if (options.mode == RunMode::Help || options.mode == RunMode::Version) return 0;
    const ShowRange& range = options.capture.range;
    require(within(options.still.seconds, 0, 106) && within(options.live.startSeconds, 0, 106),
            "a moment outside the show");
    require(within(range.fromSeconds, 0, 106) && within(range.toSeconds, 0, 106) &&
                range.fromSeconds < range.toSeconds,
            "a captured part outside the show or backwards");
    require(within(options.still.dtMs, 0, 10000) && options.still.dtMs > 0, "a frame time out of range");
    require(range.fps >= 1 && range.fps <= 1000, "a frame rate out of range");
    require(options.demo.driver.threads >= 0 && options.demo.driver.threads <= maxCpuThreads,
            "a thread count out of range");
    require(!options.still.outPath.empty(), "an empty output name");
    require(static_cast<long long>(options.demo.pictureWidth) * options.demo.pictureHeight <= maxFramePixels,
            "a picture over the pixel limit");
    return 0;
}
