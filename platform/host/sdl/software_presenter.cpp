#include "host/sdl/software_presenter.hpp"

#include "host/picture_fit.hpp"
#include "host/sdl/notice_overlay.hpp"

namespace sdlhost {

bool SoftwarePresenter::open(SDL_Window* window, bool vsync, std::string& why)
{
    window_ = window;
    vsync_ = vsync;
    pacer_ = RetracePacer(window, vsync);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    // The software renderer draws into the window's own surface. Left to
    // itself, SDL backs that surface with an OpenGL texture on X11 (with no
    // GPU: Mesa's llvmpipe, two threads' worth of work a frame); the window
    // system's own shared-memory image costs one copy.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return useRenderer(false, why);
}

// The panel as a texture of its own for this present: it changes seldom and
// shows only for a moment.
void SoftwarePresenter::drawNotice(const SDL_Surface& notice, int outputHeight)
{
    SDL_Texture* panel = SDL_CreateTextureFromSurface(renderer_, const_cast<SDL_Surface*>(&notice));
    if (panel == nullptr) {
        return;
    }
    const SDL_Point at = NoticeOverlay::placeOf(notice, outputHeight);
    const SDL_Rect where = {at.x, at.y, notice.w, notice.h};
    SDL_RenderCopy(renderer_, panel, nullptr, &where);
    SDL_DestroyTexture(panel);
}

SoftwarePresenter::~SoftwarePresenter()
{
    dropRenderer();
}

void SoftwarePresenter::dropRenderer()
{
    if (texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
        texture_ = nullptr;
    }
    if (renderer_ != nullptr) {
        SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
    }
}

bool SoftwarePresenter::useRenderer(bool unscaled, std::string& why)
{
    if (renderer_ != nullptr && unscaled == unscaled_) {
        return true;
    }
    dropRenderer();
    if (unscaled) {
        // Without vsync: SDL may claim it for this renderer and not wait.
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        unscaled_ = renderer_ != nullptr;
    }
    if (renderer_ == nullptr) {
        renderer_ = SDL_CreateRenderer(window_, -1, vsync_ ? SDL_RENDERER_PRESENTVSYNC : 0);
        unscaled_ = false;
    }
    if (renderer_ == nullptr) {
        why = std::string("no SDL renderer: ") + SDL_GetError();
        return false;
    }
    return true;
}

double SoftwarePresenter::present(const d3d9::Frame& frame, const SDL_Surface* notice)
{
    const Uint64 start = SDL_GetPerformanceCounter();
    const auto since = [start] { return millisecondsSince(start); };
    int windowWidth = 0;
    int windowHeight = 0;
    SDL_GetWindowSizeInPixels(window_, &windowWidth, &windowHeight);
    const host::FitRect shown = host::fitKeepingAspect(windowWidth, windowHeight, frame.width, frame.height);
    std::string why;
    if (!useRenderer(shown.width == frame.width && shown.height == frame.height, why)) {
        return since();
    }
    if (texture_ == nullptr || textureWidth_ != frame.width || textureHeight_ != frame.height) {
        if (texture_ != nullptr) {
            SDL_DestroyTexture(texture_);
        }
        // A8R8G8B8 words are SDL's ARGB8888 on any byte order.
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, frame.width,
                                     frame.height);
        textureWidth_ = frame.width;
        textureHeight_ = frame.height;
        if (texture_ == nullptr) {
            return since();
        }
    }
    SDL_UpdateTexture(texture_, nullptr, frame.pixels(), frame.width * 4);
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(renderer_, &width, &height);
    const host::FitRect fit = host::fitKeepingAspect(width, height, frame.width, frame.height);
    const SDL_Rect target = {fit.x, fit.y, fit.width, fit.height};
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &target);
    if (notice != nullptr) {
        drawNotice(*notice, height);
    }
    if (unscaled_) {
        SDL_RenderPresent(renderer_); // the copy to the window, at once
        const double work = since();
        pacer_.waitForRetrace();
        return work;
    }
    const double work = since(); // the present may wait for the retrace
    SDL_RenderPresent(renderer_);
    pacer_.afterWaitingPresent();
    return work;
}

} // namespace sdlhost
