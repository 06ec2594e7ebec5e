"""`shardcast studio` under hostile requests: without the token or with a
wrong one, another Host (DNS rebinding), another page's Origin, oversized
and malformed bodies, paths that try to leave the page, values out of
range, the wrong methods and body types, and requests that are no HTTP.
Each gets a 4xx and exactly one line on standard error, and the studio
goes on serving; it listens on loopback only and stops cleanly.

    hostile_requests_test.py TOOL
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from studio_process import Studio, listening_addresses  # noqa: E402

TOOL = None
JSON = {'Content-Type': 'application/json'}


def make_sequence(folder):
    subprocess.run([TOOL, 'render', '--sample-size', '64x48', '-o', 'in_%d.png', '--frames', '1-3', '-q'],
                   cwd=folder, check=True)


class HostileRequests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix='shardcast-hostile-')
        make_sequence(cls.folder)
        cls.studio = Studio(TOOL, ['in_%d.png'], folder=cls.folder)
        cls.studio.new_lines(wait_for=1)  # the line that gives the address

    @classmethod
    def tearDownClass(cls):
        code, _ = cls.studio.stop()
        assert code == 0, code

    def refused(self, status, *request, **options):
        """The request gets `status` and {"error": ...}, and the studio
        writes one line about it."""
        got, headers, body = self.studio.request(*request, **options)
        self.assertEqual(got, status, f'{request}: {body[:300]!r}')
        self.assertIn('error', json.loads(body), body)
        lines = self.studio.new_lines(wait_for=1)
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith(f'shardcast: studio: {status} '), lines)
        return json.loads(body)['error'], headers

    def still_serving(self):
        status, _, body = self.studio.request('POST', '/api/render', '{"frame": 2, "values": {"broken-bytes": "3"}}',
                                              JSON)
        self.assertEqual(status, 200)
        self.assertEqual(self.studio.new_lines(), [])
        return body

    def test_refuses_requests_without_the_right_token(self):
        wrong = self.studio.token[:-1] + ('0' if self.studio.token[-1] != '0' else '1')
        for request, options in [
            (('GET', '/'), {'token': False}),
            (('GET', '/api/session'), {'token': False}),
            (('GET', '/api/session'), {'token': wrong}),
            (('GET', '/api/session'), {'token': self.studio.token + '0'}),
            (('GET', '/api/session'), {'token': ''}),
            (('GET', f'/?token={wrong}'), {'token': False}),
            (('POST', '/api/render', '{"frame": 1, "values": {}}', JSON), {'token': False}),
        ]:
            with self.subTest(request=request, options=options):
                error, _ = self.refused(403, *request, **options)
                self.assertIn('token', error)
        status, headers, body = self.studio.request('GET', f'/?token={self.studio.token}', token=False)
        self.assertEqual(status, 200)
        self.assertIn(b'Shardcast studio', body)
        self.assertIn("default-src 'none'", headers['content-security-policy'])
        self.still_serving()

    def test_refuses_another_host_or_another_pages_origin(self):
        port = self.studio.port
        for host in [f'evil.example:{port}', f'127.0.0.1:{port + 1}', f'localhost.evil.example:{port}',
                     '127.0.0.1', f'127.0.0.2:{port}', '']:
            with self.subTest(host=host):
                error, _ = self.refused(403, 'GET', '/api/session', host=host)
                self.assertIn('Host', error)
        self.refused(403, 'GET', '/api/session', headers={'Host': f'127.0.0.1:{port}\r\nHost: evil.example'})
        for origin in ['http://evil.example', 'null', f'http://evil.example:{port}', f'https://127.0.0.1:{port}']:
            with self.subTest(origin=origin):
                error, _ = self.refused(403, 'POST', '/api/render', '{"frame": 1, "values": {}}',
                                        {**JSON, 'Origin': origin})
                self.assertIn('other pages', error)
        for host in [f'localhost:{port}', f'LOCALHOST:{port}', f'[::1]:{port}']:
            status, _, _ = self.studio.request('GET', '/api/session', host=host,
                                               headers={'Origin': f'http://{host.lower()}'})
            self.assertEqual(status, 200, host)
        self.still_serving()

    def test_caps_request_bodies(self):
        big = json.dumps({'frame': 1, 'values': {'broken-bytes': '1' * (300 << 10)}})
        error, _ = self.refused(413, 'POST', '/api/render', big, JSON)
        self.assertIn('larger than', error)
        # A length that is claimed, never sent: refused on the claim.
        self.refused(413, 'POST', '/api/render', None, {**JSON, 'Content-Length': str(10 ** 12)})
        # A body in chunks, or one that runs to the end of the connection,
        # declares no length to cap.
        chunks = b''.join(b'%x\r\n%s\r\n' % (4 << 10, b'x' * (4 << 10)) for _ in range(100)) + b'0\r\n\r\n'
        self.refused(411, 'POST', '/api/settings/load', chunks,
                     {'Content-Type': 'text/plain', 'Transfer-Encoding': 'chunked', 'Content-Length': None})
        self.refused(411, 'POST', '/api/settings/load', None, {'Content-Type': 'text/plain'})
        self.still_serving()

    def test_refuses_malformed_json(self):
        for body in ['{', '[]', 'null', '"frame"', '{"frame": 1, "values": [1]}', '{"frame": "1"}',
                     '[' * 100000, '{"frame": 1, "values": {"seed": {"$gt": 1}}}', b'{"frame": 1, "\xff": 2}',
                     '{"frame": 1, "values": {"seed": 1e999}}']:
            with self.subTest(body=body[:40]):
                self.refused(400, 'POST', '/api/render', body, JSON)
        self.still_serving()

    def test_never_opens_a_path_the_page_names(self):
        for path in ['/../../../../etc/passwd', '/%2e%2e/%2e%2e/%2e%2e/etc/passwd', '/studio.js/../../../etc/passwd',
                     '//etc/passwd', '/etc/passwd', '/index.html', '/studio-page/studio.js', '/looks/meltdown.toml',
                     '/%2fetc%2fpasswd']:
            with self.subTest(path=path):
                status, _, body = self.studio.request('GET', path)
                self.assertIn(status, (400, 404))
                self.assertNotIn(b'root:', body)
                self.assertEqual(len(self.studio.new_lines(wait_for=1)), 1)
        for name in ['../../../../etc/passwd', '/etc/passwd', '..%2f..%2fetc%2fpasswd', 'meltdown.toml', '']:
            with self.subTest(look=name):
                self.refused(404, 'GET', '/api/look?name=' + name)
        # A loaded file's name is only ever a word in a message.
        status, _, body = self.studio.request('POST', '/api/settings/load?name=/etc/passwd', 'seed = 0',
                                              {'Content-Type': 'text/plain'})
        self.assertEqual(status, 400)
        self.assertNotIn(b'root:', body)
        self.assertIn('/etc/passwd:1: seed', json.loads(body)['error'])
        self.studio.new_lines(wait_for=1)
        for format in ['../../x', '/tmp/x.mp4', 'mp4; rm -rf /', '']:
            with self.subTest(format=format):
                self.refused(400, 'POST', '/api/clip', json.dumps({'values': {}, 'format': format}), JSON)
        self.assertEqual(sorted(os.listdir(self.folder)), ['in_1.png', 'in_2.png', 'in_3.png'])
        self.still_serving()

    def test_refuses_values_and_frames_out_of_range(self):
        for values, frame, words in [
            ({'broken-bytes': '20000'}, 1, 'must lie between 0 and 10000'),
            ({'broken-bytes': 'nan'}, 1, 'must lie between'),
            ({'glitch-end': '1e400'}, 1, 'expected a number'),
            ({'seed': '0@0,5@2'}, 1, 'the key at frame 0 is 0'),
            ({'seed': '5@2,1@1'}, 1, 'key frames must ascend'),
            ({'qtl': 'maybe'}, 1, 'expected on or off'),
            ({'no-such-parameter': 1}, 1, 'there is no parameter'),
            ({}, 0, 'frame: expected a frame number from 1 to 3'),
            ({}, 4, 'frame: expected a frame number from 1 to 3'),
            ({}, 10 ** 30, 'frame: expected'),
            ({}, -1, 'frame: expected'),
            ({}, 1.5, 'frame: expected'),
        ]:
            with self.subTest(values=values, frame=frame):
                error, _ = self.refused(400, 'POST', '/api/render', json.dumps({'frame': frame, 'values': values}),
                                        JSON)
                self.assertIn(words, error)
        for query in ['frame=0', 'frame=4', 'frame=2x', 'frame=', '', 'frame=99999999999999999999']:
            with self.subTest(query=query):
                self.refused(400, 'GET', '/api/original?' + query)
        self.still_serving()

    def test_refuses_the_wrong_method_or_body_type(self):
        for method, path, allowed in [('GET', '/api/render', 'POST'), ('POST', '/api/session', 'GET'),
                                      ('PUT', '/', 'GET'), ('DELETE', '/api/clip', 'GET, POST'),
                                      ('PATCH', '/api/export', 'POST'), ('OPTIONS', '/api/render', 'POST'),
                                      ('HEAD', '/', 'GET'), ('TRACE', '/', 'GET')]:
            with self.subTest(method=method, path=path):
                if method == 'HEAD':  # an answer to HEAD has no body
                    status, headers, _ = self.studio.request(method, path)
                    self.assertEqual(status, 405)
                    self.assertEqual(len(self.studio.new_lines(wait_for=1)), 1)
                else:
                    _, headers = self.refused(405, method, path, '{}' if method != 'GET' else None, JSON)
                self.assertEqual(set(headers.get('allow').split(', ')), set(allowed.split(', ')))
        for path, type in [('/api/render', 'text/plain'), ('/api/render', 'application/x-www-form-urlencoded'),
                           ('/api/render', None), ('/api/settings/load', 'application/json')]:
            with self.subTest(path=path, type=type):
                self.refused(415, 'POST', path, '{"frame": 1, "values": {}}', {'Content-Type': type})
        self.refused(404, 'GET', '/api/nothing')
        self.still_serving()

    def test_answers_what_is_no_http_and_goes_on(self):
        port = self.studio.port
        for data in [b'GARBAGE\r\n\r\n', b'BREW /pot HTTP/1.1\r\nHost: x\r\n\r\n',
                     f'GET /{"a" * 9000} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n'.encode(),
                     f'GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nX-Long: {"b" * 9000}\r\n\r\n'.encode(),
                     b'GET / HTTP/1.1\r\nno colon here\r\n\r\n', b'\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n']:
            with self.subTest(data=data[:30]):
                status, _, _ = self.studio.raw(data)
                self.assertGreaterEqual(status, 400)
                self.assertLess(status, 500)
                lines = self.studio.new_lines(wait_for=1)
                self.assertEqual(len(lines), 1, lines)
        self.still_serving()

    def test_listens_on_loopback_only(self):
        self.assertIn(listening_addresses(self.studio.port), (['127.0.0.1'], ['127.0.0.1', '::1']))


class Stopping(unittest.TestCase):
    def test_ends_cleanly_on_ctrl_c_terminate_and_hang_up(self):
        for how in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=how):
                studio = Studio(TOOL)
                status, _, _ = studio.request('POST', '/api/render', '{"frame": 0, "values": {}}', JSON)
                self.assertEqual(status, 200)
                code, lines = studio.stop(how)
                self.assertEqual(code, 0)
                self.assertEqual(lines[-1], 'shardcast: studio: stopped')
                self.assertTrue(all(line.startswith('shardcast: ') for line in lines), lines)
                self.assertEqual(listening_addresses(studio.port), [])

    def test_refuses_to_start_on_a_bad_command_line(self):
        folder = tempfile.mkdtemp(prefix='shardcast-studio-start-')
        for arguments, line in [(['-'], 'not standard input'), (['missing.png'], 'cannot read missing.png'),
                                (['--port', '0'], '--port takes a whole number from 1 to 65535'),
                                (['--settings', 'no-such-look'], 'no look of that name'),
                                (['--output-folder', 'nowhere'], '--output-folder nowhere: no such folder')]:
            with self.subTest(arguments=arguments):
                run = subprocess.run([TOOL, 'studio', '--no-browser', *arguments], cwd=folder, capture_output=True,
                                     text=True, timeout=30)
                self.assertEqual(run.returncode, 2)
                self.assertEqual(run.stdout, '')
                self.assertIn(line, run.stderr)


if __name__ == '__main__':
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
