// demokit song: the embedded song, or a Standard MIDI File from disk, read by
// the program's own song reader and printed as JSON: the header values, the
// reader's result and, per declared track, its events after the head.
// A file is untrusted input: it is read whole (at most MaxSongBytes), must
// begin as a Standard MIDI File does, and the reader copes with the rest.
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "input_file.hpp"
#include "data/embedded_data.hpp"
#include "json_output.hpp"
#include "music/song_reader.hpp"
#include "subcommands.hpp"

namespace {

const char* const SongDetails =
    "Reads the embedded song, or the Standard MIDI File FILE, with the demo's\n"
    "song reader and prints, as JSON: trackCount, division, ticksPerMs, the\n"
    "reader's result (true when the song was read whole) and, per declared\n"
    "track, whether it was reached and its events (status, deltaTime, data1,\n"
    "data2, channel). FILE may be at most 16 MiB and must begin with a MThd\n"
    "header; another file is refused (exit code 3).";

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

Json eventJson(const MidiEvent& event)
{
    Json json;
    json["status"] = std::int64_t{event.status};
    json["deltaTime"] = event.deltaTime;
    json["data1"] = std::int64_t{event.data1};
    json["data2"] = std::int64_t{event.data2};
    json["channel"] = std::int64_t{event.channel};
    return json;
}

// A header other than "MThd" leaves no track array; its tracks read as unreached.
Json trackJson(std::int32_t index)
{
    const MidiEvent* head = songTracks != nullptr ? songTracks[index].first : nullptr;
    Json json;
    json["index"] = std::int64_t{index};
    json["read"] = head != nullptr;
    Json& events = json["events"] = Json::array();
    for (const MidiEvent* event = head != nullptr ? head->next : nullptr; event != nullptr; event = event->next) {
        events.push_back(eventJson(*event));
    }
    return json;
}

Json songJson(bool result)
{
    Json json;
    json["trackCount"] = std::int64_t{trackCount};
    json["division"] = std::int64_t{division};
    json["ticksPerMs"] = ticksPerMs;
    json["result"] = result;
    Json& tracks = json["tracks"] = Json::array();
    for (std::int32_t t = 0; t < trackCount; ++t) {
        tracks.push_back(trackJson(t));
    }
    return json;
}

struct SongOptions {
    bool fromFile = false; // FILE given
    std::string path;
};

int runSong(const SongOptions& options)
{
    const std::vector<std::uint8_t> fileBytes =
        options.fromFile ? readSongFile(options.path) : std::vector<std::uint8_t>();
    const std::uint8_t* song = options.fromFile ? fileBytes.data() : embeddedSong;
    const std::int32_t size = options.fromFile ? static_cast<std::int32_t>(fileBytes.size())
                                               : static_cast<std::int32_t>(sizeof embeddedSong);
    const bool result = readSong(song, size);
    writeJson(stdout, songJson(result));
    releaseSong();
    return 0;
}

} // namespace

void addSongCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<SongOptions>();
    CLI::App* command =
        addCommand(tool, "song", "The embedded song (or a MIDI file) read into events, as JSON.", SongDetails);
    CLI::Option* file = command->add_option("FILE", options->path, "a Standard MIDI File instead of the embedded song");
    command->callback([options, file, &run] {
        options->fromFile = file->count() > 0;
        run = [options] { return runSong(*options); };
    });
}
