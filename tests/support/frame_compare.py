"""Frames compared as the tests of other devices and sizes compare them:
RGB bytes, top row first. A device's frame may differ from the software
device's by 2/255 a channel anywhere, and by more only on triangle edges
(the pixels whose software picture differs between one and four samples,
widened by one: two rasterizers may place an edge a sample apart)."""
import subprocess


def read_rgb(path):
    """An image's pixels as RGB bytes (any format ffmpeg reads)."""
    return subprocess.run(['ffmpeg', '-v', 'error', '-i', path, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                          check=True, capture_output=True).stdout


def rgb_of_rgba(rgba):
    """RGBA bytes without their alpha."""
    rgb = bytearray(len(rgba) // 4 * 3)
    for c in range(3):
        rgb[c::3] = rgba[c::4]
    return bytes(rgb)


def halved(rgb, width, height):
    """Each 2 x 2 block as its mean, rounded to nearest: a picture drawn at
    twice the size, box-filtered to the size of the one it is compared with."""
    out = bytearray((width // 2) * (height // 2) * 3)
    row = width * 3
    for y in range(height // 2):
        top = 2 * y * row
        bottom = top + row
        o = y * (width // 2) * 3
        for x in range(0, (width // 2) * 6, 6):
            for c in range(3):
                a = top + x + c
                b = bottom + x + c
                out[o] = (rgb[a] + rgb[a + 3] + rgb[b] + rgb[b + 3] + 2) >> 2
                o += 1
    return bytes(out)


def edge_mask(single, multi, width, height):
    """Pixels a triangle edge crosses (one and four samples differ), widened by one."""
    mask = bytearray(width * height)
    for i in range(width * height):
        if single[3 * i:3 * i + 3] != multi[3 * i:3 * i + 3]:
            y, x = divmod(i, width)
            left, right = max(0, x - 1), min(width, x + 2)
            for ny in range(max(0, y - 1), min(height, y + 2)):
                mask[ny * width + left:ny * width + right] = b'\1' * (right - left)
    return mask


def compare(frame, software, edges, stride=3):
    """Share of pixels within 2/255, the largest difference, and the pixels
    off the edges that differ more. frame has stride bytes a pixel (RGB or RGBA)."""
    within = off_edge = most = 0
    count = len(edges)
    for i in range(count):
        d = max(abs(frame[stride * i + c] - software[3 * i + c]) for c in range(3))
        most = max(most, d)
        if d <= 2:
            within += 1
        elif not edges[i]:
            off_edge += 1
    return 100.0 * within / count, most, off_edge
