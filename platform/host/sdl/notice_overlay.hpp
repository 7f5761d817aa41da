// The line over the picture that says what a control key did (the time,
// paused, seeking, a picture saved): drawn by the player over the picture it
// shows, never into the frame, so neither a screenshot nor a capture holds
// it. White text on a dark panel near the lower left corner, its size a
// fraction of the window's height, in the desktop's sans-serif face as
// fontconfig names it (DejaVu Sans on Debian), set by SDL_ttf. Without a
// font the line is left out: the window's title says the same.
#pragma once

#include <string>

#include <SDL.h>

struct _TTF_Font; // SDL_ttf's font

namespace sdlhost {

class NoticeOverlay {
public:
    NoticeOverlay();
    ~NoticeOverlay();
    NoticeOverlay(const NoticeOverlay&) = delete;
    NoticeOverlay& operator=(const NoticeOverlay&) = delete;

    // The panel for this text on a drawable this many pixels high, as an
    // ARGB8888 surface that stays until the text or the height changes;
    // null for no text, or no font.
    const SDL_Surface* panelFor(const std::string& text, int drawableHeight);
    // Where a panel goes on a drawable of this height: its top left corner.
    static SDL_Point placeOf(const SDL_Surface& panel, int drawableHeight);

private:
    bool openFont(int pixels);
    void dropPanel();

    std::string fontPath_; // empty: no font found
    bool ttfReady_ = false;
    _TTF_Font* font_ = nullptr;
    int fontPixels_ = 0;
    std::string text_;
    int height_ = 0;
    SDL_Surface* panel_ = nullptr;
};

} // namespace sdlhost
