#!/usr/bin/env node
// The Node.js client's overhead against the floor of starting any program through it.
//
//   bench/node-client.mjs [BIN_DIR] [CALLS] [WATCH_SECONDS]
//
// BIN_DIR (default build-programs/bin, where the preset "programs" builds) holds the built pelsor;
// the client must be built first (cd clients/node && npm ci && npm run build).
//
// 1. CALLS (default 200) probes through probeSettingsWindow(), alternating with as many calls of
//    the same function whose "pelsor" is /bin/true (a link in a temporary folder): the same
//    spawn, read and parse code, with a program that does nothing. Median and 95th percentile of
//    the wall time of each, and their ratios.
// 2. The watcher at 250 ms, for WATCH_SECONDS (default 15) per round, two rounds per kind,
//    alternating, with the real probe and with /bin/true in its place: the CPU time of this
//    process (process.cpuUsage, microseconds) and of the probes it started (the reaped children's
//    times from /proc/self/stat, in clock ticks of 10 ms), scaled to one minute.
// Goal: the real probe within 1.1x of /bin/true in both.
import * as fs from "node:fs";
import * as os from "node:os";
import * as path from "node:path";
import { fileURLToPath } from "node:url";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..");
const client = await import(path.join(root, "clients/node/dist/esm/index.js")).catch(() => {
  console.error("build the client first: cd clients/node && npm ci && npm run build");
  process.exit(2);
});
const { probeSettingsWindow, watchSettingsWindow } = client;

const bin = path.resolve(process.argv[2] ?? path.join(root, "build-programs/bin"));
const calls = Number(process.argv[3] ?? 200);
const watchSeconds = Number(process.argv[4] ?? 15);

const floorDir = fs.mkdtempSync(path.join(os.tmpdir(), "node-client-bench-"));
fs.symlinkSync("/bin/true", path.join(floorDir, "pelsor"));
process.on("exit", () => fs.rmSync(floorDir, { recursive: true, force: true }));

// One call, in milliseconds; the floor's call rejects (no reply), as it must.
async function timed(helpersDir) {
  const start = process.hrtime.bigint();
  try {
    await probeSettingsWindow({ helpersDir });
  } catch (error) {
    if (error.code !== "NO_REPLY") throw error;
  }
  return Number(process.hrtime.bigint() - start) / 1e6;
}

function quantile(sorted, q) {
  return sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
}

const probe = [];
const floor = [];
for (let i = 0; i < 20; i++) {
  await timed(bin);
  await timed(floorDir);
}
for (let i = 0; i < calls; i++) {
  probe.push(await timed(bin));
  floor.push(await timed(floorDir));
}
probe.sort((a, b) => a - b);
floor.sort((a, b) => a - b);
const row = (name, values) =>
  `${name.padEnd(22)} median ${quantile(values, 0.5).toFixed(3)} ms   p95 ${quantile(values, 0.95).toFixed(3)} ms`;
console.log(`one call, ${calls} each, alternating`);
console.log(row("probeSettingsWindow", probe));
console.log(row("same code, /bin/true", floor));
console.log(
  `ratio                  median ${(quantile(probe, 0.5) / quantile(floor, 0.5)).toFixed(3)}x   p95 ${(
    quantile(probe, 0.95) / quantile(floor, 0.95)
  ).toFixed(3)}x`,
);

// The reaped children's user and system time, in milliseconds (Linux).
function childrenMs() {
  const stat = fs.readFileSync("/proc/self/stat", "utf8");
  const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
  // Fields 16 and 17 of the whole line (cutime, cstime) are 14 and 15 after the name.
  return ((Number(fields[13]) + Number(fields[14])) * 1000) / 100;
}

async function watchRound(helpersDir) {
  const watcher = watchSettingsWindow({ helpersDir, intervalMs: 250 });
  watcher.on("error", () => {}); // the floor's "no reply", once
  const self = process.cpuUsage();
  const children = childrenMs();
  await new Promise((resolve) => setTimeout(resolve, watchSeconds * 1000));
  watcher.stop();
  const used = process.cpuUsage(self);
  await new Promise((resolve) => setTimeout(resolve, 300)); // the last probe is reaped
  return { self: (used.user + used.system) / 1000, children: childrenMs() - children };
}

if (fs.existsSync("/proc/self/stat") && watchSeconds > 0) {
  const totals = { probe: { self: 0, children: 0 }, floor: { self: 0, children: 0 } };
  for (let round = 0; round < 2; round++) {
    for (const [kind, dir] of [["probe", bin], ["floor", floorDir]]) {
      const used = await watchRound(dir);
      totals[kind].self += used.self;
      totals[kind].children += used.children;
    }
  }
  const perMinute = (ms) => ((ms * 60) / (2 * watchSeconds)).toFixed(1);
  console.log(`\nwatcher at 250 ms, CPU ms per minute (measured over 2 x ${watchSeconds} s each, scaled)`);
  for (const [kind, name] of [["probe", "real probe"], ["floor", "/bin/true"]]) {
    const t = totals[kind];
    console.log(
      `${name.padEnd(12)} this process ${perMinute(t.self).padStart(7)}   probes ${perMinute(t.children).padStart(7)}   total ${perMinute(t.self + t.children).padStart(7)}`,
    );
  }
  const p = totals.probe;
  const f = totals.floor;
  console.log(
    `ratio        this process ${(p.self / f.self).toFixed(3)}x   total ${((p.self + p.children) / (f.self + f.children)).toFixed(3)}x`,
  );
}
