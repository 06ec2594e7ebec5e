"""A `shardcast studio` started for a test, and requests sent to it.

The studio runs in a folder of its own with --no-browser; the address it
prints gives the port and the token. Its standard error is read as it
comes, so a test can see the one line each refusal writes.
"""
import os
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.parse


class Studio:
    def __init__(self, tool, arguments=(), folder=None):
        self.folder = folder or tempfile.mkdtemp(prefix='shardcast-studio-test-')
        self.process = subprocess.Popen(
            [tool, 'studio', '--no-browser', *arguments], cwd=self.folder,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.address = self.process.stdout.readline().decode().strip()
        if not self.address.startswith('http://'):
            self.process.kill()
            raise RuntimeError('the studio did not start: ' + self.process.stderr.read().decode())
        parsed = urllib.parse.urlparse(self.address)
        self.port = parsed.port
        self.token = urllib.parse.parse_qs(parsed.query)['token'][0]
        self._lines = []
        self._taken = 0
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read_errors, daemon=True)
        self._reader.start()

    def _read_errors(self):
        for line in self.process.stderr:
            with self._lock:
                self._lines.append(line.decode(errors='replace').rstrip('\n'))

    def new_lines(self, wait_for=0, seconds=3.0):
        """The lines written since the last call, waiting for at least
        `wait_for` of them."""
        end = time.monotonic() + seconds
        while True:
            with self._lock:
                lines = self._lines[self._taken:]
            if len(lines) >= wait_for or time.monotonic() > end:
                break
            time.sleep(0.01)
        time.sleep(0.05 if wait_for else 0)
        with self._lock:
            lines = self._lines[self._taken:]
            self._taken = len(self._lines)
        return lines

    def stop(self, how=signal.SIGINT, seconds=10):
        """Sends the signal; the exit code and every line written."""
        self.process.send_signal(how)
        code = self.process.wait(timeout=seconds)
        self._reader.join(timeout=seconds)
        self.process.stdout.close()
        self.process.stderr.close()
        return code, list(self._lines)

    def request(self, method, path, body=None, headers=None, token=True, host=None, address='127.0.0.1'):
        """One request on its own connection: (status, headers, body)."""
        fields = {'Host': host if host is not None else f'127.0.0.1:{self.port}', 'Connection': 'close'}
        if token:
            fields['X-Shardcast-Token'] = self.token if token is True else token
        if body is not None:
            if isinstance(body, str):
                body = body.encode()
            fields['Content-Length'] = str(len(body))
        fields.update(headers or {})
        lines = [f'{method} {path} HTTP/1.1'] + [f'{k}: {v}' for k, v in fields.items() if v is not None]
        return self.raw(('\r\n'.join(lines) + '\r\n\r\n').encode() + (body or b''), address)

    def raw(self, data, address='127.0.0.1'):
        family = socket.AF_INET6 if ':' in address else socket.AF_INET
        with socket.socket(family, socket.SOCK_STREAM) as connection:
            connection.settimeout(15)
            connection.connect((address, self.port))
            try:
                connection.sendall(data)
            except (BrokenPipeError, ConnectionResetError):
                pass  # answered and closed before the rest was read
            received = b''
            while True:
                try:
                    chunk = connection.recv(65536)
                except ConnectionResetError:
                    break
                if not chunk:
                    break
                received += chunk
        head, _, body = received.partition(b'\r\n\r\n')
        head_lines = head.decode(errors='replace').split('\r\n')
        status = int(head_lines[0].split()[1]) if head_lines and len(head_lines[0].split()) > 1 else 0
        headers = {}
        for line in head_lines[1:]:
            name, _, value = line.partition(':')
            headers[name.strip().lower()] = value.strip()
        return status, headers, body


def listening_addresses(port):
    """The local addresses of the sockets listening on `port`, from
    /proc/net/tcp and tcp6."""
    found = []
    for table, width in (('/proc/net/tcp', 8), ('/proc/net/tcp6', 32)):
        if not os.path.exists(table):
            continue
        with open(table) as rows:
            next(rows)
            for row in rows:
                fields = row.split()
                local, state = fields[1], fields[3]
                address, port_hex = local.split(':')
                if state == '0A' and int(port_hex, 16) == port:
                    raw = bytes.fromhex(address)
                    # /proc writes each 32-bit word in host (little-endian) order.
                    words = b''.join(raw[i:i + 4][::-1] for i in range(0, len(raw), 4))
                    found.append(socket.inet_ntop(socket.AF_INET if width == 8 else socket.AF_INET6, words))
    return sorted(found)
