"""The page's frame rate as a viewer gets it: headless Chromium on
SwiftShader (a browser without a fast GPU), the demo played in real time
after a click, window.demo read twice a second for the first seconds.
Prints the median frame rate (frames in the last second), the median of
workMs (the program's own time a frame, WebGL calls included) and the draws
of a frame; --json for one object. A benchmark, not a test: nothing fails.

    python3 tests/web/web_page_bench.py --site build/web/site [--size 1024x768] [--seconds 25]
"""
import argparse
import json
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_page_test import Browser, serve  # noqa: E402


def measure(site, width, height, seconds):
    server = serve(site)
    profile = tempfile.mkdtemp(prefix='web-bench-profile-')
    browser = Browser(profile)
    try:
        browser.open(f'http://127.0.0.1:{server.server_address[1]}/')
        # The page's own viewport at the size asked for (a headless window
        # keeps its default size otherwise).
        browser.show_as(width, height, 1)
        deadline = time.time() + 60
        while browser.run('return window.demo.state;') != 'ready':
            if time.time() > deadline:
                raise RuntimeError('the page did not get ready')
            time.sleep(0.1)
        browser.click('#notice')
        started = time.time()
        samples = []
        while time.time() - started < seconds:
            time.sleep(0.5)
            page = browser.run('return window.demo;')
            if time.time() - started >= 1.0 and page['state'] == 'running':  # a whole second of frames
                samples.append(page)
            print(f'\rweb bench: {time.time() - started:4.1f} s, {page["fps"]} fps, {page["workMs"]:.1f} ms',
                  end='', file=sys.stderr, flush=True)
        print(file=sys.stderr)
        canvas = browser.run('return [window.innerWidth, window.innerHeight];')
    finally:
        browser.close()
        server.shutdown()
        server.server_close()
        shutil.rmtree(profile, ignore_errors=True)
    if not samples:
        raise RuntimeError('no frames while running')
    return {'window': f'{width}x{height}', 'viewport': f'{canvas[0]}x{canvas[1]}', 'seconds': seconds,
            'samples': len(samples),
            'fpsMedian': statistics.median(s['fps'] for s in samples),
            'fpsMin': min(s['fps'] for s in samples),
            'workMsMedian': statistics.median(s['workMs'] for s in samples),
            'workMsMax': max(s['workMs'] for s in samples),
            'draws': samples[-1].get('draws')}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--site', required=True, help='the web build\'s site folder')
    parser.add_argument('--size', default='1024x768', help='the browser window, WxH (default 1024x768)')
    parser.add_argument('--seconds', type=float, default=25, help='how long to play (default 25)')
    parser.add_argument('--json', action='store_true', help='one JSON object')
    args = parser.parse_args()
    try:
        width, height = (int(v) for v in args.size.split('x'))
        figures = measure(args.site, width, height, args.seconds)
    except (ValueError, RuntimeError) as error:
        print(f'web bench: {error}', file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps(figures))
    else:
        print(f'web page, viewport {figures["viewport"]}, first '
              f'{figures["seconds"]:g} s: {figures["fpsMedian"]:g} fps median (lowest {figures["fpsMin"]}), '
              f'workMs {figures["workMsMedian"]:.1f} median (highest {figures["workMsMax"]:.1f}); '
              f'draws a frame: {figures["draws"]}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
