#include "outputs/video_format.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "outputs/video_encoder.h"

namespace {

struct CodecSpec {
    const char* name;        // as --codec takes it
    const char* encoder;     // ffmpeg's encoder
    int defaultCrf;          // -1: the codec takes no --crf
    int maxCrf;
    const char* containers;  // the containers that hold it, each followed by a space
    const char* noCrfReason;
    bool evenSides;          // its encoder refuses an odd width or height
};

// The containers each codec goes in, as the installed ffmpeg muxes and common
// players read them. h264's quality 20 is what the videos always had; the
// others are each encoder's usual starting point for pictures of this size.
// x264 and x265 keep the colour at half resolution both ways (4:2:0) and
// refuse odd sides; libvpx and libaom pad them, ProRes and FFV1 take any size.
const CodecSpec codecs[] = {
    {"h264", "libx264", 20, 51, "mp4 mov mkv ", nullptr, true},
    {"h265", "libx265", 24, 51, "mp4 mov mkv ", nullptr, true},
    {"prores", "prores_ks", -1, 0, "mov mkv ", "ProRes HQ has a fixed quality", false},
    {"ffv1", "ffv1", -1, 0, "mov mkv ", "FFV1 is lossless", false},
    {"vp9", "libvpx-vp9", 31, 63, "mp4 mkv webm ", nullptr, false},
    {"av1", "libaom-av1", 30, 63, "mp4 mkv webm ", nullptr, false},
};

const CodecSpec* findCodec(const std::string& name) {
    for (const CodecSpec& spec : codecs)
        if (name == spec.name) return &spec;
    return nullptr;
}

bool holds(const CodecSpec& spec, const std::string& container) {
    return std::string(spec.containers).find(container + " ") != std::string::npos;
}

// "a", "a or b", "a, b or c"
std::string alternatives(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

// ".mov or .mkv", ".mp4, .mov or .mkv"
std::string containerList(const CodecSpec& spec) {
    std::istringstream words(spec.containers);
    std::vector<std::string> names;
    for (std::string word; words >> word;) names.push_back("." + word);
    return alternatives(names);
}

std::string defaultCodecOf(const std::string& container) {
    if (container == "mov") return "prores";
    if (container == "mkv") return "ffv1";
    if (container == "webm") return "vp9";
    return "h264";
}

std::vector<std::string> videoArgumentsFor(const CodecSpec& spec, const std::string& container, int crf) {
    const std::string quality = std::to_string(crf);
    const std::string codec = spec.name;
    const bool quickTime = container == "mp4" || container == "mov";
    if (codec == "h264") return {"-c:v", "libx264", "-preset", "veryfast", "-crf", quality, "-pix_fmt", "yuv420p"};
    if (codec == "h265") {
        // x265 prints its settings to stderr unless told not to; the hvc1 tag
        // is what QuickTime players look for.
        std::vector<std::string> args = {"-c:v",     "libx265", "-preset",       "veryfast",       "-crf", quality,
                                         "-pix_fmt", "yuv420p", "-x265-params", "log-level=error"};
        if (quickTime) args.insert(args.end(), {"-tag:v", "hvc1"});
        return args;
    }
    if (codec == "prores") return {"-c:v", "prores_ks", "-profile:v", "3", "-pix_fmt", "yuv422p10le"};
    // Every frame a key frame with checksummed slices: an archive survives damage to part of it.
    // bgr0 keeps the RGB pixels exactly.
    if (codec == "ffv1") return {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slicecrc", "1", "-pix_fmt", "bgr0"};
    if (codec == "vp9")
        return {"-c:v", "libvpx-vp9", "-deadline", "good", "-cpu-used", "4",      "-row-mt",
                "1",    "-crf",       quality,     "-b:v", "0",         "-pix_fmt", "yuv420p"};
    // libaom's default speed takes several seconds per second of video.
    return {"-c:v", "libaom-av1", "-cpu-used", "8", "-row-mt", "1", "-crf", quality, "-b:v", "0", "-pix_fmt", "yuv420p"};
}

}  // namespace

std::string videoContainerOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* container : {"mp4", "mov", "mkv", "webm"})
        if (extension == std::string(".") + container) return container;
    return "";
}

bool videoFormatFor(const std::string& path, const std::string& codec, int crf, VideoFormat& format,
                    std::string& error) {
    format = VideoFormat{};
    format.container = videoContainerOf(path);
    if (format.container.empty()) {
        error = "cannot write " + path + ": name the video .mp4, .mov, .mkv or .webm";
        return false;
    }
    format.codec = codec.empty() ? defaultCodecOf(format.container) : codec;
    const CodecSpec* spec = findCodec(format.codec);
    if (!spec) {
        error = "unknown video codec '" + format.codec + "'";
        return false;
    }
    if (!holds(*spec, format.container)) {
        error = "cannot write " + path + ": " + format.codec + " does not go in ." + format.container + "; use " +
                containerList(*spec);
        return false;
    }
    if (crf >= 0 && spec->defaultCrf < 0) {
        error = std::string("--crf does not apply to ") + spec->name + ": " + spec->noCrfReason;
        return false;
    }
    if (crf > spec->maxCrf) {
        error = "--crf " + std::to_string(crf) + " is beyond " + spec->name + "'s range of 0 to " +
                std::to_string(spec->maxCrf);
        return false;
    }
    format.videoEncoder = spec->encoder;
    format.videoArguments = videoArgumentsFor(*spec, format.container, crf >= 0 ? crf : spec->defaultCrf);
    if (format.container == "webm") {
        format.audioEncoder = "libopus";
        format.audioArguments = {"-c:a", "libopus", "-b:a", "160k"};
    } else {
        format.audioEncoder = "aac";
        format.audioArguments = {"-c:a", "aac", "-b:a", "192k"};
    }
    // The index up front, so that a player can start before the whole file is there.
    if (format.container == "mp4" || format.container == "mov") format.containerArguments = {"-movflags", "+faststart"};
    return true;
}

bool videoSizeFits(const VideoFormat& format, int width, int height, std::string& why) {
    const CodecSpec* spec = findCodec(format.codec);
    if (!spec || !spec->evenSides || (width % 2 == 0 && height % 2 == 0)) return true;
    why = format.codec + " video needs an even width and height";
    return false;
}

std::string codecsTakingAnySize(const std::string& container) {
    std::vector<std::string> names;
    for (const CodecSpec& spec : codecs)
        if (!spec.evenSides && holds(spec, container)) names.push_back(spec.name);
    return alternatives(names);
}

bool listEncoders(const std::string& program, std::vector<std::string>& names, std::string& error) {
    std::string output;
    if (!readProgramOutput({program, "-hide_banner", "-encoders"}, output, error)) return false;
    // A legend, a line of dashes, then "<flags> <name> <description>" per encoder.
    std::istringstream lines(output);
    bool listing = false;
    names.clear();
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string flags, name;
        words >> flags >> name;
        if (listing && !name.empty()) names.push_back(name);
        if (flags.find_first_not_of('-') == std::string::npos && !flags.empty()) listing = true;
    }
    if (names.empty()) {
        error = program + " -encoders listed no encoders";
        return false;
    }
    return true;
}

bool checkEncoders(const std::string& program, const VideoFormat& format, bool withAudio, std::string& error) {
    std::vector<std::string> names;
    if (!listEncoders(program, names, error)) {
        error = "cannot ask ffmpeg for its encoders: " + error;
        return false;
    }
    auto has = [&names](const std::string& name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    if (!has(format.videoEncoder)) {
        error = "the installed ffmpeg has no " + format.videoEncoder + " encoder, needed for " + format.codec +
                " video: install one built with it or choose another --codec";
        return false;
    }
    if (withAudio && !has(format.audioEncoder)) {
        error = "the installed ffmpeg has no " + format.audioEncoder + " encoder, needed for the music in ." +
                format.container + ": install one built with it, or use --mute";
        return false;
    }
    return true;
}
