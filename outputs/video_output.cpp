#include "outputs/video_output.h"

#include "anim/show_state.h"
#include "base/output_file.h"
#include "outputs/video_format.h"
#include "outputs/video_sink.h"
#include "demo/music.h"

bool planVideo(const VideoRequest& request, bool overwrite, bool music, const std::string& dataDir,
               const CapturePlan& plan, int width, int height, VideoSettings& video, std::string& warning,
               std::string& error) {
    warning.clear();
    VideoFormat format;
    if (!videoFormatFor(request.path, request.codec, request.crf, format, error)) return false;
    if (findOnPath(video.program).empty()) {
        error = "ffmpeg was not found on PATH; it is needed to write " + request.path;
        return false;
    }
    if (!checkNewOutputFile(request.path, overwrite, error)) return false;
    video.videoCodec = format.videoArguments;
    video.audioCodec = format.audioArguments;
    video.containerOptions = format.containerArguments;
    video.outputPath = partialVideoPath(request.path);
    video.width = width;
    video.height = height;
    video.fps = plan.fps;
    video.frameCount = plan.frameCount();
    video.audioStartSeconds = plan.startSeconds();
    video.fadeStartSeconds = musicFadeStartSeconds;
    video.fadeSeconds = showLengthSeconds - musicFadeStartSeconds;
    video.audioPath.clear();
    if (music) {
        const std::string track = dataDir + "/track.mp3";
        std::string why;
        if (checkTrack(track, why) && checkAudioDecodes(video.program, track, why))
            video.audioPath = track;
        else
            warning = "no music in the video: " + why;
    }
    return checkEncoders(video.program, format, !video.audioPath.empty(), error);
}
