#!/usr/bin/env python3
"""The far end of a pseudo-terminal for the Windows port tests under Wine.

Prints the path of the port end as its first line, then answers line
commands that arrive on the port:

  speed       the line speed the port end has set, in bit/s: "38400\\n"
  burst N     N bytes of the pattern (7 * i + 1) mod 256, i counted from 0
  echo TEXT   "TEXT\\n"
  send HEX    the bytes HEX stands for
  parts MS HEX1 HEX2
              the bytes of HEX1, then MS milliseconds later those of HEX2

It keeps the port end open itself, so that the port stays usable while the
program under test closes and reopens it. It ends when its parent does.
"""
import os
import select
import sys
import termios
import time
import tty

SPEEDS = {getattr(termios, name): int(name[1:])
          for name in dir(termios) if name[0] == "B" and name[1:].isdigit()}


def pattern(count):
    return bytes((7 * i + 1) % 256 for i in range(count))


def answer(master, line):
    command, _, argument = line.partition(b" ")
    if command == b"speed":
        speed = SPEEDS.get(termios.tcgetattr(master)[5], -1)
        return b"%d\n" % speed
    if command == b"burst":
        return pattern(int(argument))
    if command == b"echo":
        return argument + b"\n"
    if command == b"send":
        return bytes.fromhex(argument.decode())
    if command == b"parts":
        pause, first, second = argument.split(b" ")
        write_all(master, bytes.fromhex(first.decode()))
        time.sleep(int(pause) / 1000)
        return bytes.fromhex(second.decode())
    return b"unknown command " + command + b"\n"


def write_all(master, data):
    while data:
        data = data[os.write(master, data):]


def main():
    master, port = os.openpty()
    # Raw from the start: nothing is echoed or changed before the program
    # under test sets the line up.
    tty.setraw(port)
    print(os.ttyname(port), flush=True)
    parent = os.getppid()
    pending = b""
    while os.getppid() == parent:
        readable, _, _ = select.select([master], [], [], 0.2)
        if not readable:
            continue
        pending += os.read(master, 65536)
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            write_all(master, answer(master, line))


if __name__ == "__main__":
    sys.exit(main())
