#include "host/sdl/notice_overlay.hpp"

#include <algorithm>

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

namespace sdlhost {
namespace {

// The file of the face fontconfig gives for a bold sans-serif; empty when
// it gives none.
std::string findSansSerif()
{
    if (FcInit() == FcFalse) {
        return "";
    }
    std::string path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:bold"));
    if (pattern != nullptr) {
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
            path = reinterpret_cast<const char*>(file);
        }
        if (match != nullptr) {
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    return path;
}

int fontPixelsFor(int drawableHeight)
{
    return std::max(12, drawableHeight / 36);
}

} // namespace

NoticeOverlay::NoticeOverlay()
{
    fontPath_ = findSansSerif();
    ttfReady_ = !fontPath_.empty() && TTF_Init() == 0;
}

NoticeOverlay::~NoticeOverlay()
{
    dropPanel();
    if (font_ != nullptr) {
        TTF_CloseFont(font_);
    }
    if (ttfReady_) {
        TTF_Quit();
    }
}

void NoticeOverlay::dropPanel()
{
    if (panel_ != nullptr) {
        SDL_FreeSurface(panel_);
        panel_ = nullptr;
    }
}

bool NoticeOverlay::openFont(int pixels)
{
    if (font_ != nullptr && fontPixels_ == pixels) {
        return true;
    }
    if (font_ != nullptr) {
        TTF_CloseFont(font_);
    }
    font_ = TTF_OpenFont(fontPath_.c_str(), pixels);
    fontPixels_ = pixels;
    return font_ != nullptr;
}

const SDL_Surface* NoticeOverlay::panelFor(const std::string& text, int drawableHeight)
{
    if (text.empty() || !ttfReady_) {
        return nullptr;
    }
    if (panel_ != nullptr && text == text_ && drawableHeight == height_) {
        return panel_;
    }
    dropPanel();
    text_ = text;
    height_ = drawableHeight;
    const int pixels = fontPixelsFor(drawableHeight);
    if (!openFont(pixels)) {
        return nullptr;
    }
    SDL_Surface* line = TTF_RenderUTF8_Blended(font_, text.c_str(), SDL_Color{255, 255, 255, 255});
    if (line == nullptr) {
        return nullptr;
    }
    const int margin = pixels / 2;
    panel_ = SDL_CreateRGBSurfaceWithFormat(0, line->w + 2 * margin, line->h + margin, 32, SDL_PIXELFORMAT_ARGB8888);
    if (panel_ != nullptr) {
        SDL_FillRect(panel_, nullptr, SDL_MapRGBA(panel_->format, 24, 24, 24, 255));
        SDL_Rect at = {margin, margin / 2, line->w, line->h};
        SDL_SetSurfaceBlendMode(line, SDL_BLENDMODE_BLEND);
        SDL_BlitSurface(line, nullptr, panel_, &at);
    }
    SDL_FreeSurface(line);
    return panel_;
}

SDL_Point NoticeOverlay::placeOf(const SDL_Surface& panel, int drawableHeight)
{
    const int margin = fontPixelsFor(drawableHeight);
    return {margin, std::max(0, drawableHeight - margin - panel.h)};
}

} // namespace sdlhost
