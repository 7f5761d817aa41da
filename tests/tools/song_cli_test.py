"""End-to-end checks of `demokit song`.

Standard MIDI Files written with mido are read back by the tool and compared
with mido's own parse, converted by the reader's rules (a note on at velocity
0 is a note off, the delta of a dropped event is lost). Then the embedded
song, and hostile files: each must give a result, or one line on stderr and
a non-zero exit, and never a crash.
"""
import argparse
import json
import os
import random
import struct
import subprocess
import sys

import mido

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def run_song(*args):
    return subprocess.run([DEMOKIT, 'song', *args], capture_output=True, text=True, timeout=120)


def outcome(path):
    """The tool's JSON for path, or None after a clean error; records a crash."""
    r = run_song(path)
    name = os.path.basename(path)
    if r.returncode < 0 or r.returncode > 3:
        check(False, f'{name}: exit code {r.returncode}: {r.stderr[-300:]}')
        return None
    if r.returncode != 0:
        check(r.stderr.count('\n') == 1, f'{name}: expected one error line, got {r.stderr!r}')
        return None
    check(r.stderr == '', f'{name}: stderr with a result: {r.stderr!r}')
    return json.loads(r.stdout)


# mido message type -> (status nibble, first data field, second data field)
CHANNEL_FIELDS = {
    'note_off': (0x80, 'note', 'velocity'), 'note_on': (0x90, 'note', 'velocity'),
    'polytouch': (0xA0, 'note', 'value'), 'control_change': (0xB0, 'control', 'value'),
    'program_change': (0xC0, 'program', None),
}


def expected_events(track):
    events = []
    for msg in track:
        if msg.type == 'end_of_track':
            break
        if msg.type == 'pitchwheel':
            value = msg.pitch + 8192
            events.append((0xE0, f32(msg.time), value & 0x7F, value >> 7, msg.channel))
        elif msg.type in CHANNEL_FIELDS:  # meta events and aftertouch make no event
            status, first, second = CHANNEL_FIELDS[msg.type]
            data2 = getattr(msg, second) if second else 0
            if status == 0x90 and data2 == 0:
                status = 0x80
            events.append((status, f32(msg.time), getattr(msg, first), data2, msg.channel))
    return events


def tool_events(track):
    return [(e['status'], f32(e['deltaTime']), e['data1'], e['data2'], e['channel'])
            for e in track['events']]


def write_songs(work):
    M, Meta = mido.Message, mido.MetaMessage
    solo = mido.MidiFile(type=0, ticks_per_beat=480)
    solo.tracks.append(mido.MidiTrack([
        Meta('sequence_number', number=7), Meta('track_name', name='solo', time=3),
        Meta('set_tempo', tempo=375000), Meta('text', text='x' * 200),
        M('program_change', channel=2, program=33),
        M('note_on', channel=2, note=60, velocity=90),
        M('note_on', channel=2, note=60, velocity=0, time=480),
        M('control_change', control=7, value=99), M('pitchwheel', pitch=-8192, time=5),
        M('pitchwheel', pitch=8191), M('pitchwheel', pitch=1234),
        M('aftertouch', value=64, time=50), M('note_on', note=62, velocity=70, time=7),
        M('polytouch', note=62, value=30, time=200000), M('note_off', note=62, velocity=40, time=1),
    ]))
    rng = random.Random(8)
    band = mido.MidiFile(type=1, ticks_per_beat=960)
    band.tracks.append(mido.MidiTrack([Meta('set_tempo', tempo=500000), Meta('marker', text='a')]))
    for channel in (1, 9, 15):
        notes = [M('note_on', channel=channel, note=rng.randrange(128),
                   velocity=rng.randrange(128), time=rng.choice([0, 1, 127, 128, 16384, 2 ** 21]))
                 for _ in range(60)]
        band.tracks.append(mido.MidiTrack([Meta('track_name', name=f'ch{channel}')] + notes))
    paths = []
    for name, song in (('solo.mid', solo), ('band.mid', band)):
        paths.append(os.path.join(work, name))
        song.save(paths[-1])
    return paths


def check_against_mido(path):
    parsed = mido.MidiFile(path)
    got = outcome(path)
    name = os.path.basename(path)
    if got is None:
        return
    header = (got['result'], got['trackCount'], got['division'], f32(got['ticksPerMs']))
    division = parsed.ticks_per_beat
    rate = f32(160 * division / 60000)
    check(header == (True, len(parsed.tracks), division, rate), f'{name}: header')
    for index, (ours, theirs) in enumerate(zip(got['tracks'], parsed.tracks)):
        same = ours['read'] and tool_events(ours) == expected_events(theirs)
        check(same, f'{name}: track {index}')


def check_embedded_song():
    got = json.loads(run_song().stdout)
    header = (got['trackCount'], got['division'], got['result'], f32(got['ticksPerMs']))
    check(header == (3, 960, False, f32(2.56)), 'embedded: header')
    events = tool_events(got['tracks'][0])
    notes = [(s, f32(d), n, v, 0) for n in [21] * 4 + [28] * 4 + [29] * 4
             for s, d, v in ((0x90, 0, 100), (0x80, 960, 0))]
    check(events == notes + [(0x80, 0.0, 0, 0, 0)] * 349, 'embedded: track 0 events')
    check([t['read'] for t in got['tracks']] == [True, False, False], 'embedded: tracks reached')


def check_hostile_files(work, solo_path):
    whole = open(solo_path, 'rb').read()
    expected = expected_events(mido.MidiFile(solo_path).tracks[0])
    # Every cut of the file: the complete events before the cut, in order.
    for size in range(len(whole)):
        path = os.path.join(work, 'cut.mid')
        open(path, 'wb').write(whole[:size])
        got = outcome(path)
        if got is not None and got['tracks']:
            events = tool_events(got['tracks'][0])
            check(not got['result'] and events == expected[:len(events)], f'cut at {size}')
    rng = random.Random(3)
    header = b'MThd' + struct.pack('>IHHH', 6, 1, 2, 96)
    # Not a Standard MIDI File at all: refused with one line and exit 3.
    for name, data in (('empty.mid', b''), ('garbage.mid', rng.randbytes(4000)), ('text.mid', b'MThe not a song')):
        path = os.path.join(work, name)
        open(path, 'wb').write(data)
        r = run_song(path)
        check(r.returncode == 3 and r.stderr.count('\n') == 1 and r.stdout == '', f'{name}: expected exit 3, one line')
    hostile = {
        'noisy.mid': header + b'MTrk\0\0\0\x10' + rng.randbytes(4000),
        'huge-chunk.mid': header + b'XXXX\xff\xff\xff\xff\0\0',
        'huge-meta.mid': header + b'MTrk\0\0\0\x10\0\xff\x01\x8f\xff\xff\x7fabc',
        'many-tracks.mid': b'MThd' + struct.pack('>IHHH', 6, 1, 65535, 960),
    }
    for name, data in hostile.items():
        path = os.path.join(work, name)
        open(path, 'wb').write(data)
        got = outcome(path)
        check(got is not None and got['result'] is False, f'{name}: expected a false result')
    with open(os.path.join(work, 'big.mid'), 'wb') as big:
        big.truncate((16 << 20) + 1)
    for name in ('big.mid', 'missing.mid', '.'):
        r = run_song(os.path.join(work, name))
        check(r.returncode == 1 and r.stderr.count('\n') == 1, f'{name}: expected exit 1, one line')


def main():
    global DEMOKIT
    parser = argparse.ArgumentParser()
    parser.add_argument('--demokit', required=True)
    parser.add_argument('--work-dir', required=True)
    args = parser.parse_args()
    DEMOKIT = args.demokit
    os.makedirs(args.work_dir, exist_ok=True)
    check('usage: demokit song' in run_song('--help').stdout, 'help text')
    paths = write_songs(args.work_dir)
    for path in paths:
        check_against_mido(path)
    check_embedded_song()
    check_hostile_files(args.work_dir, paths[0])
    for failure in failures:
        print('FAIL', failure)
    print(f'song_cli_test: {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
