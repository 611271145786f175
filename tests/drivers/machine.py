"""The pieces of the real-driver stage: the QEMU guest with its agent, the
monitor that plugs and unplugs adapters, and the simulators on host
pseudo-terminals behind the guest's ports.

Every wait here has a bound, so that a hang fails the stage with what was
being waited for instead of holding up the test command."""

import ctypes
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time


class StageError(Exception):
    """A step did not go as the stage requires."""


def _deadline(limit):
    return time.monotonic() + limit


def _end_with_parent():
    """In the child: killed when the runner dies, so that no guest or
    simulator outlives a runner ended by the stage's own time limit."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Job:
    """One step running in the guest: its output lines and, once it has
    ended, its exit status."""

    def __init__(self, guest, number, command, limit):
        self.guest = guest
        self.number = number
        self.command = command
        self.limit = limit
        self.lines = []
        self.status = None

    def wait_line(self, pattern, limit):
        """The first output line matching `pattern`, waiting up to `limit` s."""
        regex = re.compile(pattern)
        with self.guest.changed:
            end = _deadline(limit)
            while True:
                for line in self.lines:
                    if regex.search(line):
                        return line
                if self.status is not None:
                    raise StageError(f"step '{self.command}' ended (status {self.status}) "
                                     f"without saying /{pattern}/:\n  " + "\n  ".join(self.lines))
                left = end - time.monotonic()
                if left <= 0:
                    raise StageError(f"step '{self.command}' did not say /{pattern}/ within "
                                     f"{limit} s:\n  " + "\n  ".join(self.lines))
                self.guest.changed.wait(left)

    def wait(self, limit=None):
        """The exit status, waiting up to `limit` s (the step's own limit and
        a margin by default)."""
        limit = self.limit + 10 if limit is None else limit
        with self.guest.changed:
            end = _deadline(limit)
            while self.status is None:
                left = end - time.monotonic()
                if left <= 0:
                    raise StageError(f"step '{self.command}' still running after {limit} s:\n  "
                                     + "\n  ".join(self.lines))
                self.guest.changed.wait(left)
            return self.status

    def output(self):
        return "\n".join(self.lines)


class Monitor:
    """QEMU's machine protocol: commands, their answers and the events they
    lead to, read on a thread of its own."""

    def __init__(self, path, limit):
        end = _deadline(limit)
        while True:
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > end:
                    raise StageError(f"the QEMU monitor at {path} did not answer") from None
                time.sleep(0.05)
        self.changed = threading.Condition()
        self.answers = []
        self.events = []
        self.closed = False
        threading.Thread(target=self._read, daemon=True).start()
        self._next_answer(limit)  # the greeting
        self.execute("qmp_capabilities")

    def _read(self):
        try:
            for line in self.sock.makefile("r"):
                message = json.loads(line)
                with self.changed:
                    (self.events if "event" in message else self.answers).append(message)
                    self.changed.notify_all()
        except (OSError, ValueError):
            pass  # QEMU ended: the waits below say so
        with self.changed:
            self.closed = True
            self.changed.notify_all()

    def _next_answer(self, limit):
        with self.changed:
            if not self.changed.wait_for(lambda: self.answers or self.closed, limit):
                raise StageError(f"the QEMU monitor did not answer within {limit} s")
            if not self.answers:
                raise StageError("the QEMU monitor closed")
            return self.answers.pop(0)

    def execute(self, command, limit=30, **arguments):
        self.sock.sendall((json.dumps({"execute": command, "arguments": arguments}) + "\n").encode())
        answer = self._next_answer(limit)
        if "error" in answer:
            raise StageError(f"monitor {command} {arguments}: {answer['error']['desc']}")
        return answer.get("return")

    def wait_event(self, name, device, limit):
        def found():
            for event in self.events:
                if event["event"] == name and event.get("data", {}).get("device") == device:
                    self.events.remove(event)
                    return event
            return None

        with self.changed:
            event = self.changed.wait_for(found, limit)
        if event is None:
            raise StageError(f"no {name} event for {device} within {limit} s")
        return event


class Guest:
    """The QEMU guest: boots the kernel with the initramfs, then runs steps
    through the agent on its console."""

    def __init__(self, qemu_command, monitor_path, console_log, boot_limit):
        self.changed = threading.Condition()
        self.jobs = {}
        self.next_number = 1
        self.ready = False
        self.console = open(console_log, "w")
        self.process = subprocess.Popen(qemu_command, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        preexec_fn=_end_with_parent)
        self.reader = threading.Thread(target=self._read_console, daemon=True)
        self.reader.start()
        self.monitor = Monitor(monitor_path, boot_limit)
        with self.changed:
            end = _deadline(boot_limit)
            while not self.ready:
                left = end - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise StageError(f"the guest did not come up within {boot_limit} s "
                                     f"(console: {console_log})")
                self.changed.wait(left)

    def _read_console(self):
        pattern = re.compile(r"^@(\d+)([:=])(.*)$")
        for raw in self.process.stdout:
            line = raw.decode(errors="replace").rstrip("\r\n")
            self.console.write(f"{time.monotonic():.3f} {line}\n")
            self.console.flush()
            with self.changed:
                if line.startswith("@@ready"):
                    self.ready = True
                match = pattern.match(line)
                if match and int(match.group(1)) in self.jobs:
                    job = self.jobs[int(match.group(1))]
                    if match.group(2) == ":":
                        job.lines.append(match.group(3))
                    else:
                        job.status = int(match.group(3))
                self.changed.notify_all()
        with self.changed:
            for job in self.jobs.values():
                if job.status is None:
                    job.status = -1
            self.changed.notify_all()

    def start(self, command, limit):
        """Starts `command` (one line of sh) in the guest, killed after `limit` s."""
        if "\n" in command:
            raise ValueError("a step is one line")
        with self.changed:
            job = Job(self, self.next_number, command, limit)
            self.jobs[job.number] = job
            self.next_number += 1
        self.process.stdin.write(f"{job.number} {limit} {command}\n".encode())
        self.process.stdin.flush()
        return job

    def run(self, command, limit):
        """Runs `command` to its end: the finished job."""
        job = self.start(command, limit)
        job.wait()
        return job

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.console.close()


class Sim:
    """comflash-sim on a fresh pseudo-terminal, with its report and trace."""

    def __init__(self, program, folder, name, arguments):
        self.name = name
        self.report_path = os.path.join(folder, f"{name}.report.jsonl")
        self.trace_path = os.path.join(folder, f"{name}.trace")
        self.trace = open(self.trace_path, "w")
        self.process = subprocess.Popen(
            [program, "--trace", "--report", self.report_path] + arguments,
            stdout=subprocess.PIPE, stderr=self.trace, text=True, preexec_fn=_end_with_parent)
        line = self.process.stdout.readline().strip()
        if not line.startswith("/dev/"):
            raise StageError(f"simulator {name} gave no port (trace: {self.trace_path})")
        self.path = line

    def wait_trace(self, pattern, count, limit):
        """Until the trace holds `count` lines matching `pattern`."""
        regex = re.compile(pattern)
        end = _deadline(limit)
        while True:
            with open(self.trace_path) as trace:
                found = sum(1 for line in trace if regex.search(line))
            if found >= count:
                return
            if time.monotonic() > end:
                raise StageError(f"simulator {self.name}: {found} of {count} /{pattern}/ "
                                 f"lines within {limit} s (trace: {self.trace_path})")
            time.sleep(0.05)

    def wait_report(self, devices, limit):
        """The report once it holds `devices` devices."""
        end = _deadline(limit)
        while len(self.report()) < devices:
            if time.monotonic() > end:
                raise StageError(f"simulator {self.name}: {len(self.report())} of {devices} "
                                 f"devices reported within {limit} s (trace: {self.trace_path})")
            time.sleep(0.05)
        return self.report()

    def wait(self, limit):
        """The simulator's exit status once it has played its devices."""
        try:
            return self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            raise StageError(f"simulator {self.name} still playing after {limit} s "
                             f"(trace: {self.trace_path})") from None

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.trace.close()

    def report(self):
        if not os.path.exists(self.report_path):
            return []
        with open(self.report_path) as report:
            return [json.loads(line) for line in report if line.strip()]
