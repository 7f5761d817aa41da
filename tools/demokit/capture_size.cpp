// Capture sizes: --size parsed, and the render size and crop that give it.
//
// A frame drawn W wide is W x 3W/4 and its band W x 10W/16, W/16 rows down:
// for W a multiple of 16 every one of those is a whole number of rows, and
// the front end's scaled viewport (64 rows down, 640 high, of 768) lands on
// exactly those rows. So the device draws at widths that are multiples of 16
// (4 for a whole frame, which needs no band rows).
#include "capture_size.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "tool_errors.hpp"

namespace {

struct SizeName {
    const char* name;
    std::int32_t bandLines;
};

constexpr SizeName SizeNames[] = {{"720p", 720}, {"1080p", 1080}, {"1440p", 1440}, {"2160p", 2160}};

// Whole decimal number; false for anything else.
bool parseSide(std::string_view text, std::int32_t& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

std::int32_t roundUpTo(std::int32_t value, std::int32_t step)
{
    return (value + step - 1) / step * step;
}

// The kept picture's height for a render width (the band's 16:10, or the
// frame's 4:3).
std::int32_t keptHeightFor(std::int32_t width, bool band)
{
    return band ? width * 10 / 16 : width * 3 / 4;
}

// The plan that draws the program's frame renderWidth wide.
CapturePlan drawnAt(std::int32_t renderWidth, bool crop)
{
    CapturePlan plan;
    plan.renderWidth = renderWidth;
    plan.renderHeight = renderWidth * ProgramFrameHeight / ProgramFrameWidth;
    plan.kept = crop ? pictureBand(plan.renderWidth, plan.renderHeight)
                     : CropRect{0, 0, plan.renderWidth, plan.renderHeight};
    plan.outWidth = plan.kept.width;
    plan.outHeight = plan.kept.height;
    return plan;
}

} // namespace

CaptureSize parseCaptureSize(const std::string& text)
{
    for (const SizeName& name : SizeNames) {
        if (text == name.name) {
            return {name.bandLines * 16 / 10, name.bandLines, name.bandLines};
        }
    }
    const std::size_t x = text.find('x');
    CaptureSize size;
    if (x == std::string::npos || !parseSide(std::string_view(text).substr(0, x), size.width) ||
        !parseSide(std::string_view(text).substr(x + 1), size.height)) {
        throw UsageError("record: --size takes WxH (e.g. 1920x1200) or " + captureSizeNames() + ", not '" + text +
                         "'");
    }
    if (size.width < 16 || size.height < 16 || size.width > LargestCaptureSide || size.height > LargestCaptureSide) {
        throw UsageError("record: --size must be between 16x16 and 8192x8192");
    }
    return size;
}

std::string captureSizeNames()
{
    std::string names;
    for (const SizeName& name : SizeNames) {
        names += std::string(names.empty() ? "" : ", ") + name.name;
    }
    return names;
}

CapturePlan planCapture(std::int32_t scale, const CaptureSize& size, bool crop)
{
    if (!size.given()) {
        return drawnAt(ProgramFrameWidth * std::clamp(scale, 1, 4), crop);
    }
    if (size.bandLines > 0) { // a name: the band that many lines high, the frame around it
        return drawnAt(size.bandLines * 16 / 10, crop);
    }
    // Exactly what is kept at some width the device draws: drawn at it.
    const std::int32_t step = crop ? 16 : 4;
    if (size.width >= ProgramFrameWidth && size.width % step == 0 &&
        size.height == keptHeightFor(size.width, crop)) {
        return drawnAt(size.width, crop);
    }
    // Another shape, or smaller than the program's own: drawn at the
    // smallest width whose picture covers the size on both sides, never
    // below the program's own, then resized to it.
    const std::int32_t covering =
        std::max({ProgramFrameWidth, size.width, crop ? (size.height * 16 + 9) / 10 : (size.height * 4 + 2) / 3});
    CapturePlan plan = drawnAt(std::min(roundUpTo(covering, 16), LargestCaptureSide), crop);
    plan.outWidth = size.width;
    plan.outHeight = size.height;
    return plan;
}

CropRect pictureBand(int width, int height)
{
    const int bandHeight = width * 10 / 16;
    return bandHeight < height ? CropRect{0, (height - bandHeight) / 2, width, bandHeight} : CropRect{};
}
