// demokit song: the embedded song, or a Standard MIDI File from disk, read by
// the program's own song reader and printed as JSON: the header values, the
// reader's result and, per declared track, its events after the head.
// A file is untrusted input: it is read whole (at most MaxSongBytes), must
// begin as a Standard MIDI File does, and the reader copes with the rest.
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "input_file.hpp"
#include "data/embedded_data.hpp"
#include "json_writer.hpp"
#include "music/song_reader.hpp"
#include "subcommands.hpp"

namespace {

const char* const SongHelp =
    "usage: demokit song [FILE]\n"
    "\n"
    "Reads the embedded song, or the Standard MIDI File FILE, with the demo's\n"
    "song reader and prints, as JSON: trackCount, division, ticksPerMs, the\n"
    "reader's result (true when the song was read whole) and, per declared\n"
    "track, whether it was reached and its events (status, deltaTime, data1,\n"
    "data2, channel). FILE may be at most 16 MiB and must begin with a MThd\n"
    "header; another file is refused (exit code 3).\n";

constexpr std::size_t MaxSongBytes = 16u << 20;

// A file must at least be a Standard MIDI File: what follows is the
// reader's to judge, whatever the bytes.
std::vector<std::uint8_t> readSongFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes = readInputFile(path, MaxSongBytes, "song");
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "MThd", 4) != 0) {
        throw InputError("song: '" + path + "' is not a Standard MIDI File (no MThd header)");
    }
    return bytes;
}

void writeEvent(JsonWriter& json, const MidiEvent& event)
{
    json.beginObject();
    json.field("status", std::int64_t{event.status});
    json.field("deltaTime", event.deltaTime);
    json.field("data1", std::int64_t{event.data1});
    json.field("data2", std::int64_t{event.data2});
    json.field("channel", std::int64_t{event.channel});
    json.endObject();
}

// A header other than "MThd" leaves no track array; its tracks read as unreached.
void writeTrack(JsonWriter& json, std::int32_t index)
{
    const MidiEvent* head = songTracks != nullptr ? songTracks[index].first : nullptr;
    json.beginObject();
    json.field("index", std::int64_t{index});
    json.field("read", head != nullptr);
    json.key("events");
    json.beginArray();
    for (const MidiEvent* event = head != nullptr ? head->next : nullptr; event != nullptr;
         event = event->next) {
        writeEvent(json, *event);
    }
    json.endArray();
    json.endObject();
}

void writeSong(JsonWriter& json, bool result)
{
    json.beginObject();
    json.field("trackCount", std::int64_t{trackCount});
    json.field("division", std::int64_t{division});
    json.field("ticksPerMs", ticksPerMs);
    json.field("result", result);
    json.key("tracks");
    json.beginArray();
    for (std::int32_t t = 0; t < trackCount; ++t) {
        writeTrack(json, t);
    }
    json.endArray();
    json.endObject();
    json.finish();
}

} // namespace

int runSongCommand(Arguments& args)
{
    if (args.asksForHelp()) {
        std::fputs(SongHelp, stdout);
        return 0;
    }
    const bool fromFile = !args.empty();
    const std::string path = fromFile ? args.take() : std::string();
    if (!path.empty() && path[0] == '-') {
        throw UsageError("song: unknown option '" + path + "'");
    }
    if (!args.empty()) {
        throw UsageError("song: unexpected argument '" + args.take() + "'");
    }
    const std::vector<std::uint8_t> fileBytes =
        fromFile ? readSongFile(path) : std::vector<std::uint8_t>();
    const std::uint8_t* song = fromFile ? fileBytes.data() : embeddedSong;
    const std::int32_t size = fromFile ? static_cast<std::int32_t>(fileBytes.size())
                                       : static_cast<std::int32_t>(sizeof embeddedSong);
    const bool result = readSong(song, size);
    JsonWriter json(stdout);
    writeSong(json, result);
    releaseSong();
    return 0;
}
