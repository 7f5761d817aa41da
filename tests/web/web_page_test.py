"""The web build in a real browser: headless Chromium (WebGL2 on SwiftShader,
the CPU) driven through chromedriver's WebDriver protocol, the site served
on 127.0.0.1 by this script.

- ?at=20440 finishes with exit code 0, and its picture matches the software
  device's frame at 20440 ms as the OpenGL device must: at least 99.5% of
  the pixels within 2/255 a channel, and no more than one in 10,000 off the
  triangle edges (the pixels whose software picture differs between one and
  four samples, widened by one);
- with a device pixel ratio of 2, the canvas's drawing buffer is 2048 x 1536
  and its picture the software device's at twice the size within the same
  bounds; box-filtered down by 2, the 1x frame within looser ones;
- played in real time after a click, the page reaches its first frame and
  keeps drawing; Escape ends the program with exit code 0;
- ?t=40 starts at 40 s; Space pauses (the frame count stops) and plays on;
  the seek bar and the arrow keys seek, and a seek back lands on the frame
  ?at= shows; a frame step; the full-screen button asks for full screen,
  the link button's link holds the time, the buttons have labels; a hidden
  page asks for no frames; the loop starts again at the timeline's end;
- a WebGL context the browser takes away (WEBGL_lose_context) shows the
  state 'lost' with a line of text, and once given back the page draws
  again; the frame at 20440 ms with the context lost and given back on the
  way (?loseAt=) still matches the software device's; a context that does
  not come back is said to, and the page then uses no processor;
- the browser's console has no error;
- the ending text stands on a dark panel of its own, readable over any picture;
- a bad ?at= and a browser without WebGL2 get a line of text saying so, and
  the page opened from disk (file://) says within 2 s why it cannot start
  and what to do.

Nothing is left running: the browser, its driver and the server are stopped
whatever happens. Each failure is one line; all are listed.
"""
import argparse
import base64
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import frame_compare  # noqa: E402

WIDTH, HEIGHT = 1024, 768
AT_MS = 20440

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, '.wasm': 'application/wasm',
                      '.js': 'text/javascript'}

    def log_message(self, *args):
        pass


def serve(site):
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(QuietHandler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Browser:
    """One chromedriver and one headless Chromium session, over plain HTTP."""

    def __init__(self, profile, extra_arguments=()):
        self.port = free_port()
        # A process group of its own, so that the browser it starts goes with it.
        self.driver = subprocess.Popen(['chromedriver', f'--port={self.port}'], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, start_new_session=True)
        self.session = None
        deadline = time.time() + 30
        while True:
            try:
                self.call('GET', '/status')
                break
            except (urllib.error.URLError, ConnectionError):
                if time.time() > deadline or self.driver.poll() is not None:
                    raise RuntimeError('chromedriver did not start')
                time.sleep(0.1)
        # WebGL2 on the CPU (SwiftShader); as root without a sandbox; no
        # connection out of this machine; shared memory in files, where a
        # container's /dev/shm is small.
        arguments = ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                     '--window-size=1024,768', f'--user-data-dir={profile}', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--disable-default-apps', '--disable-quic', '--disable-dev-shm-usage', *extra_arguments]
        capabilities = {'browserName': 'chrome',
                        'goog:chromeOptions': {'binary': shutil.which('chromium') or '/usr/bin/chromium',
                                               'args': arguments},
                        'goog:loggingPrefs': {'browser': 'ALL'}}
        reply = self.call('POST', '/session', {'capabilities': {'alwaysMatch': capabilities}})
        self.session = reply['sessionId']

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(f'http://127.0.0.1:{self.port}{path}', data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        try:
            with urllib.request.urlopen(request, timeout=120) as response:
                return json.loads(response.read())['value']
        except urllib.error.HTTPError as error:
            raise RuntimeError(f'{method} {path}: {error.read().decode(errors="replace")[:300]}') from None

    def command(self, method, path, body=None):
        return self.call(method, f'/session/{self.session}{path}', body)

    def open(self, url):
        self.command('POST', '/url', {'url': url})

    def show_as(self, width, height, ratio):
        """The page's viewport exactly width x height CSS pixels at a device
        pixel ratio, as a screen of that density shows it (the window's own
        size leaves less to the page)."""
        self.command('POST', '/goog/cdp/execute', {'cmd': 'Emulation.setDeviceMetricsOverride', 'params': {
            'width': width, 'height': height, 'deviceScaleFactor': ratio, 'mobile': False}})

    def run(self, script, *args):
        return self.command('POST', '/execute/sync', {'script': script, 'args': list(args)})

    def wait_for(self, condition, seconds, what):
        """Polls a script expression until it is true; the last value."""
        deadline = time.time() + seconds
        while True:
            value = self.run(f'return {condition};')
            if value or time.time() > deadline:
                check(bool(value), f'{what}: not within {seconds} s (page: {self.run("return window.demo;")})')
                return value
            time.sleep(0.1)

    def click(self, selector):
        element = self.command('POST', '/element', {'using': 'css selector', 'value': selector})
        element_id = next(iter(element.values()))
        self.command('POST', f'/element/{element_id}/click', {})

    def press(self, key):
        """One key pressed and let go: a character, or WebDriver's code for a named key."""
        self.command('POST', '/actions', {'actions': [{'type': 'key', 'id': 'keyboard', 'actions': [
            {'type': 'keyDown', 'value': key}, {'type': 'keyUp', 'value': key}]}]})

    def press_escape(self):
        self.press('\ue00c')  # WebDriver's Escape

    def console(self):
        return self.command('POST', '/se/log', {'type': 'browser'})

    def screenshot(self, path):
        with open(path, 'wb') as out:
            out.write(base64.b64decode(self.command('GET', '/screenshot')))

    def close(self):
        try:
            if self.session is not None:
                self.command('DELETE', '')
        except (RuntimeError, urllib.error.URLError, ConnectionError):
            pass
        try:
            os.killpg(self.driver.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.driver.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(self.driver.pid, signal.SIGKILL)
            self.driver.wait()


def software_frame(demokit, work, multisample, scale=1):
    """The software device's frame at AT_MS as RGB bytes, top row first."""
    path = os.path.join(work, f'software-{"4" if multisample else "1"}-x{scale}.png')
    options = ([] if multisample else ['--no-multisample']) + ['--scale', str(scale)]
    subprocess.run([demokit, 'record', '--at', str(AT_MS), '--out', path, *options], check=True,
                   capture_output=True, timeout=300)
    return frame_compare.read_rgb(path)


def check_against_software(rgb, demokit, work, scale, what, within_percent=99.5, off_edges_share=1e-4):
    """The picture (RGB, the software device's size at scale) against the software device's frame."""
    width, height = WIDTH * scale, HEIGHT * scale
    multi = software_frame(demokit, work, True, scale)
    single = software_frame(demokit, work, False, scale)
    edges = frame_compare.edge_mask(single, multi, width, height)
    percent, most, off_edge = frame_compare.compare(rgb, multi, edges)
    print(f'web: {what} against the software device at {width} x {height}: {percent:.3f}% within 2/255, '
          f'largest difference {most}, {off_edge} off the edges')
    check(percent >= within_percent, f'{what}: only {percent:.3f}% of the pixels within 2/255')
    check(off_edge <= width * height * off_edges_share, f'{what}: {off_edge} differing pixels off the edges')


def check_frame_at(browser, base, demokit, work, extra='', ratio=1):
    started = time.time()
    browser.open(f'{base}/?at={AT_MS}{extra}')
    if not browser.wait_for("['finished', 'failed'].includes(window.demo.state)", 180, f'?at={AT_MS} finishing'):
        return
    page = browser.run('return window.demo;')
    print(f'web: ?at={AT_MS}{extra} finished in {time.time() - started:.1f} s: {page}')
    check(page['state'] == 'finished' and page['exitCode'] == 0, f'?at={AT_MS}{extra}: ended {page}')
    check(page['frames'] == 1, f'?at={AT_MS}: {page["frames"]} frames shown, expected 1')
    if 'loseAt' in extra:
        restored = browser.run('return window.demo.restorations;')
        check(restored == 1, f'?at={AT_MS}{extra}: the context was given back {restored} times, expected once')
    pixels = browser.run('return window.demo.pixels();')
    # The drawing buffer is the picture's size on the screen in device pixels.
    if not check((pixels['width'], pixels['height']) == (WIDTH * ratio, HEIGHT * ratio),
                 f'at a pixel ratio of {ratio} the canvas is {pixels["width"]} x {pixels["height"]}'):
        return
    web_rgba = base64.b64decode(pixels['rgba'])
    with open(os.path.join(work, f'web-{AT_MS}-x{ratio}.rgba'), 'wb') as out:
        out.write(web_rgba)
    rgb = frame_compare.rgb_of_rgba(web_rgba)
    what = f'?at={AT_MS}{extra} at a pixel ratio of {ratio}'
    if ratio == 1:
        check_against_software(rgb, demokit, work, 1, what)
        return
    # Drawn at the ratio, it is the software device's frame at that scale as
    # the OpenGL device must be; box-filtered down, the 1x frame but for
    # what a finer sampling shows (textures read at four times the points,
    # edges at sixteen samples a pixel): within looser bounds.
    check_against_software(rgb, demokit, work, ratio, what)
    check_against_software(frame_compare.halved(rgb, WIDTH * ratio, HEIGHT * ratio), demokit, work, 1,
                           f'{what}, box-filtered to 1x', 99.0, 2e-3)


def check_real_time(browser, base, work):
    browser.open(f'{base}/')
    if not browser.wait_for("window.demo.state === 'ready'", 60, 'the page getting ready'):
        return
    browser.click('#notice')
    started = time.time()
    if not browser.wait_for('window.demo.frames >= 1', 120, 'the first frame'):
        return
    print(f'web: first frame {time.time() - started:.1f} s after the click')
    time.sleep(5)
    page = browser.run('return window.demo;')
    print(f'web: {page["frames"]} frames shown, {page["fps"]} in the last second (SwiftShader); the program took '
          f'{page["workMs"]:.1f} ms a frame (median), WebGL calls included')
    check(page['state'] == 'running', f'real time: {page}')
    check(page['fps'] >= 1, f'real time: the page stopped drawing ({page})')
    browser.screenshot(os.path.join(work, 'web-playing.png'))
    browser.press_escape()
    if browser.wait_for("window.demo.state === 'finished'", 30, 'Escape ending the program'):
        page = browser.run('return window.demo;')
        check(page['exitCode'] == 0, f'Escape: exit code {page["exitCode"]}')
        # The ending words sit on a dark panel of their own over the last frame.
        panel = browser.run("const style = getComputedStyle(document.getElementById('notice-text'));"
                            "return [style.backgroundColor, style.color];")
        alpha = panel[0].split(',')[3].strip(' )') if panel[0].startswith('rgba') else '1'
        check(float(alpha) >= 0.8, f'the ending text\'s panel is {panel[0]}: not dark enough over the picture')


LOSE = "window.loser = document.getElementById('screen').getContext('webgl2').getExtension('WEBGL_lose_context');" \
       "window.loser.loseContext();"


def start_playing(browser, base):
    browser.open(f'{base}/')
    if not browser.wait_for("window.demo.state === 'ready'", 60, 'the page getting ready'):
        return False
    browser.click('#notice')
    return browser.wait_for('window.demo.frames >= 30', 60, 'thirty frames')


def task_seconds(browser):
    """The page's processor time so far (Chromium's TaskDuration metric)."""
    metrics = browser.command('POST', '/goog/cdp/execute', {'cmd': 'Performance.getMetrics', 'params': {}})
    return next(m['value'] for m in metrics['metrics'] if m['name'] == 'TaskDuration')


def check_context_loss(browser, base):
    if not start_playing(browser, base):
        return
    browser.run(LOSE)
    if browser.wait_for("window.demo.state === 'lost'", 10, 'the page telling the context lost'):
        page = browser.run('return window.demo;')
        check('waiting' in page['message'], f'lost: the page says {page["message"]!r}')
        frames = page['frames']
        time.sleep(0.5)
        check(browser.run('return window.demo.frames;') == frames, 'lost: frames still counted')
    browser.run('window.loser.restoreContext();')
    if browser.wait_for("window.demo.state === 'running'", 10, 'the page running again once the context is back'):
        frames = browser.run('return window.demo.frames;')
        time.sleep(1.5)
        page = browser.run('return window.demo;')
        print(f'web: context lost and given back: {page["frames"] - frames} frames in 1.5 s after')
        check(page['frames'] >= frames + 30, f'given back: only {page["frames"] - frames} frames in 1.5 s')
    # Lost for good: said so, and no processor used while the page waits.
    if not start_playing(browser, base):
        return
    browser.command('POST', '/goog/cdp/execute', {'cmd': 'Performance.enable', 'params': {}})
    browser.run(LOSE)
    if browser.wait_for("window.demo.message.includes('did not come back')", 10, 'a context lost for good told'):
        frames = browser.run('return window.demo.frames;')
        before = task_seconds(browser)
        time.sleep(2)
        used = task_seconds(browser) - before
        print(f'web: context lost for good: {used * 1000:.0f} ms of the page\'s processor time in 2 s')
        check(browser.run('return window.demo.frames;') == frames, 'lost for good: frames still counted')
        check(used < 0.2, f'lost for good: the page used {used:.2f} s of processor time in 2 s')


RIGHT = '\ue014'  # WebDriver's arrow right


def check_controls(browser, base, demokit, work):
    """?t= starts there; Space pauses (the frame count stops) and plays on;
    the seek bar and the arrows seek, exactly; the buttons do what they say;
    a hidden page asks for no frames; the loop starts again."""
    browser.open(f'{base}/?t=40')
    if not browser.wait_for("window.demo.state === 'ready'", 60, '?t=40: the page getting ready'):
        return
    text = browser.run("return document.getElementById('notice').textContent;")
    check('0:40' in text, f'?t=40: the page offers {text!r}')
    browser.click('#notice')
    started = time.time()
    if not browser.wait_for('window.demo.frames >= 1', 120, '?t=40: the first frame'):
        return
    first = browser.run('return window.demo.elapsedMs;')
    print(f'web: ?t=40 showed its first frame at {first} ms, {time.time() - started:.1f} s after the click')
    check(40000 <= first < 40500, f'?t=40: the first frame is at {first} ms')
    browser.press(' ')
    if browser.wait_for("window.demo.state === 'paused'", 10, 'Space pausing'):
        time.sleep(0.3)
        page = browser.run('return window.demo;')
        time.sleep(1)
        later = browser.run('return window.demo;')
        check(later['frames'] == page['frames'], f'paused: {later["frames"] - page["frames"]} frames in 1 s')
        check(later['elapsedMs'] == page['elapsedMs'], 'paused: the time moved')
    # The seek bar, dragged and let go while paused: the frame at that time,
    # exactly the one ?at= shows.
    browser.run(f"const bar = document.getElementById('seek'); bar.value = '{AT_MS}';"
                "bar.dispatchEvent(new Event('input')); bar.dispatchEvent(new Event('change'));")
    started = time.time()
    if browser.wait_for(f"window.demo.state === 'paused' && window.demo.elapsedMs === {AT_MS}", 60,
                        f'the seek bar seeking to {AT_MS} ms'):
        print(f'web: the seek bar went back to {AT_MS} ms in {time.time() - started:.1f} s, paused')
        pixels = browser.run('return window.demo.pixels();')
        if check((pixels['width'], pixels['height']) == (WIDTH, HEIGHT), f'seek: the canvas is {pixels["width"]} x '
                 f'{pixels["height"]}'):
            rgb = frame_compare.rgb_of_rgba(base64.b64decode(pixels['rgba']))
            check_against_software(rgb, demokit, work, 1, f'a seek back to {AT_MS} ms, paused')
    browser.press(RIGHT)
    if browser.wait_for(f"window.demo.state === 'paused' && window.demo.elapsedMs === {AT_MS + 5000}", 60,
                        'Right seeking 5 s on'):
        print(f'web: Right went on to {AT_MS + 5000} ms, paused')
    # A frame step: to the next retrace of a 60 Hz display after 25,440 ms.
    browser.press('.')
    if browser.wait_for(f"window.demo.state === 'paused' && window.demo.elapsedMs > {AT_MS + 5000}", 60,
                        'a frame step'):
        stepped = browser.run('return window.demo.elapsedMs;')
        check(stepped == (((AT_MS + 5000) * 60 // 1000) + 1) * 1000 // 60,
              f'. stepped from {AT_MS + 5000} ms to {stepped} ms')
    browser.press(' ')
    if browser.wait_for("window.demo.state === 'running'", 10, 'Space playing on'):
        frames = browser.run('return window.demo.frames;')
        time.sleep(1)
        check(browser.run('return window.demo.frames;') > frames, 'played on: no new frames')
    # The buttons: full screen asked for; the link holds the time.
    browser.run("document.body.dispatchEvent(new PointerEvent('pointermove', {bubbles: true}));")
    # (The click that started the run asked for full screen; the button
    # leaves it, and asks again.)
    whole = browser.run('return document.fullscreenElement !== null;')
    browser.click('#fullscreen')
    browser.wait_for(f"(document.fullscreenElement !== null) === {'false' if whole else 'true'}", 5,
                     'the full-screen button switching')
    asked = browser.run('return window.demo.fullScreenAsked;')
    browser.click('#fullscreen')
    check(browser.run('return window.demo.fullScreenAsked;') > asked or not whole,
          'the full-screen button asked for nothing')
    print(f'web: the full-screen button: full screen {whole}, then {not whole}, then asked again')
    browser.click('#link')
    link, elapsed = browser.run('return [window.demo.link, window.demo.elapsedMs];')
    seconds = float(link.split('t=')[1]) if 't=' in link else -1
    check(abs(seconds * 1000 - elapsed) < 1000, f'the link {link!r} is not at {elapsed} ms')
    labels = browser.run("return [...document.querySelectorAll('#controls button')]"
                         ".map(b => b.tagName + ':' + b.textContent.trim());")
    check(all(label.startswith('BUTTON:') and len(label) > 8 for label in labels), f'the controls: {labels}')
    print(f'web: controls {labels}; the link {link!r}')
    # A hidden page asks for no frames.
    browser.run("Object.defineProperty(document, 'visibilityState', {value: 'hidden', configurable: true});"
                "document.dispatchEvent(new Event('visibilitychange'));")
    if browser.wait_for("window.demo.state === 'paused'", 10, 'a hidden page pausing'):
        frames = browser.run('return window.demo.frames;')
        time.sleep(1)
        check(browser.run('return window.demo.frames;') == frames, 'hidden: frames still asked for')
    browser.run("Object.defineProperty(document, 'visibilityState', {value: 'visible', configurable: true});"
                "document.dispatchEvent(new Event('visibilitychange'));")
    browser.wait_for("window.demo.state === 'running'", 10, 'a page shown again playing on')
    # The loop: past the timeline's end, the run starts again from the beginning.
    browser.click('#loop')
    browser.run("const bar = document.getElementById('seek'); bar.value = '81500';"
                "bar.dispatchEvent(new Event('change'));")
    if browser.wait_for("window.demo.elapsedMs >= 81500", 60, 'a seek to 81.5 s'):
        if browser.wait_for("window.demo.state === 'running' && window.demo.elapsedMs < 5000", 60,
                            'the loop starting again'):
            print('web: looping, the run began again after the timeline ended')
    browser.press_escape()
    browser.wait_for("window.demo.state === 'finished'", 30, 'Escape ending the program after the seeks')


def check_opened_from_disk(browser, site):
    """A page opened from disk cannot load its program; it must say so in
    words on the screen, at once, rather than "Loading..." for ever."""
    started = time.time()
    browser.open('file://' + os.path.abspath(os.path.join(site, 'index.html')))
    if browser.wait_for("window.demo && window.demo.state === 'failed'", 2, 'the page opened from disk saying why'):
        text = browser.run("return document.getElementById('notice').textContent;")
        print(f'web: opened from disk, the page says in {time.time() - started:.1f} s: {text!r}')
        check('web server' in text and 'http.server' in text, f'opened from disk, the page says {text!r}')


def check_refusals(browser, base, profile):
    browser.open(f'{base}/?at=soon')
    if browser.wait_for("window.demo.state === 'failed'", 30, 'a bad ?at= refused'):
        text = browser.run("return document.getElementById('notice').textContent;")
        check('milliseconds' in text, f'a bad ?at= says {text!r}')
    without = Browser(profile, ['--disable-webgl'])
    try:
        without.open(f'{base}/')
        if without.wait_for("window.demo.state === 'failed'", 30, 'a browser without WebGL2 told'):
            text = without.run("return document.getElementById('notice').textContent;")
            check('WebGL2' in text, f'without WebGL2 the page says {text!r}')
    finally:
        without.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--site', required=True, help='the web build\'s site folder')
    parser.add_argument('--demokit', required=True, help='the native demokit, for the software device\'s frame')
    parser.add_argument('--work', required=True, help='a folder for the frames and the screenshot')
    args = parser.parse_args()
    for name in ('index.html', 'demo.js', 'demo.wasm'):
        if not os.path.isfile(os.path.join(args.site, name)):
            print(f'web: {args.site}/{name} is missing: build the web version first (scripts/web-build.sh)',
                  file=sys.stderr)
            return 1
    os.makedirs(args.work, exist_ok=True)
    server = serve(args.site)
    base = f'http://127.0.0.1:{server.server_address[1]}'
    profile = tempfile.mkdtemp(prefix='web-test-profile-')
    browser = None
    try:
        browser = Browser(profile)
        browser.show_as(WIDTH, HEIGHT, 1)
        check_frame_at(browser, base, args.demokit, args.work)
        check_frame_at(browser, base, args.demokit, args.work, '&loseAt=5000')
        check_real_time(browser, base, args.work)
        check_context_loss(browser, base)
        check_controls(browser, base, args.demokit, args.work)
        console = browser.console()
        for entry in console[:20]:
            print(f'web: console {entry.get("level")}: {entry.get("message")}')
        errors = [entry['message'] for entry in console if entry.get('level') == 'SEVERE']
        check(not errors, f'console errors: {errors[:5]}')
        check_refusals(browser, base, os.path.join(profile, 'without-webgl'))
        check_opened_from_disk(browser, args.site)
        browser.show_as(WIDTH, HEIGHT, 2)
        check_frame_at(browser, base, args.demokit, args.work, ratio=2)
    finally:
        if browser is not None:
            browser.close()
        server.shutdown()
        server.server_close()
        shutil.rmtree(profile, ignore_errors=True)
    for failure in failures:
        print(f'FAILED: {failure}', file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
