#include "check_options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "anim/show_state.h"
#include "scene/frame_driver.h"

const char* const checkUsage =
    "usage: engine-check [options]\n"
    "Renders moments of the show with the CPU and the CUDA backend, compares and times them.\n"
    "  --moments A,B,...    seconds into the show (default 0.5,13,30,60,97), 0 to 105.99\n"
    "  --size WxH[,WxH...]  frame sizes (default 640x480), each side 16 to 16384, at most 67108864\n"
    "                       pixels; every moment is rendered at each size in turn by the same backends\n"
    "  --layers             also compare the light before the tone curve and the guide layer\n"
    "  --runs N             timed CUDA frames per moment and size after the checked one (default 30)\n"
    "  --cpu-runs N         timed CPU frames per moment and size after the checked one (default 3)\n"
    "  --threads N          CPU backend threads, 1 to 256 (default: one per core)\n"
    "  --min-margin DB      how much higher a CUDA frame's PSNR against the CPU frame must be than\n"
    "                       the PSNR of the CPU's next pass against it (default 10)\n"
    "  --min-psnr DB        least PSNR of a CUDA frame against the CPU frame (default 30)\n"
    "  --device cuda|cpu    what is checked: the CUDA backend (default), or a second CPU backend\n"
    "                       running the scalar kernel, which tries the check where there is no GPU\n"
    "  --ppm DIR            write DIR/cpu_<t>.ppm and DIR/cuda_<t>.ppm (cpu_<t>_<W>x<H>.ppm at other sizes)\n"
    "  --allow-no-gpu       without a usable CUDA device, exit 0 after the CPU frames\n"
    "  --help               this text\n"
    "A CUDA frame passes when its PSNR against the CPU frame of the same pass clears both marks and\n"
    "every pixel was written: the device buffers are filled with 0xFF bytes before each frame, so a\n"
    "pixel the kernel skips keeps its top byte set. The CPU frame of the next pass gives the noise a\n"
    "wrong seed, pass number or sampler table would show. With --layers the light's error must be\n"
    "the same margin below the next pass's, each pixel must be the tone curve of its own light, and\n"
    "the guide must match the CPU's but for a few pixels on edges. The checked frame of each backend\n"
    "is rendered first (with the layers when asked for) and not timed; the timed frames that follow\n"
    "are packed frames as the show renders them, and each must equal the checked one.\n"
    "Exit codes: 0 every moment passed; 1 a check failed (the marks above, a backend giving different\n"
    "frames for one moment, a CUDA device that fails to set up or render); 2 bad options or an error\n"
    "(an unwritable PPM); 3 no CUDA device or no CUDA in this build (the CPU frames were still\n"
    "rendered and timed; 0 with --allow-no-gpu).\n";

namespace {

constexpr double lastMoment = showLengthSeconds - 0.01;

size_t skipDigits(const std::string& text, size_t& i) {
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
}

bool isDigits(const std::string& text) {
    size_t i = 0;
    return skipDigits(text, i) > 0 && i == text.size();
}

// An optional sign, digits with an optional fraction (or a fraction alone), an
// optional exponent: no hex, inf, nan or spaces, which strtod alone would take.
bool isPlainDecimal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = skipDigits(text, i);
    if (i < text.size() && text[i] == '.') digits += skipDigits(text, ++i);
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (skipDigits(text, i) == 0) return false;
    }
    return i == text.size();
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::string rangeText(double low, double high) {
    char text[64];
    std::snprintf(text, sizeof text, "%g to %g", low, high);
    return text;
}

bool parseNumber(const std::string& name, const std::string& text, double low, double high, double& value,
                 std::string& error) {
    value = isPlainDecimal(text) ? std::strtod(text.c_str(), nullptr) : 0.0;
    if (isPlainDecimal(text) && value >= low && value <= high) return true;
    error = name + ": '" + text + "' is not a number from " + rangeText(low, high);
    return false;
}

bool parseCount(const std::string& name, const std::string& text, int low, int high, int& value, std::string& error) {
    const double number = isDigits(text) ? std::strtod(text.c_str(), nullptr) : -1.0;
    if (number >= low && number <= high) {
        value = static_cast<int>(number);
        return true;
    }
    error = name + ": '" + text + "' is not a whole number from " + rangeText(low, high);
    return false;
}

bool parseSizes(const std::string& text, std::vector<FrameSize>& sizes, std::string& error) {
    sizes.clear();
    for (const std::string& item : splitOn(text, ',')) {
        const std::vector<std::string> sides = splitOn(item, 'x');
        int side[2] = {0, 0};
        bool fits = sides.size() == 2;
        for (int k = 0; fits && k < 2; ++k) {
            const double n = isDigits(sides[k]) ? std::strtod(sides[k].c_str(), nullptr) : 0.0;
            fits = n >= minFrameSide && n <= maxFrameSide;
            side[k] = fits ? static_cast<int>(n) : 0;
        }
        if (!fits) {
            error = "--size: '" + item + "' is not a size WxH with both sides from " +
                    rangeText(minFrameSide, maxFrameSide);
            return false;
        }
        if (static_cast<long long>(side[0]) * side[1] > maxFramePixels) {
            error = "--size: " + item + " is more than " + std::to_string(maxFramePixels) + " pixels";
            return false;
        }
        sizes.push_back({side[0], side[1]});
    }
    return true;
}

}  // namespace

bool parseCheckOptions(int argc, const char* const* argv, CheckOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--allow-no-gpu" || name == "--layers") {
            (name == "--layers" ? o.layers : o.allowNoGpu) = true;
            continue;
        }
        static const char* const valued[] = {"--moments",    "--size",     "--runs",   "--cpu-runs", "--threads",
                                             "--min-margin", "--min-psnr", "--device", "--ppm"};
        const size_t equals = name.find('=');
        if (std::none_of(std::begin(valued), std::end(valued),
                         [&](const char* known) { return name.substr(0, equals) == known; })) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        bool done = false;
        if (name == "--moments") {
            o.moments.clear();
            done = true;
            for (const std::string& item : splitOn(value, ',')) {
                double seconds = 0;
                done = done && parseNumber(name, item, 0.0, lastMoment, seconds, error);
                o.moments.push_back(seconds);
            }
        } else if (name == "--size") {
            done = parseSizes(value, o.sizes, error);
        } else if (name == "--runs") {
            done = parseCount(name, value, 0, 1000, o.runs, error);
        } else if (name == "--cpu-runs") {
            done = parseCount(name, value, 0, 1000, o.cpuRuns, error);
        } else if (name == "--threads") {
            done = parseCount(name, value, 1, maxCpuThreads, o.threads, error);
        } else if (name == "--min-margin") {
            done = parseNumber(name, value, 0.0, 1000.0, o.minMargin, error);
        } else if (name == "--min-psnr") {
            done = parseNumber(name, value, 0.0, 1000.0, o.minPsnr, error);
        } else if (name == "--device") {
            done = value == "cuda" || value == "cpu";
            o.cpuDevice = value == "cpu";
            if (!done) error = "--device: '" + value + "' is not one of cuda, cpu";
        } else if (name == "--ppm") {
            o.ppmDir = value;
            done = !value.empty();
            if (!done) error = "--ppm needs a folder";
        }
        if (!done) return false;
    }
    return true;
}
