"""`shardcast studio` in a real browser: Debian's Chromium, headless, driven
by Selenium through chromium-driver, with the network closed.

The page is loaded on a clip; every control is checked against what the
module registers (as `shardcast params` lists it); sliders are moved by
keyboard and a parameter keyed at two frames, waiting each time for the
new picture; the frame is exported and compared byte for byte with what
the render command copied from the page writes; the settings are saved
and loaded again; the whole clip is
rendered from the page into a file, with its progress; the studio refuses the
browser without the token and under another host name. The time from a
key press to the new pixels on screen is measured at 1280x720 and
1920x1080 and printed (not judged: timings depend on the machine). A
screenshot of the page goes to the path given when the page looks
different from the picture there.

    browser_test.py TOOL SCREENSHOT
"""
import base64
import json
import os
import re
import shlex
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from studio_process import Studio  # noqa: E402

TOOL = None
SCREENSHOT = None
KEY_PRESSES = 40

# How many pixels of two PNG pictures (base64) differ by more than a
# little, or -1 when their sizes differ; decoded by the browser itself.
COMPARE_PICTURES = '''
    const [first, second, done] = arguments;
    const load = (data) => new Promise((loaded) => {
      const image = new Image();
      image.onload = () => loaded(image);
      image.onerror = () => loaded(null);
      image.src = 'data:image/png;base64,' + data;
    });
    Promise.all([load(first), load(second)]).then(([a, b]) => {
      if (!a || !b || a.width !== b.width || a.height !== b.height) {
        done(-1);
        return;
      }
      const pixels = (image) => {
        const canvas = Object.assign(document.createElement('canvas'), {width: image.width, height: image.height});
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        return context.getImageData(0, 0, image.width, image.height).data;
      };
      const [p, q] = [pixels(a), pixels(b)];
      let differing = 0;
      for (let i = 0; i < p.length; i += 4) {
        if (Math.abs(p[i] - q[i]) + Math.abs(p[i + 1] - q[i + 1]) + Math.abs(p[i + 2] - q[i + 2]) > 48) {
          ++differing;
        }
      }
      done(differing);
    });'''


def browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which('chromium') or '/usr/bin/chromium'
    for argument in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--user-data-dir=' + tempfile.mkdtemp(prefix='shardcast-chromium-'), '--window-size=1440,960',
                     '--hide-scrollbars']:
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver') or '/usr/bin/chromedriver'),
                              options=options)
    driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
    driver.set_script_timeout(30)
    return driver


def wait_until(ready, seconds=10, step=0.02):
    """Polls `ready` until it is true or the time is up; the caller's own
    assertion then says what did not happen."""
    deadline = time.monotonic() + seconds
    while not ready() and time.monotonic() < deadline:
        time.sleep(step)


def downloaded(path):
    """Waits for a download to appear, then for the browser to finish
    writing it; its bytes."""
    wait_until(lambda: os.path.exists(path))
    time.sleep(0.2)
    with open(path, 'rb') as file:
        return file.read()


def float32(value):
    return struct.unpack('f', struct.pack('f', value))[0]


def registration():
    """`shardcast params`: option -> (name, group, range, default)."""
    listing = subprocess.run([TOOL, 'params'], capture_output=True, text=True, check=True).stdout.splitlines()
    rows = {}
    for line in listing[1:]:
        option, name, group, range_text, default, _ = re.split(r'\s{2,}', line, maxsplit=5)
        rows[option[2:]] = (name.strip('"'), '' if group == '-' else group, range_text, default)
    return rows


class Page:
    """The studio's page in the browser, and what waiting for it takes."""

    def __init__(self, driver, studio):
        self.driver = driver
        self.studio = studio
        driver.get(studio.address)
        self.wait_for_pictures(1)

    def renders(self):
        return int(self.driver.find_element(By.ID, 'picture').get_attribute('data-renders'))

    def wait_for_pictures(self, count):
        self.driver.execute_async_script('''
            const [count, done] = arguments;
            const canvas = document.getElementById('picture');
            (function look() { Number(canvas.dataset.renders) >= count ? done() : setTimeout(look, 2); })();''',
                                         count)

    def row(self, option):
        return self.driver.find_element(By.CSS_SELECTOR, f'.param[data-option="{option}"]')

    def settle(self):
        """Every change so far is on screen."""
        time.sleep(0.3)
        self.driver.execute_async_script('''
            const done = arguments[0];
            const canvas = document.getElementById('picture');
            (function look() { canvas.dataset.busy === 'false' ?
                requestAnimationFrame(() => requestAnimationFrame(done)) : setTimeout(look, 5); })();''')

    def press(self, option, key):
        """A key on the parameter's slider; the latency of its picture."""
        before = self.renders()
        seen = len(self.driver.execute_script('return window.studioLatencies'))
        self.row(option).find_element(By.CLASS_NAME, 'slider').send_keys(key)
        self.wait_for_pictures(before + 1)
        return self.driver.execute_script('return window.studioLatencies')[seen:][-1]

    def set_frame(self, frame):
        field = self.driver.find_element(By.ID, 'frame-number')
        field.clear()
        field.send_keys(str(frame), Keys.ENTER)
        self.settle()


def latencies(page, option):
    figures = [page.press(option, Keys.ARROW_RIGHT) for _ in range(KEY_PRESSES)]
    figures.sort()
    return statistics.median(figures), figures[int(len(figures) * 0.9) - 1], figures[-1]


class Browser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix='shardcast-browser-')
        cls.downloads = os.path.join(cls.folder, 'downloads')
        os.mkdir(cls.downloads)
        for name, size, length in [('clip.mp4', '1280x720', '2'), ('big.png', '1920x1080', None)]:
            frames = ['-t', length, '-c:v', 'libx264', '-pix_fmt', 'yuv420p'] if length else ['-frames:v', '1']
            subprocess.run(['ffmpeg', '-v', 'error', '-nostdin', '-f', 'lavfi', '-i',
                            f'testsrc2=size={size}:rate=25', *frames, name], cwd=cls.folder, check=True)
        cls.driver = browser(cls.downloads)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def start(self, *arguments):
        studio = Studio(TOOL, arguments, folder=self.folder)
        self.addCleanup(lambda: self.assertEqual(studio.stop()[0], 0))
        return studio, Page(self.driver, studio)

    def test_the_page_on_a_clip(self):
        studio, page = self.start('clip.mp4')
        self.check_controls(page)
        median, p90, worst = latencies(page, 'broken-bytes')
        print(f'\nlatency at 1280x720 over {KEY_PRESSES} key presses: median {median:.0f} ms, '
              f'p90 {p90:.0f} ms, worst {worst:.0f} ms', flush=True)
        self.key_and_export(page, studio)
        self.save_and_load(page)
        self.render_the_clip(page)
        self.screenshot(page)
        self.check_refusals(page, studio)

    def test_latency_at_1920x1080(self):
        _, page = self.start('big.png')
        median, p90, worst = latencies(page, 'broken-bytes')
        print(f'\nlatency at 1920x1080 over {KEY_PRESSES} key presses: median {median:.0f} ms, '
              f'p90 {p90:.0f} ms, worst {worst:.0f} ms', flush=True)

    def check_controls(self, page):
        registered = registration()
        rows = page.driver.find_elements(By.CSS_SELECTOR, '.param')
        self.assertEqual([row.get_attribute('data-option') for row in rows], list(registered))
        for row in rows:
            option = row.get_attribute('data-option')
            name, group, range_text, default = registered[option]
            with self.subTest(option=option):
                self.assertEqual(row.get_attribute('data-name'), name)
                self.assertEqual(row.get_attribute('data-group'), group)
                legend = row.find_elements(By.XPATH, './ancestor::fieldset/legend')
                self.assertEqual(legend[0].text if legend else '', group)
                self.assertEqual(row.find_element(By.TAG_NAME, 'label').text, name)
                description = row.find_element(By.CLASS_NAME, 'param-desc').text
                self.assertIn(f'{range_text}, default {default}', description)
                self.assertIn(f'--{option}', description)
                self.assertTrue(row.find_element(By.CLASS_NAME, 'reset').is_displayed())
                self.assertTrue(row.find_element(By.CLASS_NAME, 'key').is_displayed())
                if range_text == 'on/off':
                    self.assertEqual(row.find_element(By.CLASS_NAME, 'switch').is_selected(), default == 'on')
                    continue
                low, high = (float(v) for v in range_text.split(' .. '))
                slider = row.find_element(By.CLASS_NAME, 'slider')
                self.assertEqual(float32(float(slider.get_attribute('min'))), float32(low))
                self.assertEqual(float32(float(slider.get_attribute('max'))), float32(high))
                self.assertEqual(float32(float(row.get_attribute('data-default'))), float32(float(default)))
                self.assertEqual(float(row.find_element(By.CLASS_NAME, 'number').get_attribute('value')),
                                 float(default))

    def key_and_export(self, page, studio):
        driver = page.driver
        driver.find_element(By.CSS_SELECTOR, '#looks option[value="chroma-bleed"]').click()
        page.settle()
        self.assertEqual(page.row('qtc').find_element(By.CLASS_NAME, 'switch').is_selected(), True)
        page.set_frame(4)
        number = page.row('broken-bytes').find_element(By.CLASS_NAME, 'number')
        number.clear()
        number.send_keys('30')
        page.settle()
        page.row('broken-bytes').find_element(By.CLASS_NAME, 'key').click()
        page.set_frame(44)
        page.press('broken-bytes', Keys.PAGE_DOWN)  # 30 less a tenth of the range: 0, keyed here
        page.set_frame(14)
        # The value the server interpolated between the keys, as the command line does.
        self.assertEqual(number.get_attribute('value'), '22.5')
        driver.find_element(By.ID, 'copy-command').click()
        command_line = lambda: driver.find_element(By.ID, 'command').get_attribute('value')
        wait_until(lambda: '--frames 14' in command_line(), seconds=5, step=0.01)
        command = command_line()
        self.assertIn('--broken-bytes 30@4,0@44', command)
        self.assertIn('--frames 14', command)
        driver.find_element(By.ID, 'export').click()
        picture = downloaded(os.path.join(self.downloads, 'clip-14-glitched.png'))
        words = shlex.split(command)
        self.assertEqual(words[:2], ['shardcast', 'render'])
        check = os.path.join(self.folder, 'check')
        os.makedirs(check, exist_ok=True)
        words = [TOOL] + [os.path.join(self.folder, w) if w == 'clip.mp4' else w for w in words[1:]]
        subprocess.run(words, cwd=check, check=True, capture_output=True)
        with open(os.path.join(check, 'clip-14-glitched.png'), 'rb') as file:
            self.assertEqual(picture, file.read(), 'the exported frame is what the command renders')
        decoder = driver.find_element(By.ID, 'decoder-count').text
        self.assertRegex(decoder, r'^[\d,]+ lines$')
        self.assertNotEqual(decoder, '0 lines')

    def save_and_load(self, page):
        """The settings as a file the browser saves, and the same file
        loaded again after a reset."""
        driver = page.driver
        driver.find_element(By.ID, 'save-settings').click()
        saved = os.path.join(self.downloads, 'shardcast-settings.toml')
        text = downloaded(saved).decode()
        self.assertIn('\nbroken-bytes = "30@4,0@44" ', text)
        self.assertIn('\nqtc = true ', text)
        driver.find_element(By.ID, 'reset-all').click()
        page.settle()
        self.assertFalse(page.row('qtc').find_element(By.CLASS_NAME, 'switch').is_selected())
        driver.find_element(By.ID, 'load-settings').send_keys(saved)
        wait_until(lambda: page.row('qtc').find_element(By.CLASS_NAME, 'switch').is_selected())
        page.settle()
        self.assertTrue(page.row('qtc').find_element(By.CLASS_NAME, 'switch').is_selected())
        self.assertEqual(page.row('broken-bytes').find_element(By.CLASS_NAME, 'number').get_attribute('value'),
                         '22.5')
        self.assertIn('keyed', page.row('broken-bytes').find_element(By.CLASS_NAME, 'key').get_attribute('class'))

    def render_the_clip(self, page):
        """Every frame into a file the studio names, with the progress
        shown; the page keeps working meanwhile."""
        driver = page.driver
        driver.find_element(By.CSS_SELECTOR, '#clip-format option[value="mkv"]').click()
        driver.find_element(By.ID, 'clip-start').click()
        page.press('seed', Keys.ARROW_RIGHT)
        page.press('seed', Keys.ARROW_LEFT)
        clip_state = lambda: driver.find_element(By.ID, 'clip-state').text
        wait_until(lambda: clip_state().startswith(('written', 'failed', 'stopped')), seconds=60, step=0.05)
        state = clip_state()
        output = os.path.join(self.folder, 'clip-glitched.mkv')
        self.assertEqual(state, f'written: 50/50 frames \u2192 {output}')
        self.assertEqual(driver.find_element(By.ID, 'clip-progress').get_attribute('value'), '50')
        self.assertIn('shardcast: render: 50 frames', driver.find_element(By.ID, 'clip-message').text)
        frames = subprocess.run(['ffprobe', '-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
                                 'stream=nb_read_frames', '-of', 'csv=p=0', output], capture_output=True, text=True)
        self.assertEqual(frames.stdout.strip(), '50')

    def screenshot(self, page):
        page.set_frame(36)
        page.driver.find_element(By.CSS_SELECTOR, 'input[name=compare][value=split]').click()
        page.driver.execute_script('document.getElementById("controls").scrollTop = 0; document.activeElement.blur();')
        page.settle()
        time.sleep(0.5)  # the original frame, asked for with the split
        shot = page.driver.get_screenshot_as_png()
        if os.path.exists(SCREENSHOT):
            with open(SCREENSHOT, 'rb') as file:
                differing = page.driver.execute_async_script(COMPARE_PICTURES, base64.b64encode(file.read()).decode(),
                                                             base64.b64encode(shot).decode())
            # Text is drawn a little differently from run to run; only a
            # change of the page itself replaces the picture.
            if differing <= 100:
                return
        with open(SCREENSHOT + '.part', 'wb') as file:
            file.write(shot)
        os.replace(SCREENSHOT + '.part', SCREENSHOT)

    def check_refusals(self, page, studio):
        status = page.driver.execute_async_script(
            'fetch("/api/session").then((answer) => arguments[0](answer.status));')
        self.assertEqual(status, 403)
        # A name of the browser's own for the loopback address, as a page
        # that pointed its name there (DNS rebinding) would use it.
        page.driver.get(f'http://rebound.localhost:{studio.port}/?token={studio.token}')
        body = page.driver.find_element(By.TAG_NAME, 'body').text
        self.assertIn('the Host header must name this server', json.loads(body)['error'])


if __name__ == '__main__':
    TOOL = os.path.abspath(sys.argv.pop(1))
    SCREENSHOT = sys.argv.pop(1)
    unittest.main(verbosity=2)
