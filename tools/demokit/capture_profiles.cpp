// The capture profiles and their help.
//
// youtube: what its recommended upload settings ask of an upload, at the
//   size whose picture it serves best (2160 lines, the band scaled by whole
//   numbers of its own pixels' worth of detail, drawn at that size): MP4
//   with the index first and no edit list, H.264 High, 4:2:0, BT.709, two
//   consecutive B-frames, closed GOPs of half the frame rate, 60 frames a
//   second. x264's fastest preset with High's tools turned on keeps up with
//   the software device on two cores.
// archive: the frames exactly as the program's display showed them, the
//   whole 1024 x 768 frame, in FFV1 in Matroska: decoded, they equal the PNG
//   frames bit for bit.
// web: a small file for a page, the 1080-line band in AV1 (VP9 where the
//   build has no AV1 encoder) in WebM.
#include "capture_profiles.hpp"

namespace {

VideoSettings youtubeVideo()
{
    VideoSettings video;
    video.codec = "h264";
    video.crf = 18;
    video.preset = "ultrafast";
    video.pixelFormat = "yuv420p";
    video.profile = "high";
    video.bFrames = 2;
    video.keyInterval = 30; // half of 60 frames a second
    video.fps = 60;
    return video;
}

VideoSettings archiveVideo()
{
    VideoSettings video;
    video.codec = "ffv1";
    video.lossless = true;
    video.fps = 60;
    return video;
}

VideoSettings webVideo()
{
    VideoSettings video;
    video.codec = "av1"; // record falls back to vp9 where the build has no AV1 encoder
    video.crf = 35;
    video.pixelFormat = "yuv420p";
    video.fps = 60;
    return video;
}

const CaptureProfile Profiles[] = {
    {"youtube", {3456, 2160, 2160}, true, youtubeVideo(), ".mp4",
     "an upload to a video site: the 2160p band (3456 x 2160) drawn at that size, 60 fps,\n"
     "        H.264 High profile (x264 ultrafast with CABAC and 8x8 transforms), CRF 18, yuv420p,\n"
     "        BT.709 matrix, primaries and transfer, TV range, 2 B-frames, closed GOPs of 30 frames,\n"
     "        MP4 with the index at the front and no edit list"},
    {"archive", {}, false, archiveVideo(), ".mkv",
     "an exact copy: the program's whole 1024 x 768 frame, bars included, as its display\n"
     "        showed it, 60 fps, FFV1 (level 3) in Matroska; decoded, the frames equal the PNG frames\n"
     "        bit for bit"},
    {"web", {1728, 1080, 1080}, true, webVideo(), ".webm",
     "a page: the 1080p band (1728 x 1080) drawn at that size, 60 fps, AV1 (SVT-AV1, preset 10;\n"
     "        VP9 where the build has no AV1 encoder) at CRF 35, yuv420p, BT.709, in WebM"},
};

} // namespace

const CaptureProfile* findCaptureProfile(const std::string& name)
{
    for (const CaptureProfile& profile : Profiles) {
        if (name == profile.name) {
            return &profile;
        }
    }
    return nullptr;
}

std::string captureProfileNames()
{
    std::string names;
    for (const CaptureProfile& profile : Profiles) {
        names += std::string(names.empty() ? "" : "|") + profile.name;
    }
    return names;
}

std::string describeCaptureProfiles()
{
    std::string text;
    for (const CaptureProfile& profile : Profiles) {
        text += "    " + std::string(profile.name) + " (" + profile.extension + "): " + profile.purpose + "\n";
    }
    return text;
}
