#include "app/options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "app/window.h"

namespace {

constexpr double showSeconds = showLengthSeconds;
// The benchmark replays the show in 10 ms ticks, like a still; the tick after this one ends it.
constexpr double lastBenchmarkMoment = showSeconds - 0.01;

// What an option's value is; None for a switch. A Choice is one of the words of its placeholder.
enum class Value { None, Seconds, SecondsList, FrameMs, Count, File, Folder, Choice, Size };

struct OptionSpec {
    const char* name;
    Value value;
    const char* placeholder;  // the value's name in --help
    double lo, hi;            // a number's range
    const char* section;      // the --help heading it is listed under
    const char* help;
    void (*store)(Options& o, const std::string& text, double number);
};

const char* const liveSection = "Live show (default, needs a display):";
const char* const stillSection = "Still of one moment (headless):";
const char* const captureSection = "Capture of the show (headless):";
const char* const benchmarkSection = "Benchmark of the renderer (headless):";
const char* const commonSection = "Common:";

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

const OptionSpec optionTable[] = {
    {"--start", Value::Seconds, "SECONDS", 0, showSeconds, liveSection, "begin the show at that moment",
     [](Options& o, const std::string&, double n) { o.startSeconds = n; }},
    {"--software", Value::None, "", 0, 0, liveSection, "draw without OpenGL",
     [](Options& o, const std::string&, double) { o.software = true; }},
    {"--fullscreen", Value::None, "", 0, 0, liveSection, "start on the whole screen (F11 or Alt+Enter switch)",
     [](Options& o, const std::string&, double) { o.fullscreen = true; }},
    {"--window", Value::Size, "WxH", 160, 16384, liveSection, "window size in pixels (default 640x480)",
     [](Options& o, const std::string& t, double) {
         const std::vector<std::string> sides = splitOn(t, 'x');
         o.windowWidth = std::atoi(sides[0].c_str());
         o.windowHeight = std::atoi(sides[1].c_str());
     }},
    {"--target-fps", Value::Count, "N", 1, 240, liveSection, "frames per second to hold (default 30)",
     [](Options& o, const std::string&, double n) { o.targetFps = n; }},
    {"--quality", Value::Choice, "adaptive|exact", 0, 0, liveSection,
     "adaptive: fewer samples and pixels when frames are late (default); exact: always the full frame",
     [](Options& o, const std::string& t, double) { o.adaptiveQuality = t != "exact"; }},
    {"--stats", Value::File, "FILE", 0, 0, liveSection,
     "write a line per frame: demo seconds, frame ms, samples per pixel, WxH",
     [](Options& o, const std::string& t, double) { o.statsPath = t; }},
    {"--mute", Value::None, "", 0, 0, liveSection, "no music",
     [](Options& o, const std::string&, double) { o.mute = true; }},
    {"--still", Value::Seconds, "SECONDS", 0, showSeconds, stillSection, "render the frame shown at that moment",
     [](Options& o, const std::string&, double n) { o.stillSeconds = n; }},
    {"--out", Value::File, "FILE", 0, 0, stillSection, "image to write: .png, .jpg, .tif or .exr (default still.png)",
     [](Options& o, const std::string& t, double) { o.outPath = t; }},
    {"--dt", Value::FrameMs, "MS", 0, 10000, stillSection, "fixed frame time of the ticks before it (default 10)",
     [](Options& o, const std::string&, double n) { o.dtMs = n; }},
    {"--preview", Value::None, "", 0, 0, stillSection,
     "quick look: the live show's lowest setting, filtered (also for --capture, --video)",
     [](Options& o, const std::string&, double) { o.preview = true; }},
    {"--size", Value::Size, "WxH", 16, 16384, stillSection,
     "picture size in pixels (default 640x480; other shapes widen or narrow the view)",
     [](Options& o, const std::string& t, double) {
         const std::vector<std::string> sides = splitOn(t, 'x');
         o.outputWidth = std::atoi(sides[0].c_str());
         o.outputHeight = std::atoi(sides[1].c_str());
     }},
    {"--keep-aspect", Value::None, "", 0, 0, stillSection,
     "for a size that is not 4:3: the 4:3 view between black bars",
     [](Options& o, const std::string&, double) { o.keepAspect = true; }},
    {"--passes", Value::Count, "N", 1, 4096, stillSection,
     "passes of each moment averaged before the tone curve (default 1; more: less noise)",
     [](Options& o, const std::string&, double n) { o.passes = static_cast<int>(n); }},
    {"--overwrite", Value::None, "", 0, 0, stillSection, "replace outputs that exist (else they are refused)",
     [](Options& o, const std::string&, double) { o.overwrite = true; }},
    {"--capture", Value::Folder, "DIR", 0, 0, captureSection, "write DIR/frame_00000.png and on",
     [](Options& o, const std::string& t, double) { o.captureDir = t; }},
    {"--video", Value::File, "FILE", 0, 0, captureSection, "encode a video with music through ffmpeg: .mp4, .mov, .mkv or .webm",
     [](Options& o, const std::string& t, double) { o.videoPath = t; }},
    {"--fps", Value::Count, "N", 1, 1000, captureSection, "frames per second (default 60)",
     [](Options& o, const std::string&, double n) { o.fps = static_cast<int>(n); }},
    {"--from", Value::Seconds, "SECONDS", 0, showSeconds, captureSection, "start of the captured part (default 0)",
     [](Options& o, const std::string&, double n) { o.fromSeconds = n; }},
    {"--to", Value::Seconds, "SECONDS", 0, showSeconds, captureSection, "end of the captured part (default 106)",
     [](Options& o, const std::string&, double n) { o.toSeconds = n; }},
    {"--codec", Value::Choice, "h264|h265|prores|ffv1|vp9|av1", 0, 0, captureSection,
     "video codec (default: h264 in .mp4, prores in .mov, ffv1 in .mkv, vp9 in .webm)",
     [](Options& o, const std::string& t, double) { o.codec = t; }},
    {"--crf", Value::Count, "N", 0, 63, captureSection, "quality for h264, h265, vp9, av1: lower is better",
     [](Options& o, const std::string&, double n) { o.crf = static_cast<int>(n); }},
    {"--dry-run", Value::None, "", 0, 0, captureSection,
     "check the options, the data and the --video output as the capture would, then stop: nothing is written",
     [](Options& o, const std::string&, double) { o.dryRun = true; }},
    {"--assemble", Value::Folder, "DIR", 0, 0, captureSection,
     "make --video from the frames a capture left in DIR, without rendering",
     [](Options& o, const std::string& t, double) { o.assembleDir = t; }},
    {"--list-parts", Value::None, "", 0, 0, captureSection,
     "print the parts of --fps/--from/--to for a farm: first and last tick, --from, --to",
     [](Options&, const std::string&, double) {}},
    {"--part-frames", Value::Count, "N", 1, 1000000, captureSection, "frames in each listed part (default 60)",
     [](Options& o, const std::string&, double n) { o.partFrames = static_cast<int>(n); }},
    {"--parts", Value::Count, "N", 1, 1000000, captureSection, "list N equal parts instead",
     [](Options& o, const std::string&, double n) { o.partShares = static_cast<int>(n); }},
    {"--benchmark", Value::None, "", 0, 0, benchmarkSection, "time frames of the show and print a score",
     [](Options&, const std::string&, double) {}},
    {"--moments", Value::SecondsList, "A,B,...", 0, lastBenchmarkMoment, benchmarkSection,
     "moments to time, in seconds (default 0.5,13,30,60,97)",
     [](Options& o, const std::string& t, double) {
         o.benchmarkMoments.clear();
         for (const std::string& item : splitOn(t, ','))
             o.benchmarkMoments.push_back(std::strtod(item.c_str(), nullptr));
     }},
    {"--runs", Value::Count, "N", 1, 1000, benchmarkSection, "timed frames per moment, after a warm-up (default 3)",
     [](Options& o, const std::string&, double n) { o.benchmarkRuns = static_cast<int>(n); }},
    {"--backend", Value::Choice, "auto|cpu|cuda", 0, 0, commonSection, "renderer (default auto: CUDA when usable)",
     [](Options& o, const std::string& t, double) {
         o.driver.backend = t == "cpu" ? BackendChoice::Cpu : t == "cuda" ? BackendChoice::Cuda : BackendChoice::Auto;
     }},
    {"--threads", Value::Count, "N", 1, maxCpuThreads, commonSection, "CPU renderer threads (default: one per core)",
     [](Options& o, const std::string&, double n) { o.driver.threads = static_cast<int>(n); }},
    {"--cpu-kernel", Value::Choice, "simd|scalar", 0, 0, commonSection,
     "CPU renderer: vector lanes or one pixel at a time (default simd)",
     [](Options& o, const std::string& t, double) {
         o.driver.cpuKernel = t == "scalar" ? CpuKernel::Scalar : CpuKernel::Simd;
     }},
    {"--no-overlays", Value::None, "", 0, 0, commonSection, "leave the title images off",
     [](Options& o, const std::string&, double) { o.overlays = false; }},
    {"--data", Value::Folder, "DIR", 0, 0, commonSection, "folder holding the images and the track",
     [](Options& o, const std::string& t, double) { o.dataDir = t; }},
    {"--help", Value::None, "", 0, 0, commonSection, "this text (also -h)",
     [](Options& o, const std::string&, double) { o.mode = RunMode::Help; }},
    {"-h", Value::None, "", 0, 0, nullptr, "",
     [](Options& o, const std::string&, double) { o.mode = RunMode::Help; }},
    {"--version", Value::None, "", 0, 0, commonSection, "version and samples per frame",
     [](Options& o, const std::string&, double) { o.mode = RunMode::Version; }},
};

const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& spec : optionTable)
        if (name == spec.name) return &spec;
    return nullptr;
}

std::string format(const char* pattern, const std::string& text, double lo, double hi) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, pattern, text.c_str(), lo, hi);
    return buffer;
}

// Skips the digits at text[i...]; how many there were.
size_t skipDigits(const std::string& text, size_t& i) {
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
}

// Plain decimal: an optional sign, digits with an optional fraction (or a
// fraction alone), an optional exponent. A loop, not a regular expression: the
// standard library's matcher recurses once per character and a long value
// would overflow the stack.
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

bool isDigits(const std::string& text) {
    size_t i = 0;
    return skipDigits(text, i) > 0 && i == text.size();
}

// One number syntax everywhere: plain decimal for times and digits only for
// counts. strtod alone would also take hex, inf, nan and leading spaces.
bool readNumber(const OptionSpec& spec, Value kind, const std::string& text, double& number, std::string& error) {
    const bool syntax = kind == Value::Count ? isDigits(text) : isPlainDecimal(text);
    number = syntax ? std::strtod(text.c_str(), nullptr) : 0.0;
    const bool inRange = kind == Value::FrameMs ? number > spec.lo : number >= spec.lo;
    if (syntax && inRange && number <= spec.hi) return true;
    error = spec.name + format(kind == Value::Seconds   ? ": '%s' is not a time from %g to %g seconds"
                               : kind == Value::FrameMs ? ": '%s' is not a frame time above %g and up to %g ms"
                                                        : ": '%s' is not a whole number from %g to %g",
                               text, spec.lo, spec.hi);
    return false;
}

bool readValue(const OptionSpec& spec, const std::string& text, double& number, std::string& error) {
    const std::string name = spec.name;
    switch (spec.value) {
        case Value::None:
            return true;
        case Value::File:
        case Value::Folder:
            if (!text.empty()) return true;
            error = name + " needs " + (spec.value == Value::Folder ? "a folder" : "a file name");
            return false;
        case Value::Choice: {
            const std::vector<std::string> words = splitOn(spec.placeholder, '|');
            if (std::find(words.begin(), words.end(), text) != words.end()) return true;
            error = name + ": '" + text + "' is not one of";
            for (const std::string& word : words) error += " " + word + (&word == &words.back() ? "" : ",");
            return false;
        }
        case Value::Size: {
            // WIDTHxHEIGHT, each side digits only (as every count) and in range.
            const std::vector<std::string> sides = splitOn(text, 'x');
            const auto fits = [&](const std::string& side) {
                const double n = isDigits(side) ? std::strtod(side.c_str(), nullptr) : 0.0;
                return n >= spec.lo && n <= spec.hi;
            };
            if (sides.size() == 2 && fits(sides[0]) && fits(sides[1])) return true;
            error = name + format(": '%s' is not a size WxH with both sides from %g to %g", text, spec.lo, spec.hi);
            return false;
        }
        case Value::SecondsList:
            for (const std::string& item : splitOn(text, ','))
                if (!readNumber(spec, Value::Seconds, item, number, error)) return false;
            return true;
        case Value::Seconds:
        case Value::FrameMs:
        case Value::Count:
            break;
    }
    return readNumber(spec, spec.value, text, number, error);
}

// Options that belong to another job than the one asked for are refused.
bool checkCombination(const std::set<std::string>& given, const Options& o, std::string& error) {
    auto firstOf = [&](std::initializer_list<const char*> names) -> std::string {
        for (const char* name : names)
            if (given.count(name)) return name;
        return "";
    };
    const bool assemble = given.count("--assemble");
    const bool still = given.count("--still"), captureJob = !firstOf({"--capture", "--video"}).empty() && !assemble;
    const bool benchmark = given.count("--benchmark");
    const bool listParts = given.count("--list-parts");
    std::string culprit;
    error.clear();
    if (listParts && !(culprit = firstOf({"--still", "--capture", "--video", "--assemble", "--benchmark"})).empty())
        error = "--list-parts only lists the parts of a capture: it cannot take " + culprit;
    else if (!listParts && !(culprit = firstOf({"--part-frames", "--parts"})).empty())
        error = culprit + " only applies to --list-parts";
    else if (given.count("--part-frames") && given.count("--parts"))
        error = "--part-frames and --parts cannot be combined";
    else if (assemble && !given.count("--video"))
        error = "--assemble needs --video FILE";
    else if (assemble && !(culprit = firstOf({"--capture", "--still", "--benchmark", "--size", "--keep-aspect",
                                              "--passes", "--preview"}))
                              .empty())
        error = "--assemble makes a video of frames already made: it cannot take " + culprit;
    else if (still && captureJob)
        error = "--still cannot be combined with --capture or --video";
    else if (benchmark && (still || captureJob))
        error = "--benchmark cannot be combined with --still, --capture or --video";
    else if (!still && !(culprit = firstOf({"--out", "--dt"})).empty())
        error = culprit + " only applies to --still";
    else if (!captureJob && !assemble && !listParts && !(culprit = firstOf({"--fps", "--from", "--to"})).empty())
        error = culprit + " only applies to --capture, --video and --list-parts";
    else if (!given.count("--video") && !(culprit = firstOf({"--codec", "--crf"})).empty())
        error = culprit + " only applies to --video";
    else if (!benchmark && !(culprit = firstOf({"--moments", "--runs"})).empty())
        error = culprit + " only applies to --benchmark";
    else if (!still && !captureJob && !(culprit = firstOf({"--preview", "--size", "--keep-aspect", "--passes"})).empty())
        error = culprit + " only applies to --still, --capture and --video";
    else if (!still && !captureJob && !assemble && given.count("--overwrite"))
        error = "--overwrite only applies to --still, --capture, --video and --assemble";
    else if (!captureJob && given.count("--dry-run"))
        error = "--dry-run only applies to --capture and --video";
    else if (static_cast<long long>(o.outputWidth) * o.outputHeight > maxFramePixels)
        error = "--size: " + std::to_string(o.outputWidth) + "x" + std::to_string(o.outputHeight) +
                " is more than " + std::to_string(maxFramePixels) + " pixels";
    else if (o.preview && o.passes > 1)
        error = "--preview cannot be combined with --passes: a preview is one quick pass";
    // (The picture's options and --overwrite are refused above, as for any job but a still or capture.)
    else if (listParts &&
             !(culprit = firstOf({"--no-overlays", "--mute", "--backend", "--threads", "--cpu-kernel", "--data"}))
                  .empty())
        error = "--list-parts renders nothing: it cannot take " + culprit;
    else if ((still || captureJob || benchmark || assemble || listParts) &&
             !(culprit = firstOf({"--start", "--software", "--fullscreen", "--window", "--target-fps", "--quality",
                                  "--stats"}))
                  .empty())
        error = culprit + " only applies to the live show";
    else if (o.fromSeconds >= o.toSeconds)
        error = "--from must be earlier than --to";
    else if (o.windowWidth > maxWindowWidth)
        error = "--window: " + std::to_string(o.windowWidth) + "x" + std::to_string(o.windowHeight) +
                " is too wide: a window is at most " + std::to_string(maxWindowWidth) +
                " pixels wide (SDL 1.2 keeps a row of 32-bit pixels in at most 65535 bytes)";
    return error.empty();
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    std::set<std::string> given;
    for (int i = 1; i < argc; ++i) {
        // --name value, or --name=value in one word.
        std::string name = argv[i], text;
        const size_t equals = name.find('=');
        const bool inlineValue = name.compare(0, 2, "--") == 0 && equals != std::string::npos;
        if (inlineValue) {
            text = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionSpec* spec = findOption(name);
        if (!spec) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (spec->value == Value::None && inlineValue) {
            error = name + " takes no value";
            return false;
        }
        if (spec->value != Value::None && !inlineValue) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            text = argv[++i];
        }
        double number = 0.0;
        if (!readValue(*spec, text, number, error)) return false;
        spec->store(o, text, number);
        if (o.mode == RunMode::Help || o.mode == RunMode::Version) return true;  // wins over everything else
        given.insert(name);
    }
    if (!checkCombination(given, o, error)) return false;
    if (given.count("--still")) o.mode = RunMode::Still;
    if (given.count("--capture") || given.count("--video")) o.mode = RunMode::Capture;
    if (given.count("--assemble")) o.mode = RunMode::Assemble;
    if (given.count("--list-parts")) o.mode = RunMode::ListParts;
    if (given.count("--benchmark")) o.mode = RunMode::Benchmark;
    return true;
}

std::vector<std::string> optionNames() {
    std::vector<std::string> names;
    for (const OptionSpec& spec : optionTable) names.push_back(spec.name);
    return names;
}

std::string usageText(const char* program) {
    std::string text = std::string("Usage: ") + (program ? program : "template") +
                       " [options]\n"
                       "A self-running, path-traced real-time show of 106 seconds.\n"
                       "An option's value follows it as the next word or after '=' (--still=60).\n";
    const char* section = nullptr;
    for (const OptionSpec& spec : optionTable) {
        if (!spec.section) continue;
        if (spec.section != section) text += std::string("\n") + (section = spec.section) + "\n";
        const std::string usage = std::string(spec.name) + (*spec.placeholder ? " " : "") + spec.placeholder;
        char line[160];
        std::snprintf(line, sizeof line, "  %-24s %s\n", usage.c_str(), spec.help);
        text += line;
    }
    return text;
}
