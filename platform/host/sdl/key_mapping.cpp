#include "host/sdl/key_mapping.hpp"

namespace sdlhost {
namespace {

// Virtual-key codes the Win32 headers define by name.
constexpr unsigned VkBack = 0x08, VkTab = 0x09, VkReturn = 0x0D, VkShift = 0x10, VkControl = 0x11, VkMenu = 0x12,
                   VkPause = 0x13, VkEscape = 0x1B, VkSpace = 0x20, VkPrior = 0x21, VkNext = 0x22, VkEnd = 0x23,
                   VkHome = 0x24, VkLeft = 0x25, VkUp = 0x26, VkRight = 0x27, VkDown = 0x28, VkInsert = 0x2D,
                   VkDelete = 0x2E, VkF1 = 0x70;

struct KeyPair {
    SDL_Keycode key;
    unsigned virtualKey;
};

constexpr KeyPair NamedKeys[] = {
    {SDLK_BACKSPACE, VkBack}, {SDLK_TAB, VkTab},         {SDLK_RETURN, VkReturn},   {SDLK_KP_ENTER, VkReturn},
    {SDLK_LSHIFT, VkShift},   {SDLK_RSHIFT, VkShift},    {SDLK_LCTRL, VkControl},   {SDLK_RCTRL, VkControl},
    {SDLK_LALT, VkMenu},      {SDLK_RALT, VkMenu},       {SDLK_PAUSE, VkPause},     {SDLK_ESCAPE, VkEscape},
    {SDLK_SPACE, VkSpace},    {SDLK_PAGEUP, VkPrior},    {SDLK_PAGEDOWN, VkNext},   {SDLK_END, VkEnd},
    {SDLK_HOME, VkHome},      {SDLK_LEFT, VkLeft},       {SDLK_UP, VkUp},           {SDLK_RIGHT, VkRight},
    {SDLK_DOWN, VkDown},      {SDLK_INSERT, VkInsert},   {SDLK_DELETE, VkDelete},
};

} // namespace

unsigned virtualKeyOf(SDL_Keycode key)
{
    // Letters and digits: the virtual key is the upper-case character.
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<unsigned>(key - SDLK_a) + 'A';
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<unsigned>(key - SDLK_0) + '0';
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return static_cast<unsigned>(key - SDLK_F1) + VkF1;
    }
    for (const KeyPair& pair : NamedKeys) {
        if (pair.key == key) {
            return pair.virtualKey;
        }
    }
    return 0;
}

} // namespace sdlhost
