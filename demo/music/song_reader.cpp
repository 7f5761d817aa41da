// Song reader: readSong turns a Standard MIDI File into one linked list of
// channel events per track (a head event of status 1, then the events in
// file order, each with its own delta in ticks) and sets ticksPerMs;
// releaseSong frees the lists. Numbers in the file are big-endian.
//
// The reader never reads past the end of the song data: every byte goes
// through the bounded readers below, and a read past the end yields 0 and
// marks the song as cut short. A song cut short anywhere reads as false.
#include "music/song_reader.hpp"

#include <cstring>

#include "common/allocation.hpp"

std::int32_t songTempo = 160;
std::int32_t trackCount = 0;
std::int32_t division = 0;
float ticksPerMs = 0.0f;
MidiTrack* songTracks = nullptr;
std::int32_t* trackCounters = nullptr;
std::uint8_t songStateTable[SongStateTableSize];

namespace {

constexpr std::uint32_t HeaderId = 0x4d546864; // "MThd"
constexpr std::uint32_t TrackId = 0x4d54726b;  // "MTrk"
constexpr std::uint8_t HeadStatus = 1;
constexpr std::uint8_t MetaStatus = 0xff;
constexpr std::uint8_t EndOfTrackType = 0x2f;
constexpr std::uint8_t SequenceNumberType = 0x00;

const std::uint8_t* songBytes = nullptr; // the song being read
std::int32_t songSize = 0;               // its length in bytes
std::int32_t songCursor = 0;             // next unread byte, 0 ... songSize
bool songCutShort = false;               // a read ran past the end

void beginReading(const std::uint8_t* song, std::int32_t size)
{
    songBytes = song;
    songSize = song == nullptr || size < 0 ? 0 : size;
    songCursor = 0;
    songCutShort = false;
}

// The byte under the cursor, left unread; 0 past the end.
std::uint8_t peekByte()
{
    if (songCursor >= songSize) {
        songCutShort = true;
        return 0;
    }
    return songBytes[songCursor];
}

std::uint8_t readByte()
{
    const std::uint8_t byte = peekByte();
    if (songCursor < songSize) {
        ++songCursor;
    }
    return byte;
}

std::uint16_t readU16BE()
{
    const std::uint32_t high = readByte();
    return static_cast<std::uint16_t>((high << 8) | readByte());
}

std::uint32_t readU32BE()
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | readByte();
    }
    return value;
}

// Any number of bytes, seven bits each, the last with its top bit clear;
// unsigned arithmetic keeps the low 32 bits of a longer run. At the end of
// the data readByte gives 0, which ends the quantity.
std::uint32_t readVarLength()
{
    std::uint32_t value = 0;
    std::uint8_t byte = 0;
    do {
        byte = readByte();
        value = (value << 7) | (byte & 0x7fu);
    } while ((byte & 0x80u) != 0);
    return value;
}

// A skip that runs past the end stops at the end and cuts the song short.
void skipBytes(std::uint32_t count)
{
    if (count > static_cast<std::uint32_t>(songSize - songCursor)) {
        songCursor = songSize;
        songCutShort = true;
        return;
    }
    songCursor += static_cast<std::int32_t>(count);
}

enum class TrackEnd {
    EndOfTrack, // the end-of-track meta event
    CutShort,   // the data ended first
    Unsupported // a system-exclusive or other non-meta 0xF0 status
};

// A meta event after its status: true when it is the end of the track.
bool readMetaEvent()
{
    const std::uint8_t type = readByte();
    const std::uint32_t length = readVarLength();
    if (type == EndOfTrackType) {
        return true;
    }
    if (type == SequenceNumberType) {
        // The sequence number is two bytes whatever the length says.
        if (length != 0) {
            readU16BE();
        }
        return false;
    }
    skipBytes(length);
    return false;
}

// The data bytes of a channel event; false when it makes no event (channel
// pressure, or no status seen yet in this track).
bool readChannelEvent(std::uint8_t status, MidiEvent& event)
{
    const std::uint8_t kind = status & 0xf0;
    event.status = kind;
    event.channel = status & 0x0f;
    switch (kind) {
    case 0x80: case 0x90: case 0xa0: case 0xb0: case 0xe0:
        event.data1 = readByte();
        event.data2 = readByte();
        if (kind == 0x90 && event.data2 == 0) {
            event.status = 0x80; // a note on at velocity 0 is a note off
        }
        return true;
    case 0xc0:
        event.data1 = readByte();
        return true;
    case 0xd0:
        readByte(); // channel pressure is dropped, and its delta with it
        return false;
    default:
        return false;
    }
}

MidiEvent* appendEvent(MidiEvent* tail, const MidiEvent& event)
{
    MidiEvent* added = allocateZeroed<MidiEvent>(1);
    *added = event;
    added->next = nullptr;
    tail->next = added;
    return added;
}

// Events up to the end-of-track event. The chunk length is not consulted,
// so the next chunk is expected right after that event. An event that the
// end of the data cuts short is not stored; the complete ones before it stay.
TrackEnd readTrackEvents(MidiTrack& track)
{
    MidiEvent* tail = track.first;
    std::uint8_t runningStatus = 0;
    for (;;) {
        MidiEvent event{};
        event.deltaTime = static_cast<float>(readVarLength());
        if ((peekByte() & 0x80) != 0) {
            runningStatus = readByte();
        }
        bool store = false;
        bool ended = false;
        if (runningStatus == MetaStatus) {
            ended = readMetaEvent();
        } else if (runningStatus >= 0xf0) {
            return TrackEnd::Unsupported;
        } else {
            store = readChannelEvent(runningStatus, event);
        }
        if (songCutShort) {
            return TrackEnd::CutShort;
        }
        if (ended) {
            return TrackEnd::EndOfTrack;
        }
        if (store) {
            tail = appendEvent(tail, event);
        }
    }
}

// One chunk; false when reading must stop. A chunk header cut short leaves
// the track unreached (no head). A chunk of another id is skipped by its
// length and keeps an empty list; skipping past the end stops reading.
bool readTrack(MidiTrack& track)
{
    const std::uint32_t id = readU32BE();
    const std::uint32_t length = readU32BE();
    if (songCutShort) {
        return false;
    }
    MidiEvent* head = allocateZeroed<MidiEvent>(1);
    head->status = HeadStatus;
    track.first = head;
    track.current = head;
    if (id != TrackId) {
        skipBytes(length);
        return !songCutShort;
    }
    return readTrackEvents(track) == TrackEnd::EndOfTrack;
}

void releaseEvents(MidiEvent* head)
{
    while (head != nullptr) {
        MidiEvent* next = head->next;
        releaseBlock(head);
        head = next;
    }
}

} // namespace

bool readSong(const std::uint8_t* song, std::int32_t size)
{
    beginReading(song, size);
    const std::uint32_t id = readU32BE();
    readU32BE(); // header length: the header is taken to be 6 bytes
    readU16BE(); // format
    trackCount = readU16BE();
    division = readU16BE();
    // Integer product, then the division in double, rounded once to float.
    const std::int64_t ticksPerMinute = std::int64_t{songTempo} * division;
    ticksPerMs = static_cast<float>(static_cast<double>(ticksPerMinute) / 60000.0);
    if (id != HeaderId) {
        return false;
    }
    songTracks = allocateZeroed<MidiTrack>(static_cast<std::size_t>(trackCount));
    trackCounters = allocateZeroed<std::int32_t>(static_cast<std::size_t>(trackCount));
    // Tracks after the one where reading stops are never reached and keep
    // first = null, as do all of them when the header itself was cut short.
    for (std::int32_t t = 0; t < trackCount; ++t) {
        if (!readTrack(songTracks[t])) {
            return false;
        }
    }
    if (songCutShort) {
        return false;
    }
    std::memset(songStateTable, 0, sizeof songStateTable);
    std::memset(trackCounters, 0, sizeof(std::int32_t) * static_cast<std::size_t>(trackCount));
    return true;
}

void releaseSong()
{
    if (songTracks != nullptr) {
        for (std::int32_t t = 0; t < trackCount; ++t) {
            releaseEvents(songTracks[t].first);
            songTracks[t].first = nullptr;
            songTracks[t].current = nullptr;
        }
    }
    releaseBlock(songTracks);
    releaseBlock(trackCounters);
}
