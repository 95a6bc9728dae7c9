// The package on a real Mac's desktop: Calculator launched through it by identifier and by the
// display name this system gives it, and the probe while System Settings is open and after it
// closed. Only on macOS, with the built helpers; elsewhere skipped. With
// MACOS_TESTS_REQUIRE_DESKTOP=1 (as in the workflow) a desktop that cannot be tested fails instead.
// Applications the tests start are stopped; ones that were running before are left alone.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import * as fs from "node:fs";
import * as path from "node:path";
import { after, before, describe, it } from "node:test";
import { launchApplication, probeSettingsWindow, type ProbeResult } from "@tovrin-pelsor/client";
import { alive, delay } from "./support.js";

const CALCULATOR = "com.apple.calculator";
const SETTINGS = "com.apple.systempreferences";
const required = process.env["MACOS_TESTS_REQUIRE_DESKTOP"] === "1";
const binDir = process.env["TOVRIN_PELSOR_TEST_BIN_DIR"];
// The build's own helper that prints what the system says (tests/macos/desktop_facts.cc), next to
// bin/ in the build folder unless given.
const factsProgram =
  process.env["TOVRIN_PELSOR_TEST_DESKTOP_FACTS"] ??
  (binDir === undefined ? "" : path.resolve(binDir, "..", "tests", "desktop_facts"));

/** The session this process runs in: "Aqua" for a logged-in desktop, not for ssh or a daemon. */
function sessionManager(): string {
  if (process.platform !== "darwin") return "";
  return spawnSync("launchctl", ["managername"], { encoding: "utf8" }).stdout?.trim() ?? "";
}

/** Why the desktop cannot be tested here, or undefined when it can. */
function missing(): string | undefined {
  if (process.platform !== "darwin") return "needs macOS";
  if (binDir === undefined) return "needs TOVRIN_PELSOR_TEST_BIN_DIR";
  if (!fs.existsSync(factsProgram))
    return `no ${factsProgram} (set TOVRIN_PELSOR_TEST_DESKTOP_FACTS)`;
  // Where the desktop is required the tests run whatever the session is called, and fail by
  // themselves if it cannot be reached: the name only decides whether a developer's run skips.
  const manager = sessionManager();
  if (!required && manager !== "Aqua")
    return `no desktop session (launchctl managername: ${manager || "nothing"})`;
  return undefined;
}
const reason = missing();
const skip = reason !== undefined && !required ? reason : false;

interface Facts {
  /** The frontmost application's pid, if any. */
  front: number | null;
  /** The pids of the running applications with the identifier asked for. */
  running: number[];
}

function facts(bundleId: string): Facts {
  const run = spawnSync(factsProgram, [bundleId], { encoding: "utf8", timeout: 30_000 });
  assert.equal(run.status, 0, `desktop_facts ${bundleId}: ${run.stderr}`);
  const [front = "", running = ""] = run.stdout.split("\n");
  return {
    front: front === "none" ? null : Number(front),
    running: running.trim() === "" ? [] : running.trim().split(/\s+/).map(Number),
  };
}

function displayName(bundleId: string): string {
  const run = spawnSync(factsProgram, ["--display-name", bundleId], {
    encoding: "utf8",
    timeout: 30_000,
  });
  assert.equal(run.status, 0, `no display name for ${bundleId}: ${run.stderr}`);
  return run.stdout.replace(/\n$/, "");
}

async function within(ms: number, check: () => boolean | Promise<boolean>): Promise<boolean> {
  const end = Date.now() + ms;
  for (;;) {
    if (await check()) return true;
    if (Date.now() > end) return false;
    await delay(200);
  }
}

/** Stops an application the tests started and waits until it is gone. */
async function stop(pid: number): Promise<void> {
  try {
    process.kill(pid, "SIGTERM");
  } catch {
    return; // already gone
  }
  if (!(await within(10_000, () => !alive(pid)))) {
    try {
      process.kill(pid, "SIGKILL");
    } catch {
      // Gone after all.
    }
    assert.fail(`pid ${pid} did not end on SIGTERM`);
  }
}

const started = new Set<number>();
async function stopStarted(): Promise<void> {
  for (const pid of [...started]) {
    started.delete(pid);
    await stop(pid);
  }
}

describe("macOS: the package on the desktop", { skip }, () => {
  const call = { helpersDir: binDir ?? "" };

  before(() => {
    // Reached only when the desktop is required: a desktop that cannot be tested is a failure.
    if (reason !== undefined) assert.fail(`MACOS_TESTS_REQUIRE_DESKTOP=1, but ${reason}`);
    console.log(`# session: ${sessionManager() || "unknown"}`);
  });
  after(stopStarted);

  it("launches Calculator in the background by identifier and by the display name read here", async (t) => {
    const name = displayName(CALCULATOR);
    t.diagnostic(`Calculator's display name here: ${JSON.stringify(name)}`);
    assert.notEqual(name, "");
    for (const target of [{ bundleId: CALCULATOR }, { name }]) {
      const was = facts(CALCULATOR);
      const application = await launchApplication(target, call);
      t.diagnostic(`${JSON.stringify(target)} -> ${JSON.stringify(application)}`);
      if (!was.running.includes(application.pid)) started.add(application.pid);
      assert.deepEqual(Object.keys(application).sort(), ["bundleId", "name", "pid"]);
      assert.equal(application.bundleId, CALCULATOR);
      assert.equal(application.name, name);
      assert.ok(Number.isInteger(application.pid) && application.pid > 0);
      assert.ok(
        await within(10_000, () => facts(CALCULATOR).running.includes(application.pid)),
        "it does not run",
      );
      // An application that was going to come to the front would have done so by now.
      await delay(2_000);
      assert.equal(facts(CALCULATOR).front, was.front, "the frontmost application changed");
      await stopStarted(); // so that the next request launches rather than finds it
    }
  });

  let settingsRanBefore = false;
  let settingsStarted: number[] = [];

  it("probes the settings window while System Settings is open", async (t) => {
    const was = facts(SETTINGS);
    settingsRanBefore = was.running.length > 0;
    if (!settingsRanBefore)
      assert.equal(await probeSettingsWindow(call), null, "a settings window before it opened");
    assert.equal(spawnSync("/usr/bin/open", ["-b", SETTINGS]).status, 0, "open -b failed");
    assert.ok(
      await within(10_000, () => facts(SETTINGS).running.length > 0),
      "System Settings does not run",
    );
    settingsStarted = facts(SETTINGS).running.filter((pid) => !was.running.includes(pid));
    for (const pid of settingsStarted) started.add(pid);

    let result: ProbeResult = null;
    assert.ok(
      await within(20_000, async () => (result = await probeSettingsWindow(call)) !== null),
      "no settings window appeared",
    );
    // The activation is asynchronous: the probe's "visible" must match what was true just before
    // or just after it.
    let matched = false;
    for (let attempt = 0; attempt < 10 && !matched; attempt++) {
      const inFront = (): boolean => {
        const now = facts(SETTINGS);
        return now.front !== null && now.running.includes(now.front);
      };
      const frontBefore = inFront();
      result = await probeSettingsWindow(call);
      const frontAfter = inFront();
      t.diagnostic(
        `probe -> ${JSON.stringify(result)} (in front before: ${frontBefore}, after: ${frontAfter})`,
      );
      assert.notEqual(result, null, "the settings window went away");
      matched = result!.visible === frontBefore || result!.visible === frontAfter;
      if (!matched) await delay(500);
    }
    assert.ok(matched, "visible never matched whether System Settings was in front");
    const { bounds } = result!;
    assert.deepEqual(Object.keys(bounds).sort(), ["height", "width", "x", "y"]);
    assert.ok(Number.isFinite(bounds.x) && Number.isFinite(bounds.y));
    assert.ok(bounds.width >= 300 && bounds.height >= 200, JSON.stringify(bounds));
  });

  it("probes null once System Settings has closed", async (t) => {
    if (settingsRanBefore) {
      // Not ours to close. In the workflow this skip fails the run.
      t.skip("System Settings ran before the tests and is left open");
      return;
    }
    assert.ok(settingsStarted.length > 0, "System Settings was not seen running");
    await stopStarted();
    let result: ProbeResult = null;
    const gone = await within(
      10_000,
      async () => (result = await probeSettingsWindow(call)) === null,
    );
    assert.ok(gone, `still a settings window: ${JSON.stringify(result)}`);
  });
});
