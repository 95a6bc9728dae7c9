// The client against fake helpers, for what the real ones cannot be made to do.
import assert from "node:assert/strict";
import * as fs from "node:fs";
import * as path from "node:path";
import { after, describe, it } from "node:test";
import {
  HelperError,
  MAX_OUTPUT_BYTES,
  launchApplication,
  probeSettingsWindow,
  watchSettingsWindow,
  type ProbeResult,
} from "@tovrin-pelsor/client";
import {
  alive,
  delay,
  eventually,
  fakeHelpers,
  rejection,
  remember,
  stopLaunched,
  tempFolder,
} from "./support.js";

after(stopLaunched);

const SUCCESS = '{"bundleId":"org.example.fake","name":"Fake","pid":2147483647}';

describe("launchApplication reads exactly one reply line", () => {
  const cases: Array<{
    what: string;
    script: string;
    code: string;
    launched: "no" | "yes" | "unknown";
    exitCode: number | null;
    signal?: string;
  }> = [
    {
      what: "answering twice",
      script: `echo '{"error":"APPLICATION_NOT_FOUND"}'\necho '{"error":"APPLICATION_NOT_FOUND"}'\nexit 1`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 1,
    },
    {
      what: "a line that is not JSON",
      script: "echo 'launched!'\nexit 0",
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "no line feed at the end",
      script: `printf '%s' '${SUCCESS}'\nexit 0`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "bytes that are not UTF-8",
      script: `printf '{"bundleId":"a","name":"\\377","pid":5}\\n'\nexit 0`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "an unknown code",
      script: `echo '{"error":"NOPE"}'\nexit 1`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 1,
    },
    {
      what: "a member too many",
      script: `echo '{"bundleId":"a","name":"b","pid":5,"error":"PARENT_GONE"}'\nexit 0`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "a pid out of range",
      script: `echo '{"bundleId":"a","name":"b","pid":2147483648}'\nexit 0`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "success with status 1",
      script: `echo '${SUCCESS}'\nexit 1`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 1,
    },
    {
      what: "a failure with status 0",
      script: `echo '{"error":"APPLICATION_NOT_FOUND"}'\nexit 0`,
      code: "BAD_REPLY",
      launched: "unknown",
      exitCode: 0,
    },
    {
      what: "nothing at all",
      script: "exit 1",
      code: "NO_REPLY",
      launched: "unknown",
      exitCode: 1,
    },
    {
      what: "a name mismatch",
      script: `echo '{"error":"APPLICATION_NAME_MISMATCH"}'\nexit 1`,
      code: "APPLICATION_NAME_MISMATCH",
      launched: "no",
      exitCode: 1,
    },
    {
      what: "no usable pid",
      script: `echo '{"error":"APPLICATION_PID_UNAVAILABLE"}'\nexit 1`,
      code: "APPLICATION_PID_UNAVAILABLE",
      launched: "unknown",
      exitCode: 1,
    },
    {
      what: "the fallback after a failure",
      script: `echo '{"error":"BRIDGE_ERROR"}'\nexit 1`,
      code: "BRIDGE_ERROR",
      launched: "no",
      exitCode: 1,
    },
    {
      what: "the fallback after a launch",
      script: `echo '{"error":"BRIDGE_ERROR"}'\nexit 0`,
      code: "BRIDGE_ERROR",
      launched: "yes",
      exitCode: 0,
    },
    {
      what: "dying by a signal",
      script: "kill -KILL $$",
      code: "KILLED",
      launched: "unknown",
      exitCode: null,
      signal: "SIGKILL",
    },
    {
      what: "dying by a signal after half a line",
      script: `printf '{"bundleId":'\nkill -TERM $$`,
      code: "KILLED",
      launched: "unknown",
      exitCode: null,
      signal: "SIGTERM",
    },
    {
      what: "a whole line, then dying by a signal",
      script: `echo '${SUCCESS}'\nkill -KILL $$`,
      code: "KILLED",
      launched: "unknown",
      exitCode: null,
      signal: "SIGKILL",
    },
  ];
  for (const c of cases) {
    it(`refuses ${c.what}`, async () => {
      const helpersDir = fakeHelpers({ tovrin: c.script });
      const error = await rejection(
        launchApplication({ name: "Fake" }, { helpersDir, timeoutMs: 5000 }),
      );
      assert.equal(error.code, c.code);
      assert.equal(error.launched, c.launched);
      assert.equal(error.helper, "tovrin");
      assert.equal(error.exitCode, c.exitCode);
      assert.equal(error.signal, c.signal ?? null);
    });
  }

  it("puts together a reply split across writes", async () => {
    const helpersDir = fakeHelpers({
      tovrin: `printf '{"bundleId":"org.exa'\nsleep 0.05\nprintf 'mple.fake","name":"Fa'\nsleep 0.05\nprintf 'ke","pid":2147483647}'\nsleep 0.05\nprintf '\\n'`,
    });
    assert.deepEqual(await launchApplication({ name: "Fake" }, { helpersDir }), {
      bundleId: "org.example.fake",
      name: "Fake",
      pid: 2147483647,
    });
  });

  it("reads a reply of several megabytes whole", async () => {
    const dir = tempFolder();
    const name = "é/".repeat(1_500_000);
    fs.writeFileSync(
      path.join(dir, "reply"),
      JSON.stringify({ bundleId: "org.example.fake", name, pid: 7 }) + "\n",
    );
    const helpersDir = fakeHelpers({ tovrin: `cat '${path.join(dir, "reply")}'` });
    const application = await launchApplication({ name: "Fake" }, { helpersDir });
    assert.equal(application.name, name);
  });

  it("kills a helper whose output never ends, without waiting for the time limit", async () => {
    const dir = tempFolder();
    const helpersDir = fakeHelpers({
      tovrin: `echo $$ > '${dir}/pid'\nexec yes '{"error":"APPLICATION_NOT_FOUND"}'`,
    });
    const started = Date.now();
    const error = await rejection(
      launchApplication({ name: "Fake" }, { helpersDir, timeoutMs: 20_000 }),
    );
    assert.equal(error.code, "BAD_REPLY");
    assert.equal(error.launched, "unknown");
    assert.ok(Date.now() - started < 10_000);
    const pid = Number(fs.readFileSync(path.join(dir, "pid"), "utf8"));
    assert.ok(await eventually(() => !alive(pid)), "the helper still runs");
  });

  it("turns what spawn throws into a rejection", async () => {
    const helpersDir = fakeHelpers({ tovrin: `echo '${SUCCESS}'` });
    // An environment too large for exec (over one argument's limit on Linux, over the total on
    // macOS): spawn throws E2BIG.
    const promise = launchApplication(
      { name: "Fake" },
      { helpersDir, env: { BIG: "x".repeat(2_000_000) } },
    );
    const error = await rejection(promise);
    assert.equal(error.code, "SPAWN_FAILED");
    assert.equal(error.launched, "no");
    assert.match(error.message, /E2BIG/);
  });
});

describe("time limits and abort", () => {
  // Never answers, takes no notice of SIGTERM, and launches an "application" in its own
  // process group first, whose pid it writes down.
  function stubborn(dir: string): string {
    return fakeHelpers({
      tovrin: `trap '' TERM\nsleep 30 &\necho $! > '${dir}/app'\necho $$ > '${dir}/pid'\nexec sleep 30`,
      pelsor: `trap '' TERM\necho $$ > '${dir}/pid'\nexec sleep 30`,
    });
  }
  async function pidIn(file: string): Promise<number> {
    assert.ok(
      await eventually(() => fs.existsSync(file) && fs.readFileSync(file, "utf8").endsWith("\n")),
    );
    return Number(fs.readFileSync(file, "utf8"));
  }

  it("kills a helper that ignores SIGTERM at the limit, and leaves what it launched alone", async () => {
    const dir = tempFolder();
    const started = Date.now();
    const error = await rejection(
      launchApplication({ name: "Fake" }, { helpersDir: stubborn(dir), timeoutMs: 300 }),
    );
    const elapsed = Date.now() - started;
    assert.equal(error.code, "TIMEOUT");
    assert.equal(error.launched, "unknown");
    assert.ok(elapsed >= 290 && elapsed < 1500, `${elapsed} ms`);
    const app = await pidIn(path.join(dir, "app"));
    remember(app);
    const helper = await pidIn(path.join(dir, "pid"));
    assert.ok(await eventually(() => !alive(helper)), "the helper still runs");
    assert.ok(alive(app), "the launched application was signalled");
  });

  it("kills the helper on abort and settles at once", async () => {
    const dir = tempFolder();
    const controller = new AbortController();
    const promise = launchApplication(
      { name: "Fake" },
      { helpersDir: stubborn(dir), signal: controller.signal },
    );
    const helper = await pidIn(path.join(dir, "pid"));
    remember(await pidIn(path.join(dir, "app")));
    const started = Date.now();
    controller.abort();
    const error = await rejection(promise);
    assert.ok(Date.now() - started < 500);
    assert.equal(error.code, "ABORTED");
    assert.equal(error.launched, "unknown");
    assert.ok(await eventually(() => !alive(helper)), "the helper still runs");
  });

  it("starts nothing when the signal is already aborted", async () => {
    const dir = tempFolder();
    const helpersDir = fakeHelpers({ tovrin: `touch '${dir}/ran'`, pelsor: `touch '${dir}/ran'` });
    const signal = AbortSignal.abort();
    const launch = await rejection(launchApplication({ name: "Fake" }, { helpersDir, signal }));
    const probe = await rejection(probeSettingsWindow({ helpersDir, signal }));
    for (const error of [launch, probe]) {
      assert.equal(error.code, "ABORTED");
      assert.equal(error.launched, "no");
    }
    await delay(50);
    assert.ok(!fs.existsSync(path.join(dir, "ran")));
  });

  it("times the probe out too", async () => {
    const dir = tempFolder();
    const error = await rejection(
      probeSettingsWindow({ helpersDir: stubborn(dir), timeoutMs: 200 }),
    );
    assert.equal(error.code, "TIMEOUT");
    assert.equal(error.helper, "pelsor");
    assert.equal(error.launched, "no");
    assert.equal(error.message, "pelsor: TIMEOUT (no answer within 200 ms; killed)");
  });
});

describe("error messages name the helper, the code, what went wrong and how the helper ended", () => {
  const cases: Array<{ tovrin?: string; pelsor?: string; message: string }> = [
    {
      tovrin: `printf '%s' '${SUCCESS}'`,
      message: "tovrin: BAD_REPLY (no line feed at the end; exit status 0)",
    },
    {
      tovrin: `printf '{"name":"\\377"}\\n'`,
      message: "tovrin: BAD_REPLY (not UTF-8; exit status 0)",
    },
    {
      tovrin: "echo null\necho null\nexit 1",
      message: "tovrin: BAD_REPLY (more than one line; exit status 1)",
    },
    { tovrin: "echo 'launched!'", message: "tovrin: BAD_REPLY (not JSON; exit status 0)" },
    {
      tovrin: `echo '{"error": "PARENT_GONE"}'\nexit 1`,
      message: "tovrin: BAD_REPLY (white space outside strings; exit status 1)",
    },
    {
      tovrin: `echo '{"error":"NOPE"}'\nexit 1`,
      message: "tovrin: BAD_REPLY (not a reply; exit status 1)",
    },
    {
      tovrin: `echo '${SUCCESS}'\nexit 1`,
      message: "tovrin: BAD_REPLY (a reply with the wrong exit status; exit status 1)",
    },
    { tovrin: "kill -KILL $$", message: "tovrin: KILLED (killed by SIGKILL)" },
    { tovrin: "exit 1", message: "tovrin: NO_REPLY (exit status 1)" },
    {
      tovrin: `echo '{"error":"APPLICATION_NOT_FOUND"}'\nexit 1`,
      message: "tovrin: APPLICATION_NOT_FOUND (exit status 1)",
    },
    {
      tovrin: `echo '{"error":"BRIDGE_ERROR"}'`,
      message: "tovrin: BRIDGE_ERROR (launched, but the reply could not be written; exit status 0)",
    },
    { pelsor: "echo nope", message: "pelsor: BAD_REPLY (not JSON; exit status 0)" },
    {
      pelsor: `echo '{"bounds":null,"visible":true}'`,
      message: "pelsor: BAD_REPLY (not a result; exit status 0)",
    },
    {
      pelsor: "echo null\nexit 3",
      message: "pelsor: BAD_REPLY (a result with the wrong exit status; exit status 3)",
    },
    { pelsor: "exit 1", message: "pelsor: PROBE_REFUSED (exit status 1)" },
    { pelsor: "exit 0", message: "pelsor: NO_REPLY (exit status 0)" },
    { pelsor: "kill -KILL $$", message: "pelsor: KILLED (killed by SIGKILL)" },
  ];
  it("for each way a helper can fail", async () => {
    for (const c of cases) {
      const helpersDir = fakeHelpers(c);
      const call =
        c.tovrin !== undefined
          ? launchApplication({ name: "Fake" }, { helpersDir })
          : probeSettingsWindow({ helpersDir });
      assert.equal((await rejection(call)).message, c.message);
    }
  });

  it("and for the package's own refusals, with no status when the helper was not seen to end", async () => {
    const helpersDir = fakeHelpers({ tovrin: "exec sleep 30" });
    const controller = new AbortController();
    const aborted = rejection(
      launchApplication({ name: "Fake" }, { helpersDir, signal: controller.signal }),
    );
    await delay(50);
    controller.abort();
    assert.equal((await aborted).message, "tovrin: ABORTED (aborted; killed)");
    const early = await rejection(probeSettingsWindow({ helpersDir, signal: controller.signal }));
    assert.equal(early.message, "pelsor: ABORTED (aborted before the start)");
    const earlyLaunch = await rejection(
      launchApplication({ name: "Fake" }, { helpersDir, signal: controller.signal }),
    );
    assert.equal(earlyLaunch.message, "tovrin: ABORTED (aborted before the start)");
    const tooLarge = await rejection(
      launchApplication({ name: "é".repeat(70_000) }, { helpersDir }),
    );
    assert.equal(tooLarge.message, "tovrin: REQUEST_TOO_LARGE (140011 bytes, at most 131071)");
    const plain = new HelperError({
      code: "TIMEOUT",
      helper: "pelsor",
      launched: "no",
      exitCode: null,
      signal: null,
    });
    assert.equal(plain.message, "pelsor: TIMEOUT");
    assert.ok(!("cause" in plain), "a cause of undefined");
  });
});

describe("how a helper is started", () => {
  it("with standard input ignored: a helper that reads it sees its end at once", async () => {
    const helpersDir = fakeHelpers({ pelsor: "cat > /dev/null\necho null" });
    assert.equal(await probeSettingsWindow({ helpersDir, timeoutMs: 5000 }), null);
  });

  it("reports a helper that can no longer be started as SPAWN_FAILED, with nothing launched", async () => {
    const helpersDir = fakeHelpers({ pelsor: "echo null", tovrin: `echo '${SUCCESS}'` });
    assert.equal(await probeSettingsWindow({ helpersDir }), null);
    await launchApplication({ name: "Fake" }, { helpersDir });
    // Found once, then gone (an update replaced the application, say).
    fs.chmodSync(path.join(helpersDir, "pelsor"), 0o644);
    fs.chmodSync(path.join(helpersDir, "tovrin"), 0o644);
    for (const call of [
      probeSettingsWindow({ helpersDir }),
      launchApplication({ name: "Fake" }, { helpersDir }),
    ]) {
      const error = await rejection(call);
      assert.equal(error.code, "SPAWN_FAILED");
      assert.equal(error.launched, "no");
    }
  });
});

describe("the output cap", () => {
  it("reads exactly MAX_OUTPUT_BYTES, and kills the helper at one byte more", async () => {
    const dir = tempFolder();
    const frame = Buffer.byteLength(JSON.stringify({ bundleId: "a", name: "", pid: 5 }) + "\n");
    const name = "n".repeat(MAX_OUTPUT_BYTES - frame);
    fs.writeFileSync(
      path.join(dir, "reply"),
      JSON.stringify({ bundleId: "a", name, pid: 5 }) + "\n",
    );
    fs.writeFileSync(
      path.join(dir, "longer"),
      JSON.stringify({ bundleId: "a", name: name + "n", pid: 5 }) + "\n",
    );
    assert.equal(fs.statSync(path.join(dir, "reply")).size, MAX_OUTPUT_BYTES);
    const whole = await launchApplication(
      { name: "Fake" },
      { helpersDir: fakeHelpers({ tovrin: `cat '${dir}/reply'` }) },
    );
    assert.equal(whole.name.length, name.length);
    const error = await rejection(
      launchApplication(
        { name: "Fake" },
        { helpersDir: fakeHelpers({ tovrin: `cat '${dir}/longer'` }) },
      ),
    );
    assert.equal(
      error.message,
      `tovrin: BAD_REPLY (more than ${MAX_OUTPUT_BYTES} bytes of output; killed)`,
    );
  });
});

describe("probeSettingsWindow reads exactly one result", () => {
  const WINDOW = '{"bounds":{"x":-1.5,"y":80,"width":715,"height":560},"visible":false}';
  it("reads a window", async () => {
    const helpersDir = fakeHelpers({ pelsor: `echo '${WINDOW}'` });
    assert.deepEqual(await probeSettingsWindow({ helpersDir }), {
      bounds: { x: -1.5, y: 80, width: 715, height: 560 },
      visible: false,
    });
  });
  const cases = [
    { what: "nothing with status 0", script: "exit 0", code: "NO_REPLY" },
    {
      what: "a window smaller than any the probe reports",
      script: `echo '{"bounds":{"x":0,"y":0,"width":299,"height":560},"visible":true}'`,
      code: "BAD_REPLY",
    },
    {
      what: "a missing member",
      script: `echo '{"bounds":{"x":0,"y":0,"width":300},"visible":true}'`,
      code: "BAD_REPLY",
    },
    { what: "a result with status 1", script: `echo null\nexit 1`, code: "BAD_REPLY" },
    { what: "two results", script: "echo null\necho null", code: "BAD_REPLY" },
    { what: "dying by a signal", script: "kill -KILL $$", code: "KILLED" },
  ];
  for (const c of cases) {
    it(`refuses ${c.what}`, async () => {
      const error = await rejection(
        probeSettingsWindow({ helpersDir: fakeHelpers({ pelsor: c.script }) }),
      );
      assert.equal(error.code, c.code);
      assert.equal(error.launched, "no");
    });
  }
});

describe("watchSettingsWindow", () => {
  // A probe that answers with the snippets in `steps`, one per run, then the last one for ever.
  function scripted(steps: string[]): string {
    const dir = tempFolder();
    steps.forEach((step, index) => fs.writeFileSync(path.join(dir, `step-${index}`), step + "\n"));
    return fakeHelpers({
      pelsor: [
        `n=$(cat '${dir}/count' 2>/dev/null || echo 0)`,
        `echo $((n + 1)) > '${dir}/count'`,
        `f='${dir}/step-'$n`,
        `[ -f "$f" ] || f='${dir}/step-${steps.length - 1}'`,
        `. "$f"`,
      ].join("\n"),
    });
  }
  const window = (x: number, visible: boolean): string =>
    `echo '{"bounds":{"x":${x},"y":0,"width":800,"height":600},"visible":${visible}}'`;

  it("emits the first value, then changes only; each run of one error once, then recovered", async () => {
    const helpersDir = scripted([
      "echo null",
      "echo null",
      window(10, true),
      window(10, true),
      "exit 1",
      "exit 1",
      window(10, true),
      window(10, false),
      "echo nope",
      "exit 1",
      "exit 1",
      window(10, false),
      window(20, false),
      "echo null",
    ]);
    const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
    const events: string[] = [];
    watcher.on("change", (value) => events.push(`change ${JSON.stringify(value)}`));
    watcher.on("error", (error) => events.push(`error ${error.code}`));
    watcher.on("recovered", () => events.push("recovered"));
    const done = await eventually(() => events.length >= 10, 5000);
    await delay(100);
    watcher.stop();
    assert.ok(done, events.join("\n"));
    const frame = (x: number, visible: boolean): string =>
      `change {"bounds":{"x":${x},"y":0,"width":800,"height":600},"visible":${visible}}`;
    assert.deepEqual(events, [
      "change null",
      frame(10, true),
      "error PROBE_REFUSED",
      "recovered",
      frame(10, false),
      "error BAD_REPLY",
      "error PROBE_REFUSED",
      "recovered",
      frame(20, false),
      "change null",
    ]);
  });

  it("tells a change in any one of the five fields", { timeout: 10_000 }, async () => {
    const frame = (x: number, y: number, width: number, height: number, visible: boolean): string =>
      `echo '${JSON.stringify({ bounds: { x, y, width, height }, visible })}'`;
    const steps = [
      frame(1, 2, 800, 600, true),
      frame(1, 2, 800, 600, true),
      frame(9, 2, 800, 600, true),
      frame(9, 9, 800, 600, true),
      frame(9, 9, 900, 600, true),
      frame(9, 9, 900, 700, true),
      frame(9, 9, 900, 700, false),
      "echo null",
      "echo null",
      frame(9, 9, 900, 700, false),
    ];
    const watcher = watchSettingsWindow({ helpersDir: scripted(steps), intervalMs: 15 });
    const changes: string[] = [];
    watcher.on("change", (value) => changes.push(JSON.stringify(value)));
    const done = await eventually(() => changes.length >= 8, 5000);
    await delay(60);
    watcher.stop();
    assert.ok(done, changes.join("\n"));
    assert.deepEqual(
      changes,
      [0, 2, 3, 4, 5, 6]
        .map((i) => (steps[i] as string).slice(6, -1))
        .concat(["null", (steps[9] as string).slice(6, -1)]),
    );
  });

  it("never overlaps probes, skips the ticks that fall during one, and kills the one in flight on stop", async () => {
    const dir = tempFolder();
    const log = path.join(dir, "log");
    const helpersDir = fakeHelpers({
      pelsor: `echo "start $$" >> '${log}'\nsleep 0.2\necho "end $$" >> '${log}'\necho null`,
    });
    const watcher = watchSettingsWindow({ helpersDir, intervalMs: 20 });
    const afterStop: string[] = [];
    for (const event of ["change", "error", "recovered"] as const) {
      watcher.on(event as "change", () => {
        if (watcher.stopped) afterStop.push(event);
      });
    }
    await delay(700);
    // Stop while a probe is under way.
    assert.ok(
      await eventually(
        () => fs.readFileSync(log, "utf8").trim().split("\n").at(-1)?.startsWith("start") ?? false,
      ),
    );
    watcher.stop();
    const stoppedAt = fs.readFileSync(log, "utf8");
    await delay(400);
    const entries = fs.readFileSync(log, "utf8").trim().split("\n");
    assert.equal(fs.readFileSync(log, "utf8"), stoppedAt, "a probe ran on after stop()");
    assert.deepEqual(afterStop, [], "an event after stop()");
    // Strictly start, end, start, end, ..., start: never two at once.
    entries.forEach((entry, index) =>
      assert.ok(entry.startsWith(index % 2 === 0 ? "start" : "end"), entries.join("\n")),
    );
    const starts = entries.filter((entry) => entry.startsWith("start"));
    // 200 ms probes in about 0.7-0.9 s: queued ticks would have run many more, back to back.
    assert.ok(starts.length >= 2 && starts.length <= 6, entries.join("\n"));
    const last = Number(starts.at(-1)?.split(" ")[1]);
    assert.ok(await eventually(() => !alive(last)), "the probe in flight still runs");
  });

  it("is an async iterable: the latest value first, then changes; leaving the loop stops it", async () => {
    const helpersDir = scripted(["echo null", window(1, true), window(1, true), window(2, true)]);
    const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
    const seen: ProbeResult[] = [];
    for await (const value of watcher) {
      seen.push(value);
      if (seen.length === 3) break;
    }
    assert.equal(watcher.stopped, true);
    assert.deepEqual(
      seen.map((value) => value?.bounds.x ?? null),
      [null, 1, 2],
    );
  });

  it(
    "ends a loop with the first failure, after the values it has not yet yielded, and stops",
    { timeout: 10_000 },
    async () => {
      const helpersDir = scripted([
        "echo null",
        window(3, false),
        "exit 1",
        "echo nope",
        window(4, false),
      ]);
      const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
      const errors: string[] = [];
      watcher.on("error", (error) => errors.push(error.code));
      const seen: ProbeResult[] = [];
      const thrown = await (async () => {
        for await (const value of watcher) {
          seen.push(value);
          // Slower than the probes: the failure comes while a value waits to be yielded.
          if (seen.length === 1) await delay(200);
        }
      })().then(
        () => assert.fail("the loop ended without the failure"),
        (error: unknown) => error,
      );
      assert.ok(thrown instanceof HelperError);
      assert.equal(thrown.code, "PROBE_REFUSED");
      assert.deepEqual(
        seen.map((value) => value?.bounds.x ?? null),
        [null, 3],
      );
      assert.equal(watcher.stopped, true);
      assert.deepEqual(errors, ["PROBE_REFUSED"]);
      // A later loop over the watcher it stopped throws the same failure after the latest value.
      const again: ProbeResult[] = [];
      await assert.rejects(
        async () => {
          for await (const value of watcher) again.push(value);
        },
        (error: unknown) => error === thrown,
      );
      assert.deepEqual(
        again.map((value) => value?.bounds.x),
        [3],
      );
    },
  );

  it(
    "throws at once to a loop begun while probes are failing, even with no error listener",
    { timeout: 10_000 },
    async () => {
      const dir = tempFolder();
      const helpersDir = fakeHelpers({ pelsor: `touch '${dir}/ran'\nexit 1` });
      const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
      assert.ok(await eventually(() => fs.existsSync(path.join(dir, "ran"))));
      await delay(100);
      assert.equal(watcher.stopped, false, "failures with no loop stopped the watcher");
      const values: ProbeResult[] = [];
      await assert.rejects(
        async () => {
          for await (const value of watcher) values.push(value);
        },
        (error: unknown) => error instanceof HelperError && error.code === "PROBE_REFUSED",
      );
      assert.deepEqual(values, []);
      assert.equal(watcher.stopped, true);
    },
  );

  it(
    "with keepGoing, goes on through failures: the loop sees the values, the error event the failures",
    { timeout: 10_000 },
    async () => {
      const helpersDir = scripted(["exit 1", "echo null", "exit 1", window(5, true)]);
      const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15, keepGoing: true });
      const errors: string[] = [];
      watcher.on("error", (error) => errors.push(error.code));
      const seen: ProbeResult[] = [];
      for await (const value of watcher) {
        seen.push(value);
        if (seen.length === 2) break;
      }
      assert.deepEqual(
        seen.map((value) => value?.bounds.x ?? null),
        [null, 5],
      );
      assert.deepEqual(errors, ["PROBE_REFUSED", "PROBE_REFUSED"]);
      assert.equal(watcher.stopped, true);
    },
  );

  it("does nothing with a signal aborted before it starts", async () => {
    const dir = tempFolder();
    const helpersDir = fakeHelpers({ pelsor: `touch '${dir}/ran'\necho null` });
    const signal = AbortSignal.abort();
    const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15, signal });
    assert.equal(watcher.stopped, true);
    const values: ProbeResult[] = [];
    for await (const value of watcher) values.push(value);
    await delay(100);
    assert.deepEqual(values, []);
    assert.equal(watcher.value, undefined);
    assert.ok(!fs.existsSync(path.join(dir, "ran")), "a probe ran");
  });

  it(
    "keeps the latest value; a loop waiting for one throws the failure that comes instead",
    { timeout: 10_000 },
    async () => {
      const helpersDir = scripted([window(7, true), "sleep 0.3\nexit 1"]);
      const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
      const initial: ProbeResult | undefined = watcher.value;
      assert.equal(initial, undefined);
      const iterator = watcher[Symbol.asyncIterator]();
      assert.equal(iterator[Symbol.asyncIterator](), iterator);
      const first = await iterator.next();
      assert.equal(first.value?.bounds.x, 7);
      assert.equal(watcher.value?.bounds.x, 7);
      // Waiting now, while the slow probe runs.
      await assert.rejects(
        iterator.next(),
        (error: unknown) => error instanceof HelperError && error.code === "PROBE_REFUSED",
      );
      assert.equal(watcher.stopped, true);
      // And done from then on.
      assert.deepEqual(await iterator.next(), { value: undefined, done: true });
      assert.deepEqual(await iterator.return?.(), { value: undefined, done: true });
    },
  );

  it(
    "a loop over a stopped watcher yields the latest value and ends; an ended loop stays ended",
    { timeout: 10_000 },
    async () => {
      const helpersDir = scripted([window(8, false)]);
      const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15 });
      const iterator = watcher[Symbol.asyncIterator]();
      assert.equal((await iterator.next()).value?.bounds.x, 8);
      const pending = iterator.next();
      watcher.stop();
      assert.deepEqual(await pending, { value: undefined, done: true });
      const again = await Promise.race([iterator.next(), delay(500).then(() => "still waiting")]);
      assert.deepEqual(again, { value: undefined, done: true });
      const values: ProbeResult[] = [];
      for await (const value of watcher) values.push(value);
      assert.deepEqual(
        values.map((value) => value?.bounds.x),
        [8],
      );
    },
  );

  it("stops on its signal and ends every iteration", async () => {
    const helpersDir = scripted(["exec sleep 5"]);
    const controller = new AbortController();
    const watcher = watchSettingsWindow({ helpersDir, intervalMs: 15, signal: controller.signal });
    const iteration = (async () => {
      const values: ProbeResult[] = [];
      for await (const value of watcher) values.push(value);
      return values;
    })();
    await delay(50);
    controller.abort();
    assert.deepEqual(await iteration, []);
    assert.equal(watcher.stopped, true);
  });

  it("throws at once when the probe cannot be found", () => {
    assert.throws(
      () => watchSettingsWindow({ helpersDir: tempFolder() }),
      (error: unknown) =>
        error instanceof HelperError &&
        error.code === "SPAWN_FAILED" &&
        /pelsor: no such file/.test(error.message),
    );
  });
});
