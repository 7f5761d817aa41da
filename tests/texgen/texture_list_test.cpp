// The texture list on a device: the pixels each texture receives (through a
// padded pitch), selection by number, release, and the empty script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/embedded_data.hpp"
#include "render/renderer.hpp"
#include "support/expected_textures.hpp"
#include "support/test_host.hpp"
#include "texgen/texture_list.hpp"

using namespace testhost;

TEST(TextureList, everyTextureReceivesTheScriptsPixelsWhateverThePitch)
{
    const std::vector<std::string> hashes = expectedTextureHashes();
    ASSERT_EQ(hashes.size(), 6u);
    for (INT pitch : {512, 512 + 64, 1024}) {
        const RunResult result = runInChild([pitch] {
            recording::DeviceOptions options;
            options.texturePitch = pitch;
            recording::configure(options);
            createRecordingDevice();
            buildTextures();
            releaseTextures();
            releaseRecordingDevice();
            return 0;
        });
        ASSERT_EQ(result.exitCode, 0);
        const std::vector<std::string> updates = linesStartingWith(result.log, "UpdateTexture");
        ASSERT_EQ(updates.size(), hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            EXPECT_EQ(updates[i], "UpdateTexture(tex" + std::to_string(2 * i + 2) + ", tex" + std::to_string(2 * i + 1) +
                                      ") = OK pixels " + hashes[i])
                << "pitch " << pitch;
        }
        EXPECT_EQ(result.log[result.log.size() - 2], "live objects 0");
    }
}

TEST(TextureList, numbersSelectEntriesModuloTheCount)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        buildTextures();
        for (int n : {1, 5, 6, 7, 0, -3, 255}) {
            device->SetTexture(0, textureAt(n));
        }
        releaseTextures();
        releaseRecordingDevice();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    // Device textures are tex1, tex3, ... tex11 in script order.
    EXPECT_EQ(linesStartingWith(result.log, "SetTexture"),
              (std::vector<std::string>{"SetTexture(0, tex3) = OK", "SetTexture(0, tex11) = OK", "SetTexture(0, tex1) = OK",
                                        "SetTexture(0, tex3) = OK", "SetTexture(0, tex1) = OK", "SetTexture(0, tex1) = OK",
                                        "SetTexture(0, tex7) = OK"})); // 255 mod 6 = 3: the fourth
}

TEST(TextureList, aScriptOfTheEndByteAloneMakesNothing)
{
    const RunResult result = runInChild([] {
        static const std::uint8_t endOnly[] = {0x40};
        textureScript = endOnly;
        textureScriptSize = 1;
        createRecordingDevice();
        const bool empty = buildTextures() == nullptr && textureAt(3) == nullptr;
        releaseTextures();
        releaseRecordingDevice();
        textureScript = embeddedTextureScript;
        textureScriptSize = sizeof embeddedTextureScript;
        return empty ? 0 : 1;
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(findLine(result.log, "CreateTexture"), -1);
}
