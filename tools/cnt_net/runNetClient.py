#!/usr/bin/env python3
"""Reference relay between the mould station and the plant data server (Python standard library only).

Started by the station from its working directory as `python3 ./cnt_net/runNetClient.py`.

Station link (TCP, 127.0.0.1:8890, the station listens):
  * Station -> relay: messages "<type>:<length>:..!<body>", <length> = body bytes (UTF-8).
    Bodies are JSON (types 2, 7, 8, 9, 10, 12, 13, 18, 19, 20), form text name=value joined by "&"
    with "%", "&", "=", "+" and control characters percent-encoded (types 1, 11, 15, 16), a file
    path (types 5 alarm picture, 6 template picture), or empty (14 product list, 17 reminder list).
  * Relay -> station: replies "<first line>\r\n<head lines>\r\n\r\n<body>", every one with a
    "Content-Length: N" head line:
        POST /back/ HTTP/1.1            acknowledges the message just received (one per message)
        POST /heart/ HTTP/1.1           heartbeat, every 30 s (the station restarts a relay that
                                        stays silent for a minute)
        POST /data/ HTTP/1.1 + "SessionId: 14" or "SessionId: 17"
                                        the product list {"products": [...]} or the reminder list
                                        {"remind": [...]}, from this relay's own store
                                        ./cnt_net/data/relay-store.json ({"products": [...],
                                        "reminds": [...]}; reminders fall back to the station's
                                        ./cnt_net/data/Remind)

Plant data server (settings in ./cnt_net/sysconf.db, table info_sysconf, columns 信息名称 / 值,
rows 'serverip_info', 'serverport_info', 'serverip_file', 'serverport_file'; read again before
each delivery, so a change needs no restart):
  * Every message:  POST http://<serverip_info>:<serverport_info>/mould/message
        Content-Type: application/json; charset=utf-8
        X-Mould-Type: <type>
        body: {"type": <type>, "device_id": "<host>", "received_utc": <ms since 1970 UTC>,
               "body": <the message: a JSON value as sent, an object of the decoded form fields,
                        or the path text>}
  * Types 5 and 6 also send the picture itself:
                    POST http://<serverip_file>:<serverport_file>/mould/file
        Content-Type: application/octet-stream
        X-Mould-Type: <type>, X-Device-Id: <host>, X-File-Name: <base name, percent-encoded>
        body: the file's bytes (files above 32 MiB or gone by then are not sent)
  A delivery counts when the server answers 2xx.

While the server is away, deliveries wait in order in a backlog on disk,
./cnt_net/data/relay-backlog.jsonl (one JSON object a line), tried again every 5 s. The backlog
holds at most 20000 deliveries or 32 MiB; beyond that the oldest are dropped, and the drops are
logged. Messages are acknowledged to the station once they are in this relay's hands (in memory or
in the backlog). SIGTERM or SIGINT: the relay writes what it still holds to the backlog and ends.
"""

import argparse
import collections
import json
import os
import re
import select
import signal
import socket
import sqlite3
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

JSON_TYPES = {2, 7, 8, 9, 10, 12, 13, 18, 19, 20}
FORM_TYPES = {1, 11, 15, 16}
PATH_TYPES = {5, 6}
HEADER = re.compile(rb"(\d{1,3}):(\d{1,10}):\.\.!")
MAX_BODY = 64 << 20
MAX_FILE = 32 << 20


def log(*parts):
    print(time.strftime("%Y-%m-%d %H:%M:%S"), "relay:", *parts, flush=True)


def now_ms():
    return int(time.time() * 1000)


def reply(first, body=b"", head=()):
    lines = [first] + list(head) + ["Content-Length: %d" % len(body)]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii") + body


ACK = reply("POST /back/ HTTP/1.1")
HEART = reply("POST /heart/ HTTP/1.1")


class FrameParser:
    """Cuts the station's byte stream into (type, body) messages, however it is split or joined."""

    def __init__(self):
        self.buffer = b""

    def feed(self, data):
        self.buffer += data
        messages = []
        while True:
            match = HEADER.search(self.buffer)
            if not match:
                # keep a possible start of a header, drop what can never become one
                if len(self.buffer) > 32:
                    self.buffer = self.buffer[-32:]
                break
            if match.start() > 0:
                log("skipped", match.start(), "bytes that were no message")
            kind, length = int(match.group(1)), int(match.group(2))
            if length > MAX_BODY:
                self.buffer = self.buffer[match.end():]
                log("dropped a message announcing", length, "bytes")
                continue
            end = match.end() + length
            if len(self.buffer) < end:
                self.buffer = self.buffer[match.start():]
                break
            messages.append((kind, self.buffer[match.end():end]))
            self.buffer = self.buffer[end:]
        return messages


def decode_body(kind, body):
    text = body.decode("utf-8", errors="replace")
    if kind in JSON_TYPES:
        try:
            return json.loads(text)
        except ValueError:
            return text
    if kind in FORM_TYPES:
        fields = {}
        for pair in text.split("&") if text else []:
            name, _, value = pair.partition("=")
            fields[urllib.parse.unquote(name)] = urllib.parse.unquote(value)
        return fields
    return text


class Settings:
    def __init__(self, path):
        self.path = path

    def read(self):
        values = {}
        try:
            with sqlite3.connect("file:%s?mode=ro" % self.path, uri=True, timeout=2) as db:
                for name, value in db.execute("select 信息名称, 值 from info_sysconf"):
                    values[str(name)] = str(value)
        except sqlite3.Error as error:
            log("settings unreadable:", error)
        return values


class Backlog:
    """Deliveries waiting for the server, oldest first, bounded on disk."""

    def __init__(self, path, max_entries, max_bytes):
        self.path, self.max_entries, self.max_bytes = path, max_entries, max_bytes
        self.dropped = 0

    def load(self):
        entries = []
        try:
            with open(self.path, "r", encoding="utf-8") as f:
                for line in f:
                    try:
                        entries.append(json.loads(line))
                    except ValueError:
                        pass
        except OSError:
            pass
        return entries

    def store(self, entries):
        lines = [json.dumps(e, ensure_ascii=False) + "\n" for e in entries]
        size, keep = 0, []
        for line in reversed(lines):
            size += len(line.encode("utf-8"))
            if len(keep) >= self.max_entries or size > self.max_bytes:
                break
            keep.append(line)
        keep.reverse()
        if len(keep) < len(lines):
            self.dropped += len(lines) - len(keep)
            log("backlog full:", self.dropped, "oldest deliveries dropped so far")
        if not keep:
            try:
                os.remove(self.path)
            except OSError:
                pass
            return
        tmp = self.path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.writelines(keep)
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, self.path)


class Forwarder(threading.Thread):
    def __init__(self, settings, backlog, retry_seconds):
        super().__init__(daemon=True)
        self.settings, self.backlog, self.retry = settings, backlog, retry_seconds
        self.pending = collections.deque()
        self.lock = threading.Condition()
        self.stopping = False
        self.delivered = 0

    def put(self, entry):
        with self.lock:
            self.pending.append(entry)
            self.lock.notify()

    def stop(self):
        with self.lock:
            self.stopping = True
            self.lock.notify()
        self.join(timeout=5)
        with self.lock:
            rest = list(self.pending)
            self.pending.clear()
        if rest:
            self.backlog.store(self.backlog.load() + rest)

    def post(self, entry):
        conf = self.settings.read()
        if entry.get("kind") == "file":
            path = entry["path"]
            try:
                if os.path.getsize(path) > MAX_FILE:
                    return True
                with open(path, "rb") as f:
                    data = f.read()
            except OSError:
                return True  # gone: nothing left to deliver
            url = "http://%s:%s/mould/file" % (conf.get("serverip_file", ""), conf.get("serverport_file", ""))
            headers = {"Content-Type": "application/octet-stream", "X-Mould-Type": str(entry["type"]),
                       "X-Device-Id": entry.get("device_id", ""),
                       "X-File-Name": urllib.parse.quote(os.path.basename(path))}
        else:
            envelope = entry["envelope"]
            url = "http://%s:%s/mould/message" % (conf.get("serverip_info", ""), conf.get("serverport_info", ""))
            data = json.dumps(envelope, ensure_ascii=False).encode("utf-8")
            headers = {"Content-Type": "application/json; charset=utf-8", "X-Mould-Type": str(envelope["type"])}
        try:
            request = urllib.request.Request(url, data=data, headers=headers, method="POST")
            with urllib.request.urlopen(request, timeout=5) as answer:
                return 200 <= answer.status < 300
        except (urllib.error.URLError, OSError, ValueError) as error:
            log("server away:", error)
            return False

    def run(self):
        backlog = self.backlog.load()
        next_try = 0.0
        while True:
            with self.lock:
                if not self.pending and not self.stopping:
                    self.lock.wait(timeout=max(0.2, min(self.retry, next_try - time.monotonic())) if backlog else None)
                if self.stopping:
                    self.pending.extendleft(reversed(backlog))
                    return
                fresh = list(self.pending)
                self.pending.clear()
            if backlog:
                backlog.extend(fresh)
                if time.monotonic() >= next_try:
                    while backlog and not self.stopping and self.post(backlog[0]):
                        backlog.pop(0)
                        self.delivered += 1
                    next_try = time.monotonic() + self.retry
                self.backlog.store(backlog)
                backlog = self.backlog.load() if backlog else []
                continue
            for i, entry in enumerate(fresh):
                if self.post(entry):
                    self.delivered += 1
                    continue
                backlog = fresh[i:]
                self.backlog.store(backlog)
                backlog = self.backlog.load()
                next_try = time.monotonic() + self.retry
                break


class Relay:
    def __init__(self, args):
        self.args = args
        self.stopping = threading.Event()
        self.forwarder = Forwarder(Settings(args.conf), Backlog(args.backlog, args.backlog_entries,
                                                                args.backlog_bytes), args.retry)
        self.host = socket.gethostname()
        self.received = 0

    def answer(self, kind):
        try:
            with open(self.args.store, "r", encoding="utf-8") as f:
                store = json.load(f)
        except (OSError, ValueError):
            store = {}
        if kind == 14:
            body = {"products": store.get("products", [])}
        else:
            reminds = store.get("reminds")
            if reminds is None:
                try:
                    with open("./cnt_net/data/Remind", "r", encoding="utf-8") as f:
                        reminds = json.load(f).get("remind", [])
                except (OSError, ValueError, AttributeError):
                    reminds = []
            body = {"remind": reminds}
        data = json.dumps(body, ensure_ascii=False).encode("utf-8")
        return reply("POST /data/ HTTP/1.1", data, ["SessionId: %d" % kind])

    def handle(self, connection, kind, body):
        decoded = decode_body(kind, body)
        device = decoded.get("device_id", decoded.get("deviceId", self.host)) if isinstance(decoded, dict) else self.host
        envelope = {"type": kind, "device_id": device, "received_utc": now_ms(), "body": decoded}
        self.received += 1
        self.forwarder.put({"kind": "data", "envelope": envelope})
        if kind in PATH_TYPES:
            self.forwarder.put({"kind": "file", "type": kind, "path": decoded, "device_id": device})
        connection.sendall(ACK)
        if kind in (14, 17):
            connection.sendall(self.answer(kind))

    def serve(self, connection):
        parser = FrameParser()
        connection.sendall(HEART)
        last_heart = time.monotonic()
        while not self.stopping.is_set():
            ready, _, _ = select.select([connection], [], [], 0.5)
            if ready:
                data = connection.recv(65536)
                if not data:
                    log("the station closed the link")
                    return
                for kind, body in parser.feed(data):
                    self.handle(connection, kind, body)
            if time.monotonic() - last_heart >= self.args.heartbeat:
                connection.sendall(HEART)
                last_heart = time.monotonic()

    def run(self):
        self.forwarder.start()
        while not self.stopping.is_set():
            try:
                with socket.create_connection((self.args.host, self.args.port), timeout=2) as connection:
                    connection.settimeout(10)
                    log("connected to the station at %s:%d" % (self.args.host, self.args.port))
                    self.serve(connection)
            except OSError as error:
                if not self.stopping.is_set():
                    log("station link:", error)
            self.stopping.wait(1.0)
        self.forwarder.stop()
        log("stopped;", self.received, "messages received,", self.forwarder.delivered, "deliveries made")


def main():
    parser = argparse.ArgumentParser(description="Relay between the mould station and the plant data server")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8890)
    parser.add_argument("--heartbeat", type=float, default=30.0)
    parser.add_argument("--retry", type=float, default=5.0)
    parser.add_argument("--conf", default="./cnt_net/sysconf.db")
    parser.add_argument("--backlog", default="./cnt_net/data/relay-backlog.jsonl")
    parser.add_argument("--backlog-entries", type=int, default=20000)
    parser.add_argument("--backlog-bytes", type=int, default=32 << 20)
    parser.add_argument("--store", default="./cnt_net/data/relay-store.json")
    args = parser.parse_args()
    os.makedirs(os.path.dirname(args.backlog) or ".", exist_ok=True)
    relay = Relay(args)
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: relay.stopping.set())
    relay.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
