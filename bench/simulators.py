"""Set-up shared by the Python bodies of the bench scripts."""
import contextlib
import os
import signal
import subprocess

# The simulator behind each pseudo-terminal paced_gateways started.
_simulators = {}


def isolated_env(work):
    """The environment for the programs under test: settings, kept copies and
    notes of cut transfers go below `work`, never into the user's own folders."""
    return dict(os.environ, HOME=work,
                XDG_CONFIG_HOME=os.path.join(work, "config"),
                XDG_DATA_HOME=os.path.join(work, "data"),
                XDG_STATE_HOME=os.path.join(work, "state"),
                XDG_CACHE_HOME=os.path.join(work, "cache"))


@contextlib.contextmanager
def paced_gateways(bin, count=1, serial=None, baud=19200):
    """Starts `count` simulated gateways paced to `baud` and yields their
    pseudo-terminals; the simulators are stopped on leaving. With `serial`,
    the gateways' serial numbers are SERIAL-00, SERIAL-01 and so on."""
    sims, ports = [], []
    try:
        for i in range(count):
            args = [os.path.join(bin, "korvanext-gatewaysim"), "--baud-throttle", str(baud)]
            if serial:
                args += ["--serial", "%s-%02d" % (serial, i)]
            sim = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
            sims.append(sim)
            port = sim.stdout.readline().strip()
            if not port:
                raise RuntimeError("the gateway simulator ended before it printed its port (exit %s): run %s alone to see why"
                                   % (sim.wait(timeout=10), " ".join(args)))
            ports.append(port)
            _simulators[port] = sim
        yield ports
    finally:
        for port in ports:
            _simulators.pop(port, None)
        for sim in sims:
            stop(sim)


def line_bytes(port):
    """(received, sent): the bytes that crossed the line of the simulated
    gateway at `port` since it started, as the gateway counts them."""
    sim = _simulators[port]
    sim.send_signal(signal.SIGUSR1)
    words = sim.stdout.readline().split()
    if len(words) != 3 or words[0] != "bytes":
        raise RuntimeError("the gateway simulator at %s gave no byte count (%r): it is older than this bench, build it again"
                           % (port, " ".join(words)))
    return int(words[1]), int(words[2])


def stop(proc):
    """Ends a helper program the bench started, waiting a bounded time."""
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
