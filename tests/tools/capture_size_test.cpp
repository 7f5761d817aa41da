// Tests for the capture's sizes: what --size takes, the render size and crop
// that give each size, and which sizes are drawn rather than resized.
#include <gtest/gtest.h>

#include <string>

#include "capture_profiles.hpp"
#include "capture_size.hpp"
#include "frame_convert.hpp"
#include "tool_errors.hpp"

namespace {

CapturePlan planFor(const std::string& size, bool crop)
{
    return planCapture(1, parseCaptureSize(size), crop);
}

} // namespace

TEST(CaptureSize, NamedSizesAreTheBandsLinesDrawnAtThatSizeWithTheFrameAroundIt)
{
    const struct {
        const char* name;
        int width, height;
    } bands[] = {{"720p", 1152, 720}, {"1080p", 1728, 1080}, {"1440p", 2304, 1440}, {"2160p", 3456, 2160}};
    for (const auto& band : bands) {
        const CapturePlan cropped = planFor(band.name, true);
        EXPECT_EQ(cropped.renderWidth, band.width) << band.name;
        EXPECT_EQ(cropped.renderHeight, band.width * 3 / 4) << band.name;
        // The band lies where the front end's scaled viewport (64 of 768
        // rows down, 640 high) puts it.
        EXPECT_EQ(cropped.kept.y * 768, 64 * cropped.renderHeight) << band.name;
        EXPECT_EQ(cropped.kept.height, band.height) << band.name;
        EXPECT_EQ(cropped.outWidth, band.width) << band.name;
        EXPECT_EQ(cropped.outHeight, band.height) << band.name;
        EXPECT_FALSE(cropped.resized()) << band.name;
        const CapturePlan whole = planFor(band.name, false);
        EXPECT_EQ(whole.outWidth, band.width) << band.name;
        EXPECT_EQ(whole.outHeight, band.width * 3 / 4) << band.name;
        EXPECT_FALSE(whole.resized()) << band.name;
    }
}

TEST(CaptureSize, ASizeOfThePicturesShapeIsDrawnAndAnyOtherIsResizedFromALargerDrawing)
{
    // The band's 16:10 and the frame's 4:3 at widths the device draws.
    EXPECT_FALSE(planFor("1920x1200", true).resized());
    EXPECT_FALSE(planFor("2048x1536", false).resized());
    // Below the program's own size: drawn at it, then made smaller.
    const CapturePlan small = planFor("256x192", false);
    EXPECT_EQ(small.renderWidth, 1024);
    EXPECT_EQ(small.outWidth, 256);
    EXPECT_TRUE(small.resized());
    // Another shape: drawn so that the picture covers it on both sides.
    const CapturePlan wide = planFor("1920x1080", true);
    EXPECT_TRUE(wide.resized());
    EXPECT_GE(wide.kept.width, 1920);
    EXPECT_GE(wide.kept.height, 1080);
    EXPECT_EQ(wide.renderWidth % 16, 0);
    // Never past the largest side the device draws.
    const CapturePlan tall = planFor("4096x8192", true);
    EXPECT_LE(tall.renderWidth, LargestCaptureSide);
    EXPECT_LE(tall.renderHeight, LargestCaptureSide);
    EXPECT_TRUE(tall.resized());
    // No size: the render scale's, kept whole or cropped.
    const CapturePlan scaled = planCapture(3, CaptureSize{}, true);
    EXPECT_EQ(scaled.renderWidth, 3072);
    EXPECT_EQ(scaled.outHeight, 1920);
    EXPECT_FALSE(scaled.resized());
}

TEST(CaptureSize, SizesOtherThanWxHOrANameAreRefused)
{
    for (const char* bad : {"2160", "2160i", "x1080", "1920x", "1920x1080x2", "15x100", "8193x100", "-16x16", ""}) {
        EXPECT_THROW(parseCaptureSize(bad), UsageError) << bad;
    }
    EXPECT_EQ(parseCaptureSize("640x480").height, 480);
}

TEST(CaptureProfiles, YoutubeAsksForHighProfileBFramesAndClosedHalfSecondGopsAtTwoThousandOneHundredSixtyLines)
{
    const CaptureProfile* youtube = findCaptureProfile("youtube");
    ASSERT_NE(youtube, nullptr);
    EXPECT_EQ(youtube->video.codec, "h264");
    EXPECT_EQ(youtube->video.profile, "high");
    EXPECT_EQ(youtube->video.bFrames, 2);
    EXPECT_EQ(youtube->video.keyInterval * 2, youtube->video.fps);
    const CapturePlan plan = planCapture(1, youtube->size, youtube->crop);
    EXPECT_EQ(plan.outWidth, 3456);
    EXPECT_EQ(plan.outHeight, 2160);
    EXPECT_FALSE(plan.resized());
    const CaptureProfile* archive = findCaptureProfile("archive");
    ASSERT_NE(archive, nullptr);
    EXPECT_TRUE(archive->video.lossless);
    EXPECT_FALSE(planCapture(1, archive->size, archive->crop).resized());
    EXPECT_EQ(findCaptureProfile("tiktok"), nullptr);
    EXPECT_EQ(captureProfileNames(), "youtube|archive|web");
}

TEST(CaptureColour, StandardDefinitionIsBt601AndFrom720LinesBt709)
{
    EXPECT_EQ(colourStandardFor(576), ColourStandard::Bt601);
    EXPECT_EQ(colourStandardFor(719), ColourStandard::Bt601);
    EXPECT_EQ(colourStandardFor(720), ColourStandard::Bt709);
    EXPECT_EQ(colourStandardFor(2160), ColourStandard::Bt709);
}
