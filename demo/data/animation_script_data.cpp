// The stored animation: the camera's x position on one cubic Bezier curve
// from 40 ms to 81,640 ms, sweeping it along the text wall. Key times are in
// units of 40 ms.
#include "data/embedded_data.hpp"

const std::uint8_t embeddedAnimationScript[37] = {
    0x01, 0x00,                                     // object 0, the camera
    0xff, 0x04,                                     // channel PositionX, 4 keys
    0x01, 0x00, 0x00, 0x00, 0xa0, 0xbc, 0x26, 0xbf, // 1 (40 ms), -0.651315689
    0xc0, 0x02, 0x00, 0x00, 0xa0, 0xbc, 0x26, 0xbf, // 704 (28,160 ms), -0.651315689
    0x3a, 0x05, 0x00, 0x00, 0xc2, 0xc7, 0x1d, 0x45, // 1338 (53,520 ms), 2524.48486
    0xf9, 0x07, 0x00, 0x00, 0xc2, 0xc7, 0x1d, 0x45, // 2041 (81,640 ms), 2524.48486
    0x00,                                           // end
};
