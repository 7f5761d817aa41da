// What `record --for` sets: one way of keeping a capture for each place
// captures go, with the settings that place asks for. Every setting is the
// default of its own flag, which still overrides it.
//
// Entry points: CaptureProfile, findCaptureProfile, describeCaptureProfiles.
#pragma once

#include <cstdint>
#include <string>

#include "capture_size.hpp"
#include "video_encoder.hpp"

struct CaptureProfile {
    const char* name;
    CaptureSize size;      // what --size would say
    bool crop;             // the picture band alone
    VideoSettings video;   // codec, rate, profile, B-frames, GOP, frames a second
    const char* extension; // the container the place takes
    const char* purpose;   // what it is for, for the help
};

// The profile called name; nullptr for none.
const CaptureProfile* findCaptureProfile(const std::string& name);
// The profiles' names, "youtube|archive|web".
std::string captureProfileNames();
// Each profile with its settings, a few lines each, for record --help.
std::string describeCaptureProfiles();
