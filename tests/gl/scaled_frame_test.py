"""The OpenGL device drawing at twice the program's size, as the player and
the page do on a screen of twice the density: `demokit record --at 20440
--scale 2 --device gl` against the software device's frame at the same size
within the bounds every OpenGL frame keeps (at least 99.5% of the pixels
within 2/255 a channel, no more than one in 10,000 off the triangle edges),
and box-filtered down by 2 against the software device's 1x frame within
looser ones: a finer sampling shows what the 1x frame cannot (textures read
at four times the points, edges at sixteen samples a pixel).
Usage: scaled_frame_test.py DEMOKIT WORKDIR"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import frame_compare  # noqa: E402

AT_MS = 20440
WIDTH, HEIGHT = 1024, 768


def record(demokit, work, name, *options):
    path = os.path.join(work, f'{name}.png')
    subprocess.run([demokit, 'record', '--at', str(AT_MS), '--out', path, *options], check=True,
                   capture_output=True, timeout=300)
    return frame_compare.read_rgb(path)


def main():
    demokit, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    failures = []
    gl = record(demokit, work, 'gl-x2', '--scale', '2', '--device', 'gl')
    for scale, picture, within, off_share in ((2, gl, 99.5, 1e-4),
                                              (1, frame_compare.halved(gl, 2 * WIDTH, 2 * HEIGHT), 99.0, 2e-3)):
        width, height = WIDTH * scale, HEIGHT * scale
        multi = record(demokit, work, f'software-4-x{scale}', '--scale', str(scale))
        single = record(demokit, work, f'software-1-x{scale}', '--scale', str(scale), '--no-multisample')
        edges = frame_compare.edge_mask(single, multi, width, height)
        percent, most, off_edge = frame_compare.compare(picture, multi, edges)
        what = 'drawn at 2048 x 1536' if scale == 2 else 'box-filtered to 1024 x 768'
        print(f'scaled frame: {what}: {percent:.3f}% within 2/255, largest difference {most}, {off_edge} off the edges')
        if percent < within:
            failures.append(f'{what}: only {percent:.3f}% of the pixels within 2/255')
        if off_edge > width * height * off_share:
            failures.append(f'{what}: {off_edge} differing pixels off the edges')
    for failure in failures:
        print(f'FAILED: {failure}', file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
