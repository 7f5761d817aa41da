// The texture script interpreter: every texture the bytes describe, built
// into a plain buffer as the device code would fill a locked surface.
#include <cstdint>
#include <vector>

#include "data/embedded_data.hpp"
#include "math/random.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> script(data, data + size);
    textureScript = script.data();
    textureScriptSize = static_cast<std::int32_t>(script.size());
    randomSeed = 1;
    std::vector<std::uint32_t> pixels(TexturePixelCount);
    beginTextureScript();
    for (int n = 0; n < 64 && textureBeginsAtCursor(); ++n) {
        buildTexturePixels(pixels.data());
        advancePastTexture();
    }
    endTextureScript();
    textureScript = embeddedTextureScript;
    textureScriptSize = sizeof(embeddedTextureScript);
    return 0;
}
