// The animation: the script that attaches Bezier channels to objects, and the
// per-frame evaluation that moves them.
//
// A channel with K keys is one Bezier curve of degree K - 1 over the interval
// from its first to its last key time; every key value is a control value and
// the inner key times are ignored. Times are int32 milliseconds.
#pragma once

#include <cstdint>

struct AnimKey;

// The script being loaded and its length: the embedded one unless a caller
// points them elsewhere before loadAnimation.
extern const std::uint8_t* animationScript;
extern std::int32_t animationScriptSize;

// Reads the script into the objects' animated, channelActive, keyCount and
// keys fields. Needs objectTable.
void loadAnimation();
// Releases every key array the loader made, finished channels included.
void freeAnimation();
// Moves every object whose channels run at now and renews the world matrices
// of moved objects and their descendants, and the camera vectors.
void evaluateAnimation(std::int32_t now);
// The Bezier curve of degree n through keys[0..n].value at t in [0, 1).
float bezierValue(const AnimKey* keys, std::uint8_t n, float t);
