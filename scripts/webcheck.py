"""Helpers of scripts/test-web: PNG decoding, the frame hash, and a small DevTools client."""

import json
import struct
import zlib

import websocket  # python3-websocket


def decode_png(data):
    """(width, height, channels, rows) of an 8-bit RGB or RGBA PNG; rows are bytes objects."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat, width, height, channels = 8, [], 0, 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("only 8-bit RGB or RGBA, not interlaced")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else upper_left
                line[i] = (line[i] + predictor) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def frame_hash(rows, channels):
    """FNV-1a 64 over the bytes B, G, R, 0 of every pixel, rows from the top."""
    h = 0xCBF29CE484222325
    prime, mask = 0x100000001B3, (1 << 64) - 1
    for row in rows:
        for i in range(0, len(row), channels):
            for byte in (row[i + 2], row[i + 1], row[i], 0):
                h = ((h ^ byte) * prime) & mask
    return "%016x" % h


class DevTools:
    """One page of a browser, driven through its DevTools websocket."""

    def __init__(self, url):
        self.socket = websocket.create_connection(url, timeout=60)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return result.get("result", {}).get("value")
