#!/usr/bin/env python3
# korvalux-service started the way a systemd socket unit starts it: through
# systemd-socket-activate, which listens on a free loopback port and starts the
# service at the first connection, handing the socket over. Each case checks
# that the first request is answered and that the service leaves once idle.
# usage: service_socket_activation.py KORVALUX_SERVICE DATA_DIR
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

service, data_dir = sys.argv[1], sys.argv[2]
activate = shutil.which("systemd-socket-activate")
if not activate:
    sys.exit("systemd-socket-activate not found (Debian package systemd)")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def ask(port, target):
    # The service may still be loading its rates: the kernel queues the
    # connection on the handed socket meanwhile.
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
        return answer.decode("latin-1")


# A feed that accepts connections and never answers: a refresh would hang on it.
stalled = socket.socket()
stalled.bind(("127.0.0.1", 0))
stalled.listen(8)
stalled_url = f"http://127.0.0.1:{stalled.getsockname()[1]}/"

cases = [
    ("from the snapshot", []),
    ("beside a refresh that hangs",
     ["--refresh", "--ecb-url", stalled_url, "--daily-url", stalled_url]),
]
failures = []
for name, extra in cases:
    port = free_port()
    with tempfile.TemporaryDirectory() as cache, tempfile.TemporaryFile() as log:
        process = subprocess.Popen(
            [activate, "-l", f"127.0.0.1:{port}", service, "--data-dir", data_dir,
             "--cache-dir", cache, "--listen", "127.0.0.1:9", "--exit-idle-time", "1"]
            + extra, stderr=log)
        try:
            answer = ""
            for _ in range(100):  # until systemd-socket-activate listens
                try:
                    answer = ask(port, "/finance/converter?a=1&from=EUR&to=USD")
                    break
                except ConnectionRefusedError:
                    threading.Event().wait(0.05)
            status = process.wait(timeout=30)
        except Exception as error:  # a hang, typically: the case fails, the run goes on
            process.kill()
            process.wait()
            failures.append(f"{name}: {error!r}")
            continue
        log.seek(0)
        text = log.read().decode("utf-8", "replace")
        checks = [
            ("answer", "HTTP/1.1 200 OK" in answer and "1.1415 USD</b> (2026-07-06)" in answer),
            ("socket taken", "(socket from systemd; --listen ignored)" in text),
            ("left when idle", status == 0 and "no connection for 1 s, leaving" in text),
        ]
        for what, ok in checks:
            if not ok:
                failures.append(f"{name}: {what} failed (exit {status})\n{answer[:300]}\n{text}")
        print(f"{name}: {'ok' if all(ok for _, ok in checks) else 'FAILED'}")

stalled.close()
if failures:
    sys.exit("\n".join(failures))
