#!/usr/bin/env python3
"""comflash-cli on the kernel's own serial drivers: a QEMU guest whose ttyS1
is an emulated 16550 (8250) and whose ttyUSB0 is QEMU's emulated FTDI adapter
(ftdi_sio on an xHCI bus), each wired to a host pseudo-terminal where
comflash-sim plays the devices. Each scenario is judged by the simulators'
reports and the tool's exit status and record.

Run by scripts/test-drivers, which builds the kernel and initramfs."""

import argparse
import json
import os
import pty
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from machine import Guest, Sim, StageError  # noqa: E402

# Replies paced at the line's speed: QEMU's UARTs pass bytes at once.
WIRE = ["--wire"]
FTDI = "0403:6001"


def expect(condition, text):
    if not condition:
        raise StageError(text)


class Bench:
    """The guest and what is plugged into it."""

    def __init__(self, guest, sim_program, folder):
        self.guest = guest
        self.sim_program = sim_program
        self.folder = folder
        self.sims = []
        self.started = {}
        self.adapters = 0
        self.plugged = []

    def sim(self, name, arguments):
        # A scenario run again keeps the traces of its earlier turns.
        self.started[name] = self.started.get(name, 0) + 1
        if self.started[name] > 1:
            name = f"{name}-{self.started[name]}"
        sim = Sim(self.sim_program, self.folder, name, arguments)
        self.sims.append(sim)
        return sim

    def uart(self, sim):
        """Wires ttyS1 to the simulator's line."""
        self.guest.monitor.execute("chardev-change", id="uart",
                                   backend={"type": "serial", "data": {"device": sim.path}})

    def plug(self, sim, serial):
        """A new FTDI adapter on the xHCI bus's first port, with USB serial
        number `serial`, wired to the simulator's line."""
        self.adapters += 1
        name = f"usb{self.adapters}"
        monitor = self.guest.monitor
        monitor.execute("chardev-add", id=f"line-{name}",
                        backend={"type": "serial", "data": {"device": sim.path}})
        monitor.execute("device_add", driver="usb-serial", id=name, bus="xhci.0", port="1",
                        chardev=f"line-{name}", serial=serial)
        self.plugged.append(name)
        return name

    def unplug(self, name):
        """Pulls the adapter; its line goes with it."""
        monitor = self.guest.monitor
        monitor.execute("device_del", id=name)
        monitor.wait_event("DEVICE_DELETED", name, 20)
        monitor.execute("chardev-remove", id=f"line-{name}")
        self.plugged.remove(name)

    def unplug_all(self):
        for name in list(self.plugged):
            self.unplug(name)

    def wait_node(self, device):
        """Until the kernel has made `device` and mdev has given it to dialout."""
        job = self.guest.run(f"step wait-node {device}", 30)
        expect(job.status == 0, f"{device} did not appear in the guest: {job.output()}")

    def record(self, path):
        job = self.guest.run(f"cat {path}", 10)
        expect(job.status == 0, f"no record {path}: {job.output()}")
        return [json.loads(line) for line in job.lines if line.strip()]

    def stop_sims(self):
        for sim in self.sims:
            sim.stop()
        self.sims = []


def outcomes(sim):
    return [device["outcome"] for device in sim.report()]


def results(records):
    return [record["result"] for record in records]


def check_updates(bench, sim, job, record_path, devices):
    status = job.wait()
    expect(status == 0, f"comflash-cli ended with {status}:\n{job.output()}")
    got = results(bench.record(record_path))
    expect(got.count("updated") == devices, f"record: {got}")
    expect(sim.wait(30) == 0, f"{sim.name}: not every device as expected: {outcomes(sim)}")
    expect(outcomes(sim) == ["updated"] * devices, f"{sim.name}: {outcomes(sim)}")
    sim.wait_trace(r"the host's end is at 38400 baud", 1, 1)
    sim.wait_trace(r"the host's end is at 9600 baud", 1, 1)


# --- scenarios -------------------------------------------------------------


def uart_less_node(bench):
    """A ttyS node with no UART behind it: an open failure that says so."""
    for port, said in [
        ("/dev/ttyS2", "comflash-cli: /dev/ttyS2: Error opening serial port: "
                       "no serial hardware behind /dev/ttyS2 (Input/output error)"),
        ("COM3", "comflash-cli: COM3: Error opening serial port: "
                 "no serial hardware behind /dev/ttyS2 (Input/output error) (COM3 is not in "
                 "the port map"),
    ]:
        job = bench.guest.run(f"step cli nouart --port {port} --devices 1", 30)
        expect(job.status == 2, f"{port}: exit status {job.status}:\n{job.output()}")
        expect(any(line.startswith(said) for line in job.lines),
               f"{port}: expected a line starting\n  {said}\ngot:\n{job.output()}")


def uart_update(bench):
    """Two devices on the 16550 (8250 driver, /dev/ttyS1)."""
    sim = bench.sim("uart", ["--devices", "2"] + WIRE)
    bench.uart(sim)
    job = bench.guest.start("step cli uart --port /dev/ttyS1 --devices 2 "
                            "--record /tmp/uart.jsonl", 120)
    check_updates(bench, sim, job, "/tmp/uart.jsonl", 2)


def usb_update(bench):
    """Two devices on the FTDI adapter (ftdi_sio, /dev/ttyUSB0)."""
    sim = bench.sim("usb", ["--devices", "2"] + WIRE)
    bench.plug(sim, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.start("step cli usb --port /dev/ttyUSB0 --devices 2 "
                            "--record /tmp/usb.jsonl", 120)
    check_updates(bench, sim, job, "/tmp/usb.jsonl", 2)
    bench.unplug_all()


def both_ports(bench):
    """The 16550 and the adapter in one process."""
    uart = bench.sim("both-uart", ["--devices", "2"] + WIRE)
    usb = bench.sim("both-usb", ["--devices", "2"] + WIRE)
    bench.uart(uart)
    bench.plug(usb, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.start("step cli both --port /dev/ttyS1 --port /dev/ttyUSB0 --devices 2 "
                            "--record /tmp/both.jsonl", 120)
    status = job.wait()
    expect(status == 0, f"comflash-cli ended with {status}:\n{job.output()}")
    records = bench.record("/tmp/both.jsonl")
    for port in ("/dev/ttyS1", "/dev/ttyUSB0"):
        got = [r["result"] for r in records if r["port"] == port]
        expect(got == ["updated", "updated"], f"{port}: record {got}")
    for sim in (uart, usb):
        expect(sim.wait(30) == 0 and outcomes(sim) == ["updated", "updated"],
               f"{sim.name}: {outcomes(sim)}")
    bench.unplug_all()


def quick_turnaround(bench, user="root", power_at_plug=False):
    """--quick-turnaround on a freshly plugged adapter: low latency is set for
    the run and put back after it. The device says hello once, and the
    operator powers it up once the tool has the port open, as a person at the
    bench would: its only hello must find the line at 9600 baud.

    Powered up when its adapter is plugged in instead (--power-at-plug), the
    device races the tool: QEMU opens the line at 115200 baud when the adapter
    is added, the simulator takes that for the host and, after its hello
    interval without 9600, says its one hello at whatever rate the line has,
    while the guest is still enumerating the adapter and starting the tool
    (about 1 s under TCG). The tool's open sets 9600 at once, before any
    other rate: the hello is lost only when it comes first."""
    name = f"quick-{user}"
    switch = os.path.join(bench.folder, f"{name}.power")
    if os.path.exists(switch):
        os.remove(switch)
    power = [] if power_at_plug else ["--power-up-when", switch]
    # No --devices: QEMU's adapter goes away when its line closes, and the
    # latency timer is read after the tool has ended.
    sim = bench.sim(name, ["--hello-once", "3000"] + power + WIRE)
    bench.plug(sim, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    before = bench.guest.run("cat /sys/bus/usb-serial/devices/ttyUSB0/latency_timer", 10)
    expect(before.status == 0 and before.lines, f"no latency timer: {before.output()}")
    run = "step cli" if user == "root" else f"step as {user} cli"
    job = bench.guest.start(f"{run} {name} --port /dev/ttyUSB0 --devices 1 --quick-turnaround "
                            f"--record /tmp/{name}.jsonl", 120)
    opened = bench.guest.run(f"step wait-open {name} /dev/ttyUSB0", 30)
    expect(opened.status == 0, f"the tool did not open the port:\n{job.output()}")
    latency = bench.guest.start(f"step latency-while {name} /dev/ttyUSB0", 120)
    open(switch, "w").close()
    status = job.wait()
    expect(status == 0, f"comflash-cli ended with {status}:\n{job.output()}")
    expect(latency.wait() == 0, f"latency watch: {latency.output()}")
    expect("latency 1" in latency.lines, f"low latency never seen set: {latency.lines}")
    expect(latency.lines[-1] == f"latency after {before.lines[0]}",
           f"latency timer not put back to {before.lines[0]}: {latency.lines}")
    device = sim.wait_report(1, 30)[0]
    expect(device["outcome"] == "updated", f"{sim.name}: {device}")
    expect(device["hellos"] == 1 and device["garbled_hellos"] == 0 and device["handshakes"] == 1,
           f"the hello-once device did not find the line at 9600 at its hello: {device}")
    bench.unplug_all()


def dialout_user(bench):
    """A user in dialout who is not root works the adapter, low latency
    included; one outside the group is told what to do."""
    sim = bench.sim("outsider", ["--devices", "1"] + WIRE)
    bench.plug(sim, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.run("step as bob cli bob --port /dev/ttyUSB0 --devices 1", 30)
    expect(job.status == 2, f"bob: exit status {job.status}:\n{job.output()}")
    expect("user bob is not in group dialout: add it with 'sudo usermod -aG dialout bob'"
           in job.output(), f"bob was not told: {job.output()}")
    bench.unplug_all()
    quick_turnaround(bench, user="ann")


def list_ports(bench):
    """--list-ports shows the UARTs that exist and the adapter, in order."""
    sim = bench.sim("listed", [])
    bench.plug(sim, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.run("comflash-cli --list-ports", 30)
    expect(job.status == 0, f"exit status {job.status}:\n{job.output()}")
    devices = [line.split()[0] for line in job.lines if line.startswith("/dev/")]
    expect(devices == ["/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"], f"listed: {devices}")
    usb = next(line for line in job.lines if line.startswith("/dev/ttyUSB0"))
    expect(f"usb {FTDI}" in usb and "serial CFA0001" in usb, f"adapter line: {usb}")
    bench.unplug_all()


def replug_mid_transfer(bench):
    """The adapter pulled in the middle of an update and plugged in again:
    one device lost, the port back by itself, the next devices updated."""
    first = bench.sim("replug-first", ["--devices", "1"] + WIRE)
    adapter = bench.plug(first, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.start("step cli replug --port /dev/ttyUSB0 --devices 3 "
                            "--record /tmp/replug.jsonl", 150)
    first.wait_trace(r"host>dev .* block ", 10, 60)
    bench.unplug(adapter)
    job.wait_line(r"the port stopped working", 30)
    second = bench.sim("replug-second", ["--devices", "2"] + WIRE)
    bench.plug(second, "CFA0001")
    back = job.wait_line(r"the port is back", 30)
    expect(f"the same adapter ({FTDI}" in back and "serial CFA0001" in back, back)
    status = job.wait()
    expect(status == 1, f"comflash-cli ended with {status} (1: a device failed):\n"
                        f"{job.output()}")
    got = results(bench.record("/tmp/replug.jsonl"))
    expect(got == ["port-lost", "updated", "updated"], f"record: {got}")
    expect(sum("the port stopped working" in line for line in job.lines) == 1,
           f"the loss said more than once:\n{job.output()}")
    expect(second.wait(30) == 0 and outcomes(second) == ["updated", "updated"],
           f"devices after the re-plug: {outcomes(second)}")
    first.stop()
    expect(first.report() == [] or first.report()[0]["outcome"] != "updated",
           f"the device cut off shows as updated: {first.report()}")
    bench.unplug_all()


def removed_for_good(bench):
    """The adapter pulled and not plugged in again: the tool waits without
    spinning, and Ctrl-C ends it at once."""
    sim = bench.sim("gone", ["--devices", "2"] + WIRE)
    adapter = bench.plug(sim, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.start("step cli gone --port /dev/ttyUSB0 --record /tmp/gone.jsonl", 120)
    sim.wait_trace(r"host>dev .* block ", 5, 60)
    bench.unplug(adapter)
    job.wait_line(r"the port stopped working", 30)
    cpu = bench.guest.run("step cpu gone 3", 20)
    expect(cpu.status == 0, f"cpu: {cpu.output()}")
    ticks = int(cpu.lines[-1].split()[1])
    # A wait that polls the port once a tick costs next to nothing; a spin
    # would take all of the 300 ticks.
    expect(ticks < 60, f"comflash-cli used {ticks} of 300 ticks while the port was gone")
    bench.guest.run("step interrupt gone", 10)
    status = job.wait(10)
    expect(status == 1, f"after Ctrl-C: exit status {status}:\n{job.output()}")
    expect(results(bench.record("/tmp/gone.jsonl")) == ["port-lost"],
           f"record: {bench.record('/tmp/gone.jsonl')}")


def serial_number_cut(bench):
    """--write-sn with the acknowledgement cut by an unplug: the number is
    unconfirmed and never handed out again; another adapter then takes the
    lost one's name, and the operator is told."""
    job = bench.guest.run("comflash-cli --set-sn QA000100", 30)
    expect(job.status == 0, f"--set-sn: {job.output()}")
    first = bench.sim("sn-first", ["--devices", "1", "--device-delay", "1500"] + WIRE)
    adapter = bench.plug(first, "CFA0001")
    bench.wait_node("/dev/ttyUSB0")
    job = bench.guest.start("step cli sn --port /dev/ttyUSB0 --write-sn --devices 2 "
                            "--record /tmp/sn.jsonl", 150)
    # The record is on its way to the device, its acknowledgement not yet.
    first.wait_trace(r"host>dev .* write ", 1, 60)
    bench.unplug(adapter)
    job.wait_line(r"the port stopped working", 30)
    second = bench.sim("sn-second", ["--devices", "1"] + WIRE)
    bench.plug(second, "CFB0002")
    back = job.wait_line(r"the port is back", 30)
    expect("another adapter" in back and "serial CFB0002" in back and "serial CFA0001" in back,
           f"the operator was told: {back}")
    print(f"    told: {back}")
    status = job.wait()
    expect(status == 1, f"comflash-cli ended with {status}:\n{job.output()}")
    records = bench.record("/tmp/sn.jsonl")
    got = [(r["result"], r.get("serial_sent"), r.get("serial_fate")) for r in records]
    expect(got[0] == ("port-lost", "QA000100", "unconfirmed"), f"record: {got}")
    expect(len(got) == 2 and got[1][1:] == ("QA000101", "written"), f"record: {got}")
    expect(second.wait(30) == 0, f"{second.name}: {outcomes(second)}")
    expect("QA000101" in second.report()[0].get("serial_record", ""), f"{second.report()}")
    first.stop()
    bench.unplug_all()


SCENARIOS = [
    ("uart-less ttyS2 node", uart_less_node),
    ("update on ttyS1 (8250)", uart_update),
    ("update on ttyUSB0 (ftdi_sio)", usb_update),
    ("both ports in one process", both_ports),
    ("quick turnaround, hello once after plug-in", quick_turnaround),
    ("dialout user, and one outside it", dialout_user),
    ("--list-ports", list_ports),
    ("adapter pulled mid-transfer and back", replug_mid_transfer),
    ("adapter pulled for good, Ctrl-C", removed_for_good),
    ("--write-sn acknowledgement cut, another adapter back", serial_number_cut),
]


def qemu_command(args, monitor_path, parked_line):
    return [
        args.qemu, "-machine", "q35", "-m", "384", "-nodefaults", "-display", "none",
        "-no-reboot", "-kernel", args.kernel, "-initrd", args.initrd,
        "-append", "console=ttyS0 quiet loglevel=1 panic=-1",
        "-serial", "stdio",
        "-chardev", f"serial,id=uart,path={parked_line}", "-serial", "chardev:uart",
        "-device", "qemu-xhci,id=xhci",
        "-qmp", f"unix:{monitor_path},server=on,wait=off",
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--qemu", default="qemu-system-x86_64")
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--initrd", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--folder", help="where traces, reports and the console log go")
    parser.add_argument("--only", help="run only the scenarios whose name contains this")
    parser.add_argument("--repeat", type=int, default=1, help="run each scenario this often")
    parser.add_argument("--power-at-plug", action="store_true",
                        help="power the hello-once device when its adapter is plugged in, "
                             "before the tool listens (how the device was powered in the trial)")
    args = parser.parse_args()

    folder = args.folder or tempfile.mkdtemp(prefix="comflash-drivers-")
    os.makedirs(folder, exist_ok=True)
    # ttyS1 is wired to a line with nothing behind it until a scenario takes it.
    parked_master, parked_slave = pty.openpty()
    monitor_path = os.path.join(folder, "monitor.sock")
    started = time.monotonic()
    guest = Guest(qemu_command(args, monitor_path, os.ttyname(parked_slave)), monitor_path,
                  os.path.join(folder, "console.log"), 60)
    print(f"  guest up in {time.monotonic() - started:.1f} s (console: {folder}/console.log)")
    bench = Bench(guest, args.sim, folder)
    passed = failed = 0
    try:
        for name, scenario in SCENARIOS:
            if args.only and args.only not in name:
                continue
            for turn in range(args.repeat):
                began = time.monotonic()
                label = name if args.repeat == 1 else f"{name} #{turn + 1}"
                try:
                    if scenario is quick_turnaround:
                        scenario(bench, power_at_plug=args.power_at_plug)
                    else:
                        scenario(bench)
                    passed += 1
                    print(f"  ok    {label} ({time.monotonic() - began:.1f} s)")
                except StageError as error:
                    failed += 1
                    print(f"  FAIL  {label} ({time.monotonic() - began:.1f} s): {error}")
                finally:
                    bench.stop_sims()
                    try:
                        bench.unplug_all()
                    except StageError as error:
                        print(f"  (clean-up: {error})")
    except Exception:
        traceback.print_exc()
        failed += 1
    finally:
        guest.stop()
        os.close(parked_master)
        os.close(parked_slave)
    print(f"drivers: {passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
