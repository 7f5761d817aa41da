// The text of the cube wall: lower-case letters and spaces only, written out
// phrase by phrase below, phrases parted by three or four spaces.
// 487 characters and the terminating zero fill the array exactly; 109 of the
// characters are spaces, the longest run of spaces is 4, and the 378 letters
// light 3,616 font pixels, so the wall has 3,616 cubes.
#include "data/embedded_data.hpp"

const char embeddedScrollMessage[488] =
    "hello and welcome to this small real time world    "
    "you are now reading a wall of cubes   "
    "every lit pixel of every letter is a single cube   "
    "the cubes and curves and smooth patches and all the generated textures "
    "were made from a few bytes at start up    "
    "a camera flies through them all   "
    "and one vertex program and one pixel program draw each frame    "
    "nothing you see here was drawn by hand   "
    "greetings to all the people who still read scrollers   "
    "thank you for watching   "
    "until next time";
