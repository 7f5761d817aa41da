// The song reader on any bytes, as demokit song hands it a file.
#include <cstdint>
#include <vector>

#include "music/song_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> song(data, data + size);
    readSong(song.data(), static_cast<std::int32_t>(song.size()));
    releaseSong();
    return 0;
}
