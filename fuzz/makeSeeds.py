#!/usr/bin/env python3
"""Writes the hand-made seed inputs of fuzz/corpus/{qern,gain}.

Each seed is a request stream in the harness's format (FuzzHarness.cpp):
byte 0 chooses the host's version answer (0: none), then one step after the
other, each an operation byte followed by its arguments. Run it again after
changing the format; libFuzzer grows its own corpus from these in the build tree.
"""
import os
import struct

DISPATCH, SET_PARAM, GET_PARAM, PROGRAM, RENAME, SUSPEND_RESUME, PROCESS, HOST, TEXTS, RATE_BLOCK, \
    SET_AND_TEXTS, PROCESS_MANY = range(12)

FLOAT_TABLE = {0.0: 0, 1.0: 2, 0.5: 3, 'nan': 16, 'inf': 19, '-inf': 20, 'max': 21, 1e30: 26, 44100.0: 28}


def idx(i):  # indices -3 .. 16
    return bytes([i + 3])


def num(v):  # numbers -8 .. 31
    return bytes([v + 8])


def flt(x):
    if x in FLOAT_TABLE:
        return bytes([1, FLOAT_TABLE[x]])
    return bytes([0]) + struct.pack('<f', x)


def u16(n):
    return struct.pack('<H', n)


def dispatch(code, index=0, value=0, opt=0.0, text=b''):
    return bytes([DISPATCH, code + 8]) + idx(index) + num(value) + flt(opt) + u16(len(text)) + text


def set_param(i, x):
    return bytes([SET_PARAM]) + idx(i) + flt(x)


def set_and_texts(i, x):
    return bytes([SET_AND_TEXTS]) + idx(i) + flt(x)


def program(p):
    return bytes([PROGRAM]) + num(p)


def rename(text):
    return bytes([RENAME]) + u16(len(text)) + text


def resume():
    return bytes([SUSPEND_RESUME, 1])


def suspend():
    return bytes([SUSPEND_RESUME, 0])


def frames(n):
    if n < 128:
        return bytes([n])
    return bytes([200]) + u16(n)


def process(n, overwriting=True, in_place=False, style=0, constant=0.5, seed=12345, repeat=1):
    mode = (1 if overwriting else 0) | (2 if in_place else 0) | style << 2
    body = bytes([mode]) + frames(n) + flt(constant) + struct.pack('<Q', seed)
    if repeat == 1:
        return bytes([PROCESS]) + body
    return bytes([PROCESS_MANY, repeat - 1]) + body


def host(kind, arg=b''):
    return bytes([HOST, kind]) + arg


def texts(i):
    return bytes([TEXTS]) + idx(i)


def seeds(params):
    ordinary = b''.join(set_param(i, 0.5) for i in range(params))
    yield 'open-close', b'\x01'
    yield 'version-zero', b'\x00'
    yield 'resume-and-play', b'\x01' + resume() + ordinary + process(64) + process(64, False) + \
        process(1024, repeat=8) + process(4096) + suspend()
    yield 'play-before-resume', b'\x01' + process(256, style=1) + process(0) + process(16384, True, True)
    yield 'texts', b'\x01' + b''.join(texts(i) for i in range(-1, params + 2)) + \
        b''.join(set_and_texts(i, 1.0) for i in range(params))
    yield 'long-rename', b'\x01' + rename(b'N' * 300) + program(5) + rename(b'Init') + program(15) + \
        rename(b'') + texts(0)
    yield 'hostile-params', b'\x01' + resume() + b''.join(
        set_param(i, x) + process(128, style=0) + set_param(i, 0.5) + process(128)
        for i in range(params) for x in ('nan', 'inf', '-inf', 'max', 1e30))
    yield 'transport', b'\x01' + resume() + host(2) + process(64) + host(2) + \
        host(5, bytes([1, 14])) + process(64) + host(5, bytes([1, 8])) + process(64) + \
        host(3) + process(64, repeat=4) + host(4, bytes([1, 15])) + process(64) + \
        host(5, bytes([1, 0])) + host(3) + process(64, repeat=40)
    yield 'refused-events', b'\x01' + resume() + host(1, bytes([1])) + process(64, style=3, constant=0.5) + \
        process(64, style=3, constant=0.0) + host(1, bytes([0])) + process(64, style=3, constant=1.0)
    yield 'all-requests', b'\x01' + b''.join(
        dispatch(code, 0, 1, 0.5, b'receiveVstMidiEvent') for code in range(-8, 71) if code != 1) + \
        dispatch(1)
    yield 'rates-and-sizes', b'\x01' + bytes([RATE_BLOCK]) + flt(0.0) + num(-1) + process(512) + \
        bytes([RATE_BLOCK]) + flt('nan') + num(0) + process(2048, False, True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for effect, params in (('qern', 2), ('gain', 8)):
        folder = os.path.join(here, 'corpus', effect)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds(params):
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)


if __name__ == '__main__':
    main()
