#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "data/embedded_data.hpp"
#include "music/song_reader.hpp"

namespace {

// Big-endian song bytes.
struct SongBytes {
    std::vector<std::uint8_t> data;

    SongBytes& bytes(std::initializer_list<int> values)
    {
        for (int v : values) {
            data.push_back(static_cast<std::uint8_t>(v));
        }
        return *this;
    }
    SongBytes& u16(std::uint32_t v) { return bytes({int(v >> 8 & 0xff), int(v & 0xff)}); }
    SongBytes& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xffff); }
    SongBytes& id(const char* text) { return bytes({text[0], text[1], text[2], text[3]}); }
    SongBytes& header(int tracks, int division = 480, const char* name = "MThd")
    {
        return id(name).u32(6).u16(1).u16(tracks).u16(division);
    }
    // An "MTrk" chunk of these events and an end-of-track event.
    SongBytes& track(std::initializer_list<int> events)
    {
        id("MTrk").u32(std::uint32_t(events.size() + 4));
        return bytes(events).bytes({0, 0xff, 0x2f, 0});
    }
};

using Event = std::tuple<int, float, int, int, int>; // status, delta, data1, data2, channel
using Events = std::vector<Event>;

class SongReader : public ::testing::Test {
protected:
    void TearDown() override { releaseSong(); }

    // Reads from an exactly sized heap copy, so that the address sanitizer
    // catches a read past the end.
    bool read(const SongBytes& song, std::size_t size = SIZE_MAX)
    {
        releaseSong();
        const auto end = song.data.begin() + std::ptrdiff_t(std::min(size, song.data.size()));
        bytes_ = std::vector<std::uint8_t>(song.data.begin(), end);
        return readSong(bytes_.data(), std::int32_t(bytes_.size()));
    }

    static Events events(std::int32_t t)
    {
        Events list;
        for (const MidiEvent* e = songTracks[t].first->next; e != nullptr; e = e->next) {
            list.emplace_back(e->status, e->deltaTime, e->data1, e->data2, e->channel);
        }
        return list;
    }

    std::vector<std::uint8_t> bytes_;
};

TEST_F(SongReader, variableLengthDeltasKeepTheirLowUnsigned32Bits)
{
    ASSERT_TRUE(read(SongBytes().header(1).track({
        0x87, 0x40, 0x90, 60, 100, 0x00, 61, 100, 0x81, 0x80, 0x00, 62, 100,
        0x8f, 0xf8, 0x80, 0x80, 0x80, 0x00, 63, 100, // 42 bits whose low 32 are 2^31
        0xff, 0xff, 0xff, 0x7f, 64, 100,
    })));
    EXPECT_EQ(events(0), (Events{{0x90, 960.0f, 60, 100, 0}, {0x90, 0.0f, 61, 100, 0},
                                 {0x90, 16384.0f, 62, 100, 0}, {0x90, 2147483648.0f, 63, 100, 0},
                                 {0x90, float(0x0fffffffu), 64, 100, 0}}));
}

TEST_F(SongReader, channelEventsKeepTheirDataAndRunningStatusTurnsVelocityZeroIntoNoteOff)
{
    ASSERT_TRUE(read(SongBytes().header(1).track({
        0x00, 0x93, 0x3c, 0x64, 0x10, 0x3e, 0x00, 0x00, 0x83, 0x3c, 0x40,
        0x00, 0xa3, 0x3c, 0x20, 0x00, 0xb3, 0x07, 0x7f, 0x00, 0xe2, 0x01, 0x40,
    })));
    EXPECT_EQ(events(0), (Events{{0x90, 0.0f, 0x3c, 0x64, 3}, {0x80, 16.0f, 0x3e, 0, 3},
                                 {0x80, 0.0f, 0x3c, 0x40, 3}, {0xa0, 0.0f, 0x3c, 0x20, 3},
                                 {0xb0, 0.0f, 0x07, 0x7f, 3}, {0xe0, 0.0f, 0x01, 0x40, 2}}));
    EXPECT_EQ(songTracks[0].first->status, 1);
    EXPECT_EQ(songTracks[0].current, songTracks[0].first);
}

TEST_F(SongReader, programChangeReadsOneByteAndChannelPressureIsDroppedWithItsDelta)
{
    ASSERT_TRUE(read(SongBytes().header(1).track({
        0x00, 0xc5, 0x07, 0x03, 0x08, // program changes, the second in running status
        0x05, 0xd0, 0x40, 0x06, 0x41, // channel pressure twice
        0x07, 0x90, 0x3c, 0x64,
    })));
    EXPECT_EQ(events(0), (Events{{0xc0, 0.0f, 7, 0, 5}, {0xc0, 3.0f, 8, 0, 5},
                                 {0x90, 7.0f, 0x3c, 0x64, 0}}));
}

TEST_F(SongReader, metaEventsAndForeignChunksAreSkippedAndEndOfTrackEndsATrack)
{
    SongBytes song;
    song.header(3).id("MTrk").u32(0); // an "MTrk" length is not used
    song.bytes({0x00, 0xff, 0x03, 0x04, 'b', 'a', 's', 's'}); // track name
    song.bytes({0x00, 0xff, 0x00, 0x02, 0x00, 0x07});         // sequence number
    song.bytes({0x00, 0xff, 0x00, 0x00});                     // sequence number, no value
    song.bytes({0x00, 0xff, 0x01, 0x81, 0x00});               // text of 128 bytes
    song.data.insert(song.data.end(), 128, 'x');
    song.bytes({0x09, 0x90, 0x3c, 0x64, 0x00, 0xff, 0x2f, 0x00});
    song.id("XFIH").u32(3).bytes({1, 2, 3}).track({0x00, 0xc1, 0x02});
    std::memset(songStateTable, 0xaa, sizeof songStateTable);
    ASSERT_TRUE(read(song));
    EXPECT_EQ(events(0), (Events{{0x90, 9.0f, 0x3c, 0x64, 0}}));
    EXPECT_EQ(events(1), Events{});
    EXPECT_EQ(events(2), (Events{{0xc0, 0.0f, 2, 0, 1}}));
    EXPECT_EQ(std::count(songStateTable, songStateTable + SongStateTableSize, 0),
              SongStateTableSize);
}

TEST_F(SongReader, unsupportedStatusesStopReadingAndKeepTheEventsBefore)
{
    for (int status : {0xf0, 0xf7, 0xf1, 0xfe}) {
        std::memset(songStateTable, 0xaa, sizeof songStateTable);
        const SongBytes song = SongBytes().header(2).track({0, 0x90, 60, 100, 0, status, 1, 0xf7});
        EXPECT_FALSE(read(SongBytes(song).track({})));
        EXPECT_EQ(events(0).size(), 1u) << status;
        EXPECT_EQ(songTracks[1].first, nullptr);
        EXPECT_EQ(songStateTable[0], 0xaa); // cleared only by a successful read
    }
}

TEST_F(SongReader, headerValuesAndTickRateAreSetEvenWhenTheHeaderIdIsWrong)
{
    EXPECT_FALSE(read(SongBytes().header(2, 960, "MThX").track({})));
    EXPECT_EQ(songTracks, nullptr);
    EXPECT_EQ(std::tie(trackCount, division, ticksPerMs), std::make_tuple(2, 960, 2.56f));
    ASSERT_TRUE(read(SongBytes().header(1, 480).track({})));
    EXPECT_EQ(ticksPerMs, 1.28f);
}

TEST_F(SongReader, readerStopsAtEndOfTruncatedTrackKeepingOnlyCompleteEvents)
{
    SongBytes song;
    song.header(1).track({0x00, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0, 0x00, 0xc1, 5});
    for (std::size_t size = 0; size < song.data.size(); ++size) {
        EXPECT_FALSE(read(song, size)) << size;
        if (size < 22) { // the chunk header is incomplete: the track is not reached
            EXPECT_TRUE(songTracks == nullptr || songTracks[0].first == nullptr) << size;
        } else { // the events end 4, 9 and 12 bytes into the chunk
            const std::size_t complete = (size >= 26) + (size >= 31) + (size >= 34);
            EXPECT_EQ(events(0).size(), complete) << size;
        }
    }
}

TEST_F(SongReader, chunksAndTrackCountsThatOverrunTheDataStopReading)
{
    EXPECT_FALSE(read(SongBytes().header(2).id("XFIH").u32(0xffffffffu).bytes({1, 2}).track({})));
    EXPECT_EQ(events(0), Events{});
    EXPECT_EQ(songTracks[1].first, nullptr);
    EXPECT_FALSE(read(SongBytes().header(2).track({0, 0xff, 1, 0x8f, 0xff, 0xff, 0x7f}).track({})));
    EXPECT_EQ(songTracks[1].first, nullptr);
    EXPECT_FALSE(read(SongBytes().header(3).track({0, 0x90, 1, 2})));
    EXPECT_EQ(events(0).size(), 1u);
    EXPECT_EQ(songTracks[1].first, nullptr);
    EXPECT_EQ(songTracks[2].first, nullptr);
}

TEST_F(SongReader, storedSongReadsAsOneTruncatedTrackEndingInNoteOffsForNoteZero)
{
    EXPECT_FALSE(readSong(embeddedSong, sizeof embeddedSong));
    EXPECT_EQ(std::tie(trackCount, division, ticksPerMs), std::make_tuple(3, 960, 2.56f));
    Events expected;
    for (int note : {21, 21, 21, 21, 28, 28, 28, 28, 29, 29, 29, 29}) {
        expected.emplace_back(0x90, 0.0f, note, 100, 0);
        expected.emplace_back(0x80, 960.0f, note, 0, 0);
    }
    // The 00 90 00 00 event, then 348 three-byte events of zeros; the one
    // zero byte left over is an event cut short.
    expected.insert(expected.end(), 349, Event{0x80, 0.0f, 0, 0, 0});
    EXPECT_EQ(events(0), expected);
    EXPECT_EQ(songTracks[1].first, nullptr);
    EXPECT_EQ(songTracks[2].first, nullptr);
}

} // namespace
