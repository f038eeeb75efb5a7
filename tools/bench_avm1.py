#!/usr/bin/env python3
"""Times the script machine: a movie whose first frame runs a loop of ITERATIONS turns (arithmetic,
a method call and a property write each), played in our fwplay and, in the same run, in the
corpus's reference player as a web player in Debian's chromium.

Usage: tools/bench avm1 [RUNS]   (default 3; each figure is the median of RUNS runs)
  FWPLAY      our runner (default build/release/player/tools/fwplay, built when missing)
  FW_BENCH_ITERATIONS  turns of the loop (default 1000000)
  FW_BENCH_NOREF=1     leaves the reference out (no chromium needed)

Ours is timed from outside (fwplay keeps virtual time): the processor time of the movie less that
of the same movie with an empty loop. The reference times itself with getTimer around the loop and
sends the figure out as the name of an fscommand, which its console reports.
"""
import http.server
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import threading

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REF_DIR = os.environ.get("FW_BENCH_REF_DIR", os.path.join(ROOT, "build", "bench-ref"))
REF_PACKAGES = ["@ruffle-rs/ruffle@0.6.0", "playwright-core@1"]


def push(*items):
    body = b""
    for item in items:
        if isinstance(item, str):
            body += b"\x00" + item.encode() + b"\x00"
        elif isinstance(item, int):
            body += b"\x07" + struct.pack("<i", item)
        else:
            raise TypeError(item)
    return action(0x96, body)


def action(code, body=None):
    if body is None:
        return bytes([code])
    return bytes([code]) + struct.pack("<H", len(body)) + body


def branch(code, offset):
    return action(code, struct.pack("<h", offset))


GET, SET, ADD2, MUL, MOD, LESS2, NOT, INC = 0x1C, 0x1D, 0x47, 0x0C, 0x3F, 0x48, 0x12, 0x50
SUB, NEWOBJ, SETMEMBER, CALLMETHOD, RETURN, GETTIME, TRACE = 0x0B, 0x40, 0x4F, 0x52, 0x3E, 0x34, 0x26
JUMP, IF, GETURL2 = 0x99, 0x9D, 0x9A


def script(iterations):
    method_body = push("x") + action(GET) + push(1) + action(ADD2) + action(RETURN)
    define = action(0x9B, b"\x00" + struct.pack("<H", 1) + b"x\x00" + struct.pack("<H", len(method_body)))
    code = push("o", 0, "Object") + action(NEWOBJ) + action(SET)
    code += push("o") + action(GET) + push("f") + define + method_body + action(SETMEMBER)
    code += push("i", 0) + action(SET) + push("s", 0) + action(SET)
    code += push("t0") + action(GETTIME) + action(SET)
    turn = push("s", "s") + action(GET) + push("i") + action(GET) + push(3) + action(MUL) + action(ADD2)
    turn += push(1000) + action(MOD) + action(SET)
    turn += push("o") + action(GET) + push("n", "i") + action(GET) + push(1, "o") + action(GET)
    turn += push("f") + action(CALLMETHOD) + action(SETMEMBER)
    turn += push("i", "i") + action(GET) + action(INC) + action(SET)
    test = push("i") + action(GET) + push(iterations) + action(LESS2) + action(NOT)
    exit_len = 5
    back = -(len(test) + exit_len + len(turn) + 5)
    code += test + branch(IF, len(turn) + 5) + turn + branch(JUMP, back)
    # The elapsed time as the name of an fscommand (the reference's console reports the name),
    # and the loop's results as a trace line, so both players are seen to compute the same.
    code += push("FSCommand:t") + action(GETTIME) + push("t0") + action(GET) + action(SUB)
    code += action(ADD2) + push("") + action(GETURL2, b"\x00")
    code += push("done ") + push("s") + action(GET) + action(ADD2) + push(" ") + action(ADD2)
    code += push("o") + action(GET) + push("n") + action(0x4E) + action(ADD2) + action(TRACE)
    return code + b"\x00"


def movie(iterations):
    def tag(code, body):
        if len(body) < 63:
            return struct.pack("<H", (code << 6) | len(body)) + body
        return struct.pack("<HI", (code << 6) | 63, len(body)) + body

    # RECT 0..800 x 0..600 px in twips, 15 bits a field.
    bits = "01111" + "".join(format(v, "015b") for v in (0, 16000, 0, 12000))
    bits += "0" * (-len(bits) % 8)
    rect = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    body = rect + struct.pack("<HH", 12 << 8, 1)
    body += tag(9, b"\xff\xff\xff") + tag(12, script(iterations)) + tag(1, b"") + tag(0, b"")
    return b"FWS" + bytes([6]) + struct.pack("<I", 8 + len(body)) + body


def run_ours(fwplay, path):
    # Processor time, not wall time: the machine is often busy with other work, and the loop runs
    # on one thread, so on an idle machine the two agree.
    with tempfile.TemporaryFile("w+") as out:
        proc = subprocess.Popen([fwplay, "--frames", "1", "--script-seconds", "3600", path], stdout=out, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(proc.pid, 0)
        out.seek(0)
        return usage.ru_utime + usage.ru_stime, out.read().strip()


def ensure_reference():
    if not os.path.isdir(os.path.join(REF_DIR, "node_modules", "@ruffle-rs", "ruffle")):
        os.makedirs(REF_DIR, exist_ok=True)
        subprocess.run(["npm", "init", "-y"], cwd=REF_DIR, capture_output=True, check=True)
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", *REF_PACKAGES], cwd=REF_DIR,
                       check=True, stdout=subprocess.DEVNULL)
    if not os.path.exists("/usr/bin/chromium"):
        subprocess.run(["apt-get", "install", "-y", "chromium"], check=True, stdout=subprocess.DEVNULL,
                       env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})


DRIVER = r"""
const { chromium } = require('playwright-core');
(async () => {
  const [url, runs] = [process.argv[2], +process.argv[3]];
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking'] });
  for (let r = 0; r < runs; r++) {
    const page = await browser.newPage();
    const done = new Promise((resolve) => {
      page.on('console', (m) => {
        const t = m.text();
        const f = t.match(/FSCommand: t(\d+)/);
        if (f) console.log('elapsed ' + f[1]);
        const d = t.match(/done \S+ \S+/);
        if (d) { console.log('trace ' + d[0]); resolve(); }
      });
    });
    await page.goto(url);
    await Promise.race([done, new Promise((r) => setTimeout(r, 600000))]);
    await page.close();
  }
  await browser.close();
})();
"""

PAGE = """<!doctype html><html><body style="margin:0"><div id="stage"></div>
<script src="ruffle/ruffle.js"></script><script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {logLevel: "info", autoplay: "on", unmuteOverlay: "hidden",
  splashScreen: false, maxExecutionDuration: 600};
const player = window.RufflePlayer.newest().createPlayer();
player.style.width = "800px"; player.style.height = "600px";
document.getElementById("stage").appendChild(player);
player.load("bench.swf");
</script></body></html>"""


def run_reference(swf, runs):
    ensure_reference()
    with tempfile.TemporaryDirectory() as site:
        os.symlink(os.path.join(REF_DIR, "node_modules", "@ruffle-rs", "ruffle"), os.path.join(site, "ruffle"))
        with open(os.path.join(site, "bench.swf"), "wb") as f:
            f.write(swf)
        with open(os.path.join(site, "index.html"), "w") as f:
            f.write(PAGE)
        driver = os.path.join(site, "driver.js")
        with open(driver, "w") as f:
            f.write(DRIVER)

        class Quiet(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *a, **k):
                super().__init__(*a, directory=site, **k)

            def log_message(self, *a):
                pass

        Quiet.extensions_map[".wasm"] = "application/wasm"
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Quiet)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            out = subprocess.run(["node", driver, f"http://127.0.0.1:{server.server_port}/index.html", str(runs)],
                                 capture_output=True, text=True, timeout=900 * runs,
                                 env={**os.environ, "NODE_PATH": os.path.join(REF_DIR, "node_modules")})
        finally:
            server.shutdown()
    times = [int(l.split()[1]) / 1000 for l in out.stdout.splitlines() if l.startswith("elapsed ")]
    traces = [l[6:] for l in out.stdout.splitlines() if l.startswith("trace ")]
    if not times:
        sys.stderr.write(out.stdout + out.stderr)
    return times, traces


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    iterations = int(os.environ.get("FW_BENCH_ITERATIONS", "1000000"))
    fwplay = os.environ.get("FWPLAY", os.path.join(ROOT, "build/release/player/tools/fwplay"))
    if "FWPLAY" not in os.environ:
        subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "release", "--target", "fwplay"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
    full, empty = movie(iterations), movie(0)
    with tempfile.TemporaryDirectory() as work:
        paths = []
        for name, data in (("loop.swf", full), ("empty.swf", empty)):
            paths.append(os.path.join(work, name))
            with open(paths[-1], "wb") as f:
                f.write(data)
        loop_runs = [run_ours(fwplay, paths[0]) for _ in range(runs)]
        base = statistics.median(run_ours(fwplay, paths[1])[0] for _ in range(runs))
    ours = [t - base for t, _ in loop_runs]
    print(f"avm1 loop of {iterations} turns, median of {runs} runs")
    print(f"  ours      {statistics.median(ours) * 1000:9.1f} ms  (spread {min(ours) * 1000:.1f}..{max(ours) * 1000:.1f})"
          f"  trace: {loop_runs[0][1]!r}")
    if os.environ.get("FW_BENCH_NOREF") == "1":
        return 0
    times, traces = run_reference(full, runs)
    if not times:
        print("  reference: no figure (see above)")
        return 1
    ref = statistics.median(times)
    print(f"  reference {ref * 1000:9.1f} ms  (spread {min(times) * 1000:.1f}..{max(times) * 1000:.1f})"
          f"  trace: {traces[0] if traces else ''!r}")
    print(f"  ratio ours/reference {statistics.median(ours) / ref:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
