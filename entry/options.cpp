#include "entry/options.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "base/command_line.h"
#include "live/window.h"

namespace {

constexpr double showSeconds = showLengthSeconds;
// The benchmark replays the show in 10 ms ticks, like a still; the tick after this one ends it.
constexpr double lastBenchmarkMoment = showSeconds - 0.01;

// The jobs an option applies to. A job is chosen by its option (the live show
// by none); --video goes with --capture or with --assemble.
enum Job : unsigned {
    liveJob = 1u << 0,
    stillJob = 1u << 1,
    captureJob = 1u << 2,
    videoJob = 1u << 3,
    assembleJob = 1u << 4,
    listPartsJob = 1u << 5,
    benchmarkJob = 1u << 6,
};
constexpr unsigned everyJob = liveJob | stillJob | captureJob | videoJob | assembleJob | listPartsJob | benchmarkJob;
constexpr unsigned pictureJobs = stillJob | captureJob | videoJob;  // the jobs that render pictures to keep
constexpr unsigned rangeJobs = captureJob | videoJob | listPartsJob;

struct OptionRow {
    OptionSyntax syntax;
    unsigned jobs;       // where it applies; a job's own option: the job it chooses
    unsigned refusedBy;  // jobs that refuse it in their own words (jobRefusal)
    const char* help;    // null: left out of --help
    void (*store)(Options& o, const OptionValue& v);
};

// A job's own option, the other jobs' options it cannot be given with, and
// how it words a refusal: "<name><refusal><culprit>" for a job option (null:
// "<name> cannot be combined with <its conflicts>"), "<name><optionRefusal>
// <culprit>" for an option of those it refuses (OptionRow::refusedBy).
struct JobRule {
    const char* name;
    unsigned job;
    unsigned conflicts;
    const char* refusal;
    const char* optionRefusal;
};

const JobRule jobRules[] = {
    {"--still", stillJob, captureJob | videoJob, nullptr, nullptr},
    {"--capture", captureJob, 0, nullptr, nullptr},
    {"--video", videoJob, 0, nullptr, nullptr},
    {"--assemble", assembleJob, captureJob | stillJob | benchmarkJob,
     " makes a video of frames already made: it cannot take ", " makes a video of frames already made: it cannot take "},
    {"--list-parts", listPartsJob, stillJob | captureJob | videoJob | assembleJob | benchmarkJob,
     " only lists the parts of a capture: it cannot take ", " renders nothing: it cannot take "},
    {"--benchmark", benchmarkJob, stillJob | captureJob | videoJob, nullptr, nullptr},
};

DriverOptions& driver(Options& o) {
    return o.demo.driver;
}

const OptionRow optionTable[] = {
    {{"--start", ValueKind::Seconds, "SECONDS", 0, showSeconds}, liveJob, 0, "begin the show at that moment",
     [](Options& o, const OptionValue& v) { o.live.startSeconds = v.number; }},
    {{"--software", ValueKind::None, "", 0, 0}, liveJob, 0, "draw without OpenGL",
     [](Options& o, const OptionValue&) { o.live.software = true; }},
    {{"--fullscreen", ValueKind::None, "", 0, 0}, liveJob, 0, "start on the whole screen (F11 or Alt+Enter switch)",
     [](Options& o, const OptionValue&) { o.live.fullscreen = true; }},
    {{"--window", ValueKind::Size, "WxH", 160, 16384}, liveJob, 0, "window size in pixels (default 640x480)",
     [](Options& o, const OptionValue& v) {
         o.live.windowWidth = v.width;
         o.live.windowHeight = v.height;
     }},
    {{"--target-fps", ValueKind::Count, "N", 1, 240}, liveJob, 0, "frames per second to hold (default 30)",
     [](Options& o, const OptionValue& v) { o.live.targetFps = v.number; }},
    {{"--quality", ValueKind::Choice, "adaptive|clean|exact", 0, 0}, liveJob, 0,
     "adaptive: fewer samples and pixels when frames are late, reconstructed over frames (default); clean: "
     "adaptive, and the full frame reconstructed too; exact: always the full frame as rendered",
     [](Options& o, const OptionValue& v) {
         o.live.adaptiveQuality = v.text != "exact";
         o.demo.reconstructFull = v.text == "clean";
     }},
    {{"--temporal", ValueKind::Choice, "on|off", 0, 0}, liveJob | pictureJobs, 0,
     "on: reduced frames are accumulated over frames and reconstructed (default); off: each filtered alone",
     [](Options& o, const OptionValue& v) {
         o.demo.reuse = v.text == "off" ? PictureReuse::PerFrame : PictureReuse::Temporal;
     }},
    {{"--stats", ValueKind::File, "FILE", 0, 0}, liveJob, 0,
     "write a line per frame: demo seconds, frame ms, samples per pixel, WxH, reconstruction ms",
     [](Options& o, const OptionValue& v) { o.live.statsPath = v.text; }},
    {{"--still", ValueKind::Seconds, "SECONDS", 0, showSeconds}, stillJob, 0, "render the frame shown at that moment",
     [](Options& o, const OptionValue& v) { o.still.seconds = v.number; }},
    {{"--out", ValueKind::File, "FILE", 0, 0}, stillJob, 0,
     "image to write: .png, .jpg, .tif or .exr (default still.png)",
     [](Options& o, const OptionValue& v) { o.still.outPath = v.text; }},
    {{"--dt", ValueKind::FrameMs, "MS", 0, 10000}, stillJob, 0, "fixed frame time of the ticks before it (default 10)",
     [](Options& o, const OptionValue& v) { o.still.dtMs = v.number; }},
    {{"--preview", ValueKind::None, "", 0, 0}, pictureJobs, assembleJob,
     "quick look: the live show's lowest setting, filtered (also for --capture, --video)",
     [](Options& o, const OptionValue&) { o.output.preview = true; }},
    {{"--rung", ValueKind::File, "S@WxH", 0, 0}, pictureJobs, assembleJob,
     "the live show's look at that rung (e.g. 1@320x240, as --stats names it), frame after frame as it runs "
     "live; a still warms up over the second before its moment",
     [](Options& o, const OptionValue& v) { o.output.rung = v.text; }},
    {{"--size", ValueKind::Size, "WxH", 16, 16384}, pictureJobs, assembleJob,
     "picture size in pixels (default 640x480; other shapes widen or narrow the view)",
     [](Options& o, const OptionValue& v) {
         o.demo.pictureWidth = v.width;
         o.demo.pictureHeight = v.height;
     }},
    {{"--keep-aspect", ValueKind::None, "", 0, 0}, pictureJobs, assembleJob,
     "for a size that is not 4:3: the 4:3 view between black bars",
     [](Options& o, const OptionValue&) { o.demo.keepAspect = true; }},
    {{"--passes", ValueKind::Count, "N", 1, 4096}, pictureJobs, assembleJob,
     "passes of each moment averaged before the tone curve (default 1; more: less noise)",
     [](Options& o, const OptionValue& v) { o.demo.passes = static_cast<int>(v.number); }},
    {{"--overwrite", ValueKind::None, "", 0, 0}, pictureJobs | assembleJob, 0,
     "replace outputs that exist (else they are refused)",
     [](Options& o, const OptionValue&) { o.output.overwrite = true; }},
    {{"--capture", ValueKind::Folder, "DIR", 0, 0}, captureJob, 0, "write DIR/frame_00000.png and on",
     [](Options& o, const OptionValue& v) { o.capture.frameDir = v.text; }},
    {{"--video", ValueKind::File, "FILE", 0, 0}, videoJob, 0,
     "encode a video with music through ffmpeg: .mp4, .mov, .mkv or .webm",
     [](Options& o, const OptionValue& v) { o.capture.video.path = v.text; }},
    {{"--fps", ValueKind::Count, "N", 1, 1000}, rangeJobs, 0, "frames per second (default 60)",
     [](Options& o, const OptionValue& v) { o.capture.range.fps = static_cast<int>(v.number); }},
    {{"--from", ValueKind::Seconds, "SECONDS", 0, showSeconds}, rangeJobs, 0, "start of the captured part (default 0)",
     [](Options& o, const OptionValue& v) { o.capture.range.fromSeconds = v.number; }},
    {{"--to", ValueKind::Seconds, "SECONDS", 0, showSeconds}, rangeJobs, 0, "end of the captured part (default 106)",
     [](Options& o, const OptionValue& v) { o.capture.range.toSeconds = v.number; }},
    {{"--codec", ValueKind::Choice, "h264|h265|prores|ffv1|vp9|av1", 0, 0}, videoJob, 0,
     "video codec (default: h264 in .mp4, prores in .mov, ffv1 in .mkv, vp9 in .webm)",
     [](Options& o, const OptionValue& v) { o.capture.video.codec = v.text; }},
    {{"--crf", ValueKind::Count, "N", 0, 63}, videoJob, 0, "quality for h264, h265, vp9, av1: lower is better",
     [](Options& o, const OptionValue& v) { o.capture.video.crf = static_cast<int>(v.number); }},
    {{"--dry-run", ValueKind::None, "", 0, 0}, captureJob | videoJob, assembleJob,
     "check the options, the data and the --video output as the capture would, then stop: nothing is written",
     [](Options& o, const OptionValue&) { o.capture.dryRun = true; }},
    {{"--assemble", ValueKind::Folder, "DIR", 0, 0}, assembleJob, 0,
     "make --video from the frames a capture left in DIR, without rendering",
     [](Options& o, const OptionValue& v) { o.capture.frameDir = v.text; }},
    {{"--list-parts", ValueKind::None, "", 0, 0}, listPartsJob, 0,
     "print the parts of --fps/--from/--to for a farm: first and last tick, --from, --to",
     [](Options&, const OptionValue&) {}},
    {{"--part-frames", ValueKind::Count, "N", 1, 1000000}, listPartsJob, 0, "frames in each listed part (default 60)",
     [](Options& o, const OptionValue& v) { o.parts.partFrames = static_cast<int>(v.number); }},
    {{"--parts", ValueKind::Count, "N", 1, 1000000}, listPartsJob, 0, "list N equal parts instead",
     [](Options& o, const OptionValue& v) { o.parts.partShares = static_cast<int>(v.number); }},
    {{"--benchmark", ValueKind::None, "", 0, 0}, benchmarkJob, 0, "time frames of the show and print a score",
     [](Options&, const OptionValue&) {}},
    {{"--moments", ValueKind::SecondsList, "A,B,...", 0, lastBenchmarkMoment}, benchmarkJob, 0,
     "moments to time, in seconds (default 0.5,13,30,60,97)",
     [](Options& o, const OptionValue& v) { o.benchmark.moments = v.numbers; }},
    {{"--runs", ValueKind::Count, "N", 1, 1000}, benchmarkJob, 0,
     "timed frames per moment, after a warm-up (default 3)",
     [](Options& o, const OptionValue& v) { o.benchmark.runs = static_cast<int>(v.number); }},
    {{"--backend", ValueKind::Choice, "auto|cpu|cuda", 0, 0}, everyJob, listPartsJob,
     "renderer (default auto: CUDA when usable)",
     [](Options& o, const OptionValue& v) {
         driver(o).backend = v.text == "cpu"    ? BackendChoice::Cpu
                             : v.text == "cuda" ? BackendChoice::Cuda
                                                : BackendChoice::Auto;
     }},
    {{"--threads", ValueKind::Count, "N", 1, maxCpuThreads}, everyJob, listPartsJob,
     "CPU renderer threads (default: one per core)",
     [](Options& o, const OptionValue& v) { driver(o).threads = static_cast<int>(v.number); }},
    {{"--cpu-kernel", ValueKind::Choice, "simd|scalar", 0, 0}, everyJob, listPartsJob,
     "CPU renderer: vector lanes or one pixel at a time (default simd)",
     [](Options& o, const OptionValue& v) {
         driver(o).cpuKernel = v.text == "scalar" ? CpuKernel::Scalar : CpuKernel::Simd;
     }},
    {{"--no-overlays", ValueKind::None, "", 0, 0}, everyJob, listPartsJob, "leave the title images off",
     [](Options& o, const OptionValue&) { o.demo.overlays = false; }},
    {{"--mute", ValueKind::None, "", 0, 0}, everyJob, listPartsJob, "no music",
     [](Options& o, const OptionValue&) { o.demo.music = false; }},
    {{"--data", ValueKind::Folder, "DIR", 0, 0}, everyJob, listPartsJob, "folder holding the images and the track",
     [](Options& o, const OptionValue& v) { o.dataDir = v.text; }},
    {{"--help", ValueKind::None, "", 0, 0}, everyJob, 0, "this text (also -h)",
     [](Options& o, const OptionValue&) { o.mode = RunMode::Help; }},
    {{"-h", ValueKind::None, "", 0, 0}, everyJob, 0, nullptr,
     [](Options& o, const OptionValue&) { o.mode = RunMode::Help; }},
    {{"--version", ValueKind::None, "", 0, 0}, everyJob, 0, "version and samples per frame",
     [](Options& o, const OptionValue&) { o.mode = RunMode::Version; }},
};

// "--still, --capture and --video" (joined by `last` before the final one), in
// the order of jobRules.
std::string jobList(unsigned jobs, const char* last) {
    std::vector<std::string> names;
    if (jobs & liveJob) names.push_back("the live show");
    for (const JobRule& rule : jobRules)
        if (jobs & rule.job) names.push_back(rule.name);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return text;
}

struct GivenOption {
    const OptionRow* row;
    std::string name;
};

unsigned jobsGiven(const std::vector<GivenOption>& given) {
    unsigned jobs = 0;
    for (const GivenOption& g : given)
        for (const JobRule& rule : jobRules)
            if (g.name == rule.name) jobs |= rule.job;
    return jobs ? jobs : liveJob;
}

// The job options given together must make one job.
bool checkJobs(const std::vector<GivenOption>& given, unsigned jobs, std::string& error) {
    for (const GivenOption& g : given)
        for (const JobRule& rule : jobRules) {
            if (g.name != rule.name || !(jobs & rule.conflicts)) continue;
            if (!rule.refusal) {
                error = g.name + " cannot be combined with " + jobList(rule.conflicts, " or ");
                return false;
            }
            for (const GivenOption& other : given)
                for (const JobRule& culprit : jobRules)
                    if (other.name == culprit.name && (rule.conflicts & culprit.job)) {
                        error = g.name + rule.refusal + other.name;
                        return false;
                    }
        }
    return true;
}

// Every other option must apply to the job.
bool checkApplies(const std::vector<GivenOption>& given, unsigned jobs, std::string& error) {
    for (const GivenOption& g : given) {
        const OptionRow& row = *g.row;
        for (const JobRule& rule : jobRules)
            if (jobs & row.refusedBy & rule.job) {
                error = rule.name + std::string(rule.optionRefusal) + g.name;
                return false;
            }
        if (!(jobs & row.jobs)) {
            error = g.name + " only applies to " + jobList(row.jobs, " and ");
            return false;
        }
    }
    return true;
}

// " 32@640x480, 24@640x480, ...".
std::string rungList(PictureReuse reuse) {
    std::string text;
    for (const RenderSetting& rung : liveSettings(reuse)) text += (text.empty() ? " " : ", ") + rungName(rung);
    return text;
}

// The rules between values of several options.
bool checkValues(const std::vector<GivenOption>& given, unsigned jobs, const Options& o, std::string& error) {
    const auto isGiven = [&](const char* name) {
        for (const GivenOption& g : given)
            if (g.name == name) return true;
        return false;
    };
    const long long pixels = static_cast<long long>(o.demo.pictureWidth) * o.demo.pictureHeight;
    if (isGiven("--part-frames") && isGiven("--parts"))
        error = "--part-frames and --parts cannot be combined";
    else if ((jobs & assembleJob) && !(jobs & videoJob))
        error = "--assemble needs --video FILE";
    else if (pixels > maxFramePixels)
        error = "--size: " + std::to_string(o.demo.pictureWidth) + "x" + std::to_string(o.demo.pictureHeight) +
                " is more than " + std::to_string(maxFramePixels) + " pixels";
    else if (o.output.preview && o.demo.passes > 1)
        error = "--preview cannot be combined with --passes: a preview is one quick pass";
    else if (!o.output.rung.empty() && !findRung(o.output.rung, o.demo.reuse))
        error = "--rung: '" + o.output.rung + "' is not one of the live show's rungs:" + rungList(o.demo.reuse);
    else if (!o.output.rung.empty() && (o.output.preview || o.demo.passes > 1))
        error = std::string("--rung cannot be combined with ") + (o.output.preview ? "--preview" : "--passes") +
                ": a rung is the live show's own frame";
    else if (o.capture.range.fromSeconds >= o.capture.range.toSeconds)
        error = "--from must be earlier than --to";
    else if (o.live.windowWidth > maxWindowWidth)
        error = "--window: " + std::to_string(o.live.windowWidth) + "x" + std::to_string(o.live.windowHeight) +
                " is too wide: a window is at most " + std::to_string(maxWindowWidth) +
                " pixels wide (SDL 1.2 keeps a row of 32-bit pixels in at most 65535 bytes)";
    return error.empty();
}

RunMode modeOf(unsigned jobs) {
    if (jobs & benchmarkJob) return RunMode::Benchmark;
    if (jobs & listPartsJob) return RunMode::ListParts;
    if (jobs & assembleJob) return RunMode::Assemble;
    if (jobs & (captureJob | videoJob)) return RunMode::Capture;
    if (jobs & stillJob) return RunMode::Still;
    return RunMode::Show;
}

// The --help headings, in order.
enum class Section { Live, Still, Capture, Benchmark, Common };
constexpr Section sections[] = {Section::Live, Section::Still, Section::Capture, Section::Benchmark, Section::Common};
const char* const sectionTitles[] = {"Live show (default, needs a display):", "Still of one moment (headless):",
                                     "Capture of the show (headless):", "Benchmark of the renderer (headless):",
                                     "Common:"};

// An option is listed under the first job it applies to, or under Common when
// it applies to every job.
Section sectionOf(unsigned jobs) {
    if ((jobs & everyJob) == everyJob) return Section::Common;
    if (jobs & liveJob) return Section::Live;
    if (jobs & stillJob) return Section::Still;
    if (jobs & (captureJob | videoJob | assembleJob | listPartsJob)) return Section::Capture;
    return Section::Benchmark;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    std::vector<GivenOption> given;
    const std::function<bool(const OptionRow&, const OptionValue&, bool&, std::string&)> take =
        [&](const OptionRow& row, const OptionValue& value, bool& stop, std::string&) {
            row.store(o, value);
            // --help and --version win over everything else.
            stop = o.mode == RunMode::Help || o.mode == RunMode::Version;
            given.push_back({&row, row.syntax.name});
            return true;
        };
    if (!readCommandLine(argc, argv, optionTable, std::size(optionTable), take, error)) return false;
    if (o.mode == RunMode::Help || o.mode == RunMode::Version) return true;
    error.clear();
    const unsigned jobs = jobsGiven(given);
    if (!checkJobs(given, jobs, error) || !checkApplies(given, jobs, error) || !checkValues(given, jobs, o, error))
        return false;
    o.mode = modeOf(jobs);
    return true;
}

std::vector<std::string> optionNames() {
    std::vector<std::string> names;
    for (Section section : sections)
        for (const OptionRow& row : optionTable)
            if (sectionOf(row.jobs) == section) names.push_back(row.syntax.name);
    return names;
}

// Descriptions start in this column of --help and wrap before this width.
constexpr size_t helpColumn = 27, helpWidth = 100;

std::string usageText(const char* program) {
    std::string text = std::string("Usage: ") + (program ? program : "template") +
                       " [options]\n"
                       "A self-running, path-traced real-time show of 106 seconds.\n"
                       "An option's value follows it as the next word or after '=' (--still=60).\n";
    for (Section section : sections) {
        text += std::string("\n") + sectionTitles[static_cast<int>(section)] + "\n";
        for (const OptionRow& row : optionTable) {
            if (!row.help || sectionOf(row.jobs) != section) continue;
            const OptionSyntax& s = row.syntax;
            std::string line = "  " + std::string(s.name) + (*s.placeholder ? " " : "") + s.placeholder;
            if (line.size() < helpColumn - 1) line.resize(helpColumn - 1, ' ');
            // The description wraps at word ends, each further line under its first.
            const std::string help = row.help;
            size_t at = 0;
            while (at < help.size()) {
                size_t end = help.size();
                const size_t room = helpWidth - std::min(helpWidth - 20, line.size() + 1);
                if (end - at > room) {
                    end = help.rfind(' ', at + room);
                    if (end == std::string::npos || end <= at) end = help.find(' ', at);
                    if (end == std::string::npos) end = help.size();
                }
                text += line + " " + help.substr(at, end - at) + "\n";
                line.assign(helpColumn - 1, ' ');
                at = end < help.size() ? end + 1 : end;
            }
        }
    }
    return text;
}
