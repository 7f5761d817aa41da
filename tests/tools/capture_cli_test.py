"""End-to-end checks of `demokit record` to video files and at higher scales.

Videos are read back with FFmpeg's own programs: the default MP4 against the
PNG frames of the same times (SSIM), lossless captures frame for frame, the
frame rate and count; frames rendered at twice the resolution and cropped to
the picture band, box-filtered back down, against the frame at 1; --for
youtube against what the upload settings ask (profile, colour, GOP,
B-frames, the index at the front, no edit list) and against PNG frames
drawn at its size (SSIM); --for archive frame for frame; a 2160p frame
box-filtered down against the frame at 1; the colour matrix by lines; then
bad arguments, a full disk and Ctrl+C. Each failure is one line; all are
listed.
"""
import argparse
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import time

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def record(*args, **kwargs):
    return subprocess.run([DEMOKIT, 'record', *args], capture_output=True, text=True, timeout=600, **kwargs)


def recorded(*args):
    """Runs a recording that must succeed."""
    r = record(*args)
    check(r.returncode == 0, f'record {" ".join(args)}: exit {r.returncode}: {r.stderr.strip()[-300:]}')
    return r


def refused(code, *args, **kwargs):
    """Runs a recording that must fail with one line on stderr and exit code."""
    r = record(*args, **kwargs)
    check(r.returncode == code, f'record {" ".join(args)}: exit {r.returncode}, expected {code}: {r.stderr.strip()}')
    check(r.stderr.count('\n') == 1, f'record {" ".join(args)}: expected one line on stderr, got {r.stderr!r}')
    return r


def probe(path, entries='stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames'):
    r = subprocess.run(['ffprobe', '-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
                        entries, '-of', 'default=noprint_wrappers=1', path], capture_output=True, text=True)
    return dict(line.split('=', 1) for line in r.stdout.split()) if r.returncode == 0 else {}


def raw_frames(source, *filters):
    """Every frame of a video or an image pattern as RGB24 bytes, one bytes object a frame."""
    extra = ['-vf', ','.join(filters)] if filters else []
    pattern = ['-framerate', '60', '-start_number', '0'] if '%' in source else []
    r = subprocess.run(['ffmpeg', '-v', 'error', *pattern, '-i', source, *extra, '-f', 'rawvideo', '-pix_fmt',
                        'rgb24', '-'], capture_output=True, check=True)
    return r.stdout


def ssim(video, pattern):
    """FFmpeg's SSIM of the video's luma against the frames' (Y)."""
    r = subprocess.run(['ffmpeg', '-hide_banner', '-i', video, '-framerate', '60', '-start_number', '0', '-i',
                        pattern, '-lavfi', '[0:v][1:v]ssim', '-f', 'null', '-'], capture_output=True, text=True)
    found = re.search(r'SSIM Y:([0-9.]+)', r.stderr)
    return float(found.group(1)) if found else 0.0


def check_default_video():
    """The main job's video: H.264 in MP4, 60 fps, as good as the frames to the eye."""
    recorded('--from', '20000', '--to', '21000', '--out', f'{WORK}/default.mp4')
    recorded('--from', '20000', '--to', '21000', '--out', f'{WORK}/png')
    info = probe(f'{WORK}/default.mp4')
    check(info.get('codec_name') == 'h264' and info.get('pix_fmt') == 'yuv420p', f'default video: {info}')
    check(info.get('width') == '1024' and info.get('height') == '768', f'default video size: {info}')
    check(info.get('r_frame_rate') == '60/1' and info.get('nb_read_frames') == '61', f'default video frames: {info}')
    value = ssim(f'{WORK}/default.mp4', f'{WORK}/png/frame_%06d.png')
    check(value >= 0.99, f'default video: SSIM {value} against the PNG frames, expected at least 0.99')
    check(not glob.glob(f'{WORK}/*.part'), 'a .part file was left beside a finished video')


def check_lossless():
    """Lossless captures decode to exactly the PNG frames."""
    recorded('--from', '20000', '--to', '20200', '--out', f'{WORK}/exact')
    expected = raw_frames(f'{WORK}/exact/frame_%06d.png')
    check(len(expected) == 13 * 1024 * 768 * 3, f'lossless: {len(expected)} bytes of PNG frames')
    for name, extra in (('ffv1.mkv', []), ('h264.mp4', ['--codec', 'h264']), ('vp9.webm', ['--codec', 'vp9'])):
        recorded('--from', '20000', '--to', '20200', '--lossless', *extra, '--out', f'{WORK}/{name}')
        decoded = raw_frames(f'{WORK}/{name}')
        check(decoded == expected, f'lossless {name}: decoded frames differ from the PNG frames '
                                   f'({len(decoded)} bytes against {len(expected)})')


def check_frame_rates():
    """Any rate from 1 to 240, each frame at its own time."""
    recorded('--from', '0', '--to', '1000', '--fps', '240', '--out', f'{WORK}/fast.mkv')
    info = probe(f'{WORK}/fast.mkv')
    check(info.get('r_frame_rate') == '240/1' and info.get('nb_read_frames') == '241', f'--fps 240: {info}')
    recorded('--from', '0', '--to', '3000', '--fps', '1', '--out', f'{WORK}/slow.mp4')
    info = probe(f'{WORK}/slow.mp4')
    check(info.get('r_frame_rate') == '1/1' and info.get('nb_read_frames') == '4', f'--fps 1: {info}')


def check_scale_and_crop():
    """Twice the resolution is the same picture with four times the pixels."""
    for at in ('20440', '47000'):
        recorded('--at', at, '--out', f'{WORK}/one_{at}.png')
        recorded('--at', at, '--scale', '2', '--crop', '--out', f'{WORK}/two_{at}.png')
        info = probe(f'{WORK}/two_{at}.png', 'stream=width,height')
        check(info == {'width': '2048', 'height': '1280'}, f'--scale 2 --crop at {at}: {info}')
        one = raw_frames(f'{WORK}/one_{at}.png', 'crop=1024:640:0:64')
        two = raw_frames(f'{WORK}/two_{at}.png', 'scale=1024:640:flags=area')
        if not check(len(one) == len(two) and one, f'--scale 2 at {at}: sizes differ'):
            continue
        differences = [abs(a - b) for a, b in zip(one, two)]
        mean = sum(differences) / len(differences)
        far = sum(1 for d in differences if d > 32) / len(differences)
        # Only edges may differ: they are sampled four times as finely.
        check(mean <= 2.0 and far <= 0.03,
              f'--scale 2 at {at}: mean difference {mean:.3f}, {far:.2%} beyond 32 levels (at most 2 and 3 %)')
    recorded('--from', '20000', '--to', '20100', '--scale', '2', '--crop', '--out', f'{WORK}/band.mp4')
    info = probe(f'{WORK}/band.mp4')
    check(info.get('width') == '2048' and info.get('height') == '1280', f'--scale 2 --crop video: {info}')


def mp4_top_boxes(path):
    """The names of an MP4 file's top-level boxes, in order, and whether it has an edit list."""
    import struct
    with open(path, 'rb') as f:
        data = f.read()
    names, at = [], 0
    while at + 8 <= len(data):
        size, name = struct.unpack('>I4s', data[at:at + 8])
        size = struct.unpack('>Q', data[at + 8:at + 16])[0] if size == 1 else size
        names.append(name.decode('latin-1'))
        if size < 8:
            break
        at += size
    return names, b'elst' in data


def frame_types(path):
    """Each frame's picture type and key flag, in presentation order, and the first one's time."""
    import json
    r = subprocess.run(['ffprobe', '-v', 'error', '-select_streams', 'v:0', '-show_entries',
                        'frame=key_frame,pict_type,pts_time', '-of', 'json', path], capture_output=True, text=True)
    frames = json.loads(r.stdout or '{}').get('frames', [])
    first = float(frames[0]['pts_time']) if frames else None
    return [(frame['pict_type'], frame['key_frame'] == 1) for frame in frames], first


def check_youtube():
    """--for youtube: what the upload settings ask, drawn at 2160 lines."""
    r = recorded('--for', 'youtube', '--from', '20000', '--to', '21000', '--out', f'{WORK}/youtube.mp4')
    check(re.search(r'wrote 61 frames of 3456 x 2160 to .*youtube.mp4: [0-9.]+ [kMG]B in [0-9.]+ s .*times real '
                    r'time', r.stdout), f'--for youtube: the last line says {r.stdout!r}')
    info = probe(f'{WORK}/youtube.mp4', 'stream=codec_name,profile,pix_fmt,width,height,r_frame_rate,color_space,'
                 'color_transfer,color_primaries,color_range,field_order,nb_read_frames')
    expected = {'codec_name': 'h264', 'profile': 'High', 'pix_fmt': 'yuv420p', 'width': '3456', 'height': '2160',
                'r_frame_rate': '60/1', 'color_space': 'bt709', 'color_transfer': 'bt709',
                'color_primaries': 'bt709', 'color_range': 'tv', 'field_order': 'progressive',
                'nb_read_frames': '61'}
    for key, value in expected.items():
        check(info.get(key) == value, f'--for youtube: {key} is {info.get(key)}, expected {value}')
    types, first = frame_types(f'{WORK}/youtube.mp4')
    keys = [k for k, (_, key) in enumerate(types) if key]
    check(keys == [0, 30, 60], f'--for youtube: key frames at {keys}, expected every 30 frames')
    check(any(kind == 'B' for kind, _ in types), '--for youtube: no B-frames')
    check(all(types[k - 1][0] != 'B' for k in keys[1:]), '--for youtube: a GOP is open (a B-frame before a key)')
    check(first == 0.0, f'--for youtube: the first frame is shown at {first} s, not 0')
    boxes, edit_list = mp4_top_boxes(f'{WORK}/youtube.mp4')
    check('moov' in boxes and 'mdat' in boxes and boxes.index('moov') < boxes.index('mdat'),
          f'--for youtube: the index is not at the front: {boxes}')
    check(not edit_list, '--for youtube: the file has an edit list')
    # As good as the frames to the eye: against PNG frames drawn at that size.
    recorded('--from', '20000', '--to', '21000', '--size', '2160p', '--crop', '--out', f'{WORK}/png2160')
    value = ssim(f'{WORK}/youtube.mp4', f'{WORK}/png2160/frame_%06d.png')
    print(f'capture: --for youtube, SSIM (Y) {value} against the PNG frames drawn at 2160p')
    check(value >= 0.99, f'--for youtube: SSIM {value} against the PNG frames, expected at least 0.99')


def check_other_profiles():
    """--for archive is exact; --for web is small; flags beside --for win."""
    recorded('--for', 'archive', '--from', '20000', '--to', '20200', '--out', f'{WORK}/archive.mkv')
    recorded('--from', '20000', '--to', '20200', '--out', f'{WORK}/archive_png')
    info = probe(f'{WORK}/archive.mkv')
    check(info.get('codec_name') == 'ffv1' and info.get('width') == '1024', f'--for archive: {info}')
    decoded = raw_frames(f'{WORK}/archive.mkv')
    check(decoded == raw_frames(f'{WORK}/archive_png/frame_%06d.png') and decoded,
          '--for archive: the decoded frames differ from the PNG frames')
    recorded('--for', 'web', '--from', '20000', '--to', '20500', '--out', f'{WORK}/web.webm')
    info = probe(f'{WORK}/web.webm', 'stream=codec_name,width,height,color_space')
    check(info.get('codec_name') in ('av1', 'vp9') and (info.get('width'), info.get('height')) == ('1728', '1080')
          and info.get('color_space') == 'bt709', f'--for web: {info}')
    recorded('--for', 'youtube', '--size', '720p', '--fps', '30', '--from', '0', '--to', '500',
             '--out', f'{WORK}/small_youtube.mp4')
    info = probe(f'{WORK}/small_youtube.mp4', 'stream=profile,width,height,r_frame_rate')
    check(info == {'profile': 'High', 'width': '1152', 'height': '720', 'r_frame_rate': '30/1'},
          f'--for youtube --size 720p --fps 30: {info}')


def check_sizes_drawn_and_colour():
    """A size is drawn at that size; the YUV matrix follows the lines."""
    recorded('--at', '20440', '--out', f'{WORK}/at1.png')
    recorded('--at', '20440', '--size', '2160p', '--crop', '--out', f'{WORK}/at2160.png')
    info = probe(f'{WORK}/at2160.png', 'stream=width,height')
    check(info == {'width': '3456', 'height': '2160'}, f'--size 2160p --crop: {info}')
    one = raw_frames(f'{WORK}/at1.png', 'crop=1024:640:0:64')
    down = raw_frames(f'{WORK}/at2160.png', 'scale=1024:640:flags=area')
    if check(len(one) == len(down) and one, '--size 2160p: sizes differ'):
        differences = [abs(a - b) for a, b in zip(one, down)]
        mean = sum(differences) / len(differences)
        far = sum(1 for d in differences if d > 32) / len(differences)
        print(f'capture: 2160p box-filtered to 1x: mean difference {mean:.3f}, {far:.2%} beyond 32 levels')
        check(mean <= 2.0 and far <= 0.03,
              f'--size 2160p box-filtered: mean difference {mean:.3f}, {far:.2%} beyond 32 levels (at most 2 and 3 %)')
    recorded('--at', '20440', '--size', '640x400', '--crop', '--out', f'{WORK}/small.png')
    check(probe(f'{WORK}/small.png', 'stream=width,height') == {'width': '640', 'height': '400'},
          '--size 640x400 --crop is not 640 x 400')
    for size, matrix in (('640x480', 'smpte170m'), ('1280x720', 'bt709')):
        recorded('--from', '0', '--to', '200', '--size', size, '--out', f'{WORK}/colour_{size}.mp4')
        info = probe(f'{WORK}/colour_{size}.mp4', 'stream=color_space,color_primaries,color_transfer,color_range')
        check(info == {'color_space': matrix, 'color_primaries': matrix, 'color_transfer': matrix,
                       'color_range': 'tv'}, f'--size {size}: colour {info}, expected {matrix}')


def check_refusals():
    out = f'{WORK}/refused.mp4'
    refused(2, '--from', '0', '--to', '100', '--codec', 'mpeg2', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--codec', 'h264', '--out', f'{WORK}/refused.webm')
    refused(2, '--from', '0', '--to', '100', '--codec', 'av1', '--lossless', '--out', f'{WORK}/refused.mkv')
    refused(2, '--from', '0', '--to', '100', '--fps', '241', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--scale', '5', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--crf', '20', '--out', f'{WORK}/frames')
    refused(2, '--from', '0', '--to', '100', '--out', f'{WORK}/refused.avi.mp4', '--pix-fmt', 'rgb565')
    refused(1, '--from', '0', '--to', '100', '--out', f'{WORK}/no/such/folder/refused.mp4')
    refused(2, '--from', '0', '--to', '100', '--scale', '2', '--size', '2160p', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--size', '2160i', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--for', 'cinema', '--out', out)
    refused(2, '--from', '0', '--to', '100', '--lossless', '--size', '640x400', '--out', f'{WORK}/refused.mkv')
    check(not glob.glob(f'{WORK}/refused*'), f'a refused recording left {glob.glob(WORK + "/refused*")}')

    # A disk that fills up: writes beyond 256 KB fail (SIGXFSZ ignored, so they
    # fail with EFBIG as on a full disk).
    def limit_file_size():
        import resource
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (256 << 10, 256 << 10))
    full = f'{WORK}/full.mkv'
    refused(1, '--from', '20000', '--to', '22000', '--codec', 'ffv1', '--out', full, preexec_fn=limit_file_size)
    check(not os.path.exists(full) and not os.path.exists(full + '.part'), 'a full disk left a video behind')


def check_interrupt():
    """Ctrl+C completes the file with the frames made, and says so."""
    out = f'{WORK}/stopped.mp4'
    process = subprocess.Popen([DEMOKIT, 'record', '--out', out], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    # Once some frames are in the file (header and first packets), stop it.
    deadline = time.time() + 120
    while time.time() < deadline and process.poll() is None:
        if os.path.exists(out + '.part') and os.path.getsize(out + '.part') > 50000:
            break
        time.sleep(0.05)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    check(process.returncode == 130, f'Ctrl+C: exit {process.returncode}, expected 130: {err.strip()}')
    check('interrupted' in err and err.count('\n') == 1, f'Ctrl+C: stderr {err!r}')
    info = probe(out)
    frames = int(info.get('nb_read_frames', '0'))
    check(0 < frames < 4921, f'Ctrl+C: the video holds {frames} frames')
    check(not os.path.exists(out + '.part'), 'Ctrl+C left a .part file')


def main():
    global DEMOKIT, WORK
    parser = argparse.ArgumentParser()
    parser.add_argument('--demokit', required=True)
    parser.add_argument('--work-dir', required=True)
    args = parser.parse_args()
    DEMOKIT, WORK = args.demokit, args.work_dir
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    if shutil.which('ffprobe') is None:
        print('capture test: needs FFmpeg\'s programs (ffmpeg, ffprobe)', file=sys.stderr)
        return 1
    for step in (check_default_video, check_lossless, check_frame_rates, check_scale_and_crop, check_youtube,
                 check_other_profiles, check_sizes_drawn_and_colour, check_refusals, check_interrupt):
        step()
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
