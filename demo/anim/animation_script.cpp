// Loader of the animation script: object tokens (01, index), channel records
// (code ff..fa = channel 0..5, key count K, K keys of int32 time in 40 ms
// units and float value) and the end token 00. Little-endian, unaligned.
//
// Besides the well-formed script the loader copes soundly with bad input: it
// never reads past the end of the script (the end counts as an end token),
// skips the channels of an object index outside the table, stops at a byte
// that is no channel code, treats K = 0 as "no keys" (the channel stays off),
// saturates key times whose millisecond value leaves the int32 range, and
// releases the keys of a channel record that a later one replaces.
#include <cstring>
#include <limits>

#include "anim/animation.hpp"
#include "common/allocation.hpp"
#include "data/embedded_data.hpp"
#include "scene/scene_object.hpp"

const std::uint8_t* animationScript = embeddedAnimationScript;
std::int32_t animationScriptSize = sizeof(embeddedAnimationScript);

namespace {

constexpr std::uint8_t ObjectToken = 0x01;
constexpr std::uint8_t EndToken = 0x00;
constexpr std::uint8_t FirstChannelCode = 0xff; // PositionX; codes count down
constexpr std::uint8_t LastChannelCode = 0xfa;  // RotationZ
constexpr std::int32_t KeyBytes = 8;
constexpr double MillisecondsPerUnit = 40.0;

struct ScriptReader {
    std::int32_t pos; // next unread byte

    bool hasBytes(std::int32_t count) const
    {
        return pos >= 0 && static_cast<std::int64_t>(pos) + count <= animationScriptSize;
    }

    // The next byte; the end of the script reads as the end token.
    std::uint8_t takeByte()
    {
        if (!hasBytes(1)) {
            return EndToken;
        }
        return animationScript[pos++];
    }

    std::uint32_t takeU32()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(animationScript[pos++]) << shift;
        }
        return value;
    }
};

// Stored time units to milliseconds: the product is formed in double and
// truncated toward zero, saturating where it leaves the int32 range.
std::int32_t keyTimeToMilliseconds(std::int32_t units)
{
    const double ms = units * MillisecondsPerUnit;
    if (ms >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (ms <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(ms);
}

AnimKey readKey(ScriptReader& reader)
{
    const std::int32_t units = static_cast<std::int32_t>(reader.takeU32());
    const std::uint32_t bits = reader.takeU32();
    AnimKey key;
    key.time = keyTimeToMilliseconds(units);
    std::memcpy(&key.value, &bits, sizeof key.value);
    return key;
}

// Replaces channel c of the object with the record's keys; a record with no
// keys leaves the channel off.
void storeChannel(SceneObject& object, std::int32_t c, AnimKey* keys, std::int32_t count)
{
    releaseBlock(object.keys[c]);
    object.keys[c] = keys;
    object.keyCount[c] = count;
    object.channelActive[c] = count > 0 ? 1 : 0;
}

// Reads one channel record after its code byte. object is null for an
// object outside the table, whose records are read and dropped. Returns false
// when the script ends inside the record.
bool readChannelRecord(ScriptReader& reader, SceneObject* object, std::int32_t channel)
{
    if (!reader.hasBytes(1)) {
        return false;
    }
    const std::int32_t count = reader.takeByte();
    if (!reader.hasBytes(count * KeyBytes)) {
        return false;
    }
    if (object == nullptr) {
        reader.pos += count * KeyBytes;
        return true;
    }
    AnimKey* keys = count > 0 ? allocateZeroed<AnimKey>(count) : nullptr;
    for (std::int32_t k = 0; k < count; ++k) {
        keys[k] = readKey(reader);
    }
    storeChannel(*object, channel, keys, count);
    return true;
}

} // namespace

void loadAnimation()
{
    ScriptReader reader{0};
    if (reader.takeByte() != ObjectToken) {
        return;
    }
    for (;;) {
        // Object token: its index byte follows the 01 just taken.
        const std::int32_t index = reader.takeByte();
        SceneObject* object = index < objectCount ? &objectTable[index] : nullptr;
        if (object != nullptr) {
            object->animated = 1;
        }
        std::uint8_t code = reader.takeByte();
        while (code >= LastChannelCode) {
            if (!readChannelRecord(reader, object, FirstChannelCode - code)) {
                return;
            }
            code = reader.takeByte();
        }
        if (code != ObjectToken) {
            return; // the end token, or a byte that is no token at all
        }
    }
}

void freeAnimation()
{
    for (std::int32_t i = 0; i < objectCount; ++i) {
        SceneObject& object = objectTable[i];
        if (object.animated != 1) {
            continue;
        }
        for (std::int32_t c = 0; c < ChannelCount; ++c) {
            releaseBlock(object.keys[c]);
        }
    }
}
