// The song reader: a Standard MIDI File read into one linked list of channel
// events per track, and the tick-to-millisecond rate at the song's tempo.
// Multi-byte numbers are big-endian. Nothing plays the lists.
#pragma once

#include <cstdint>

struct MidiEvent {
    std::uint8_t status; // upper nibble of the MIDI status (0x80 ... 0xE0); 1 in a list head
    float deltaTime;     // this event's own delta time in ticks
    std::uint8_t data1;  // note, controller, program, or pitch bend's low part
    std::uint8_t data2;  // velocity, value, or pitch bend's high part; 0 for a program change
    std::uint8_t channel; // lower nibble of the status
    MidiEvent* next;     // following event, or null
};

struct MidiTrack {
    MidiEvent* first;   // head event (status 1), null for a track reading never reached
    MidiEvent* current; // a player's position; equal to first
};

constexpr std::int32_t SongStateTableSize = 2048;

extern std::int32_t songTempo;   // beats per minute, 160
extern std::int32_t trackCount;  // tracks declared by the header
extern std::int32_t division;    // ticks per quarter note
extern float ticksPerMs;         // ticks per millisecond at songTempo
extern MidiTrack* songTracks;    // trackCount entries
extern std::int32_t* trackCounters; // trackCount entries, reserved for a player
extern std::uint8_t songStateTable[SongStateTableSize]; // reserved for a player

// Reads the song; true when it was read whole and well-formed.
bool readSong(const std::uint8_t* song, std::int32_t size);
void releaseSong();
