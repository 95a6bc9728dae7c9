// Options checked before anything starts, and signals shared by many calls.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { getEventListeners } from "node:events";
import * as fs from "node:fs";
import * as path from "node:path";
import { fileURLToPath } from "node:url";
import { describe, it } from "node:test";
import {
  launchApplication,
  probeSettingsWindow,
  watchSettingsWindow,
  type LaunchTarget,
} from "@tovrin-pelsor/client";
import { BAD, GOOD, type Outcome } from "./bad-options.js";
import { delay, fakeHelpers, rejection, tempFolder } from "./support.js";

describe("options", () => {
  // One process for the whole table: a throw after a call settles would end it.
  const child = spawnSync(
    process.execPath,
    [fileURLToPath(new URL("./bad-options.js", import.meta.url)), tempFolder()],
    {
      encoding: "utf8",
      timeout: 60_000,
    },
  );
  const outcomes = (): Outcome[] => JSON.parse(child.stdout) as Outcome[];

  it("a process that passes bad options lives on, and prints no warning", () => {
    assert.equal(child.status, 0, child.stderr);
    assert.equal(child.stderr, "");
  });

  it("refuse a wrong type or value with a TypeError or RangeError, before anything starts", () => {
    const bad = outcomes().filter((outcome) => BAD.some((c) => c.what === outcome.what));
    assert.ok(bad.length >= BAD.length);
    for (const outcome of bad) {
      const expected = BAD.find((c) => c.what === outcome.what)?.error;
      const label = `${outcome.entry} with ${outcome.what}: ${outcome.error} ${outcome.message}`;
      assert.equal(outcome.error, expected, label);
      // The watcher throws; the promise-returning calls reject and never throw.
      assert.equal(outcome.thrown, outcome.entry === "watchSettingsWindow", label);
      assert.equal(outcome.started, false, label);
      // The package's own words, naming the option, not an error of the code that took it for another type.
      assert.match(
        outcome.message,
        /^(signal|env(\.\w+)?|helpersDir|timeoutMs|intervalMs|keepGoing|the options) must be /,
        label,
      );
    }
    // Each message names the option.
    const message = (entry: string, what: string): string =>
      outcomes().find((outcome) => outcome.entry === entry && outcome.what === what)?.message ?? "";
    assert.match(
      message("launchApplication", "the AbortController as signal"),
      /^signal must be an AbortSignal \(an AbortController's signal\), not \[object AbortController\]$/,
    );
    assert.match(message("probeSettingsWindow", "a string as env"), /^env must be an object/);
    assert.match(
      message("probeSettingsWindow", "a number in env"),
      /^env\.PORT must be a string, not 8080$/,
    );
    assert.match(
      message("watchSettingsWindow", "a number as helpersDir"),
      /^helpersDir must be a string, not 5$/,
    );
    assert.match(
      message("launchApplication", "0 as timeoutMs"),
      /^timeoutMs must be from 1 to 2147483647 milliseconds, not 0$/,
    );
    assert.match(
      message("watchSettingsWindow", "a string as intervalMs"),
      /^intervalMs must be a number of milliseconds, not "250"$/,
    );
    assert.match(
      message("watchSettingsWindow", "a string as keepGoing"),
      /^keepGoing must be a boolean/,
    );
    assert.match(
      message("probeSettingsWindow", "null as the options"),
      /^the options must be an object, not null$/,
    );
  });

  it("accept the bounds and what merely behaves as an AbortSignal", () => {
    const good = outcomes().filter((outcome) => GOOD.some((c) => c.what === outcome.what));
    assert.ok(good.length >= GOOD.length);
    for (const outcome of good) {
      assert.ok(
        !["TypeError", "RangeError"].includes(outcome.error),
        `${outcome.entry} with ${outcome.what}: ${outcome.message}`,
      );
      assert.equal(outcome.thrown, false);
    }
    // With room enough, the helper ran.
    const started = (what: string): boolean[] =>
      good.filter((outcome) => outcome.what === what).map((outcome) => outcome.started);
    assert.deepEqual(started("the longest timeoutMs"), [true, true, true]);
    assert.deepEqual(started("an env with undefined and no prototype"), [true, true]);
  });
});

describe("options, in this process", () => {
  const OPTION =
    /^(signal|env(\.\w+)?|helpersDir|timeoutMs|intervalMs|keepGoing|the options) must be /;

  it("the same refusals, with nothing started", async () => {
    const dir = tempFolder();
    const helpersDir = fakeHelpers({ tovrin: `touch '${dir}/ran'`, pelsor: `touch '${dir}/ran'` });
    for (const c of BAD) {
      const options =
        typeof c.options === "object" && c.options !== null
          ? { helpersDir, ...c.options }
          : c.options;
      const Class = c.error === "TypeError" ? TypeError : RangeError;
      const check = (error: unknown): boolean =>
        error instanceof Class && OPTION.test(error.message);
      const entries = c.entries ?? [
        "launchApplication",
        "probeSettingsWindow",
        "watchSettingsWindow",
      ];
      if (entries.includes("launchApplication"))
        await assert.rejects(launchApplication({ name: "x" }, options as never), check, c.what);
      if (entries.includes("probeSettingsWindow"))
        await assert.rejects(probeSettingsWindow(options as never), check, c.what);
      if (entries.includes("watchSettingsWindow"))
        assert.throws(() => watchSettingsWindow(options as never), check, c.what);
    }
    await delay(100);
    assert.ok(!fs.existsSync(path.join(dir, "ran")), "a helper was started");
  });

  it("a target that is not exactly one of bundleId and name, as a string", async () => {
    const dir = tempFolder();
    const helpersDir = fakeHelpers({ tovrin: `touch '${dir}/ran'` });
    // What is not an object at all, and an object that does not name the application right.
    const notAnObject = "the target must be { bundleId } or { name }";
    const notOneString = "the target must hold exactly one of bundleId and name, as a string";
    const bad: Array<[unknown, string]> = [
      [null, notAnObject],
      ["Calculator", notAnObject],
      [5, notAnObject],
      [{}, notOneString],
      [{ name: 5 }, notOneString],
      [{ bundleId: true }, notOneString],
      [{ name: "a", bundleId: "b" }, notOneString],
      [{ name: "a", bundleId: null }, notOneString],
      [{ bundleId: "a", name: null }, notOneString],
    ];
    for (const [target, message] of bad) {
      await assert.rejects(
        launchApplication(target as LaunchTarget, { helpersDir }),
        (error: unknown) => error instanceof TypeError && error.message === message,
        JSON.stringify(target),
      );
    }
    await delay(100);
    assert.ok(!fs.existsSync(path.join(dir, "ran")), "a helper was started");
    // Each good form reaches the helper, as the one request it stands for.
    const echo = fakeHelpers({
      tovrin: `printf '{"bundleId":"%s","name":"","pid":7}\\n' "$(printf '%s' "$1" | tr '"' "'")"`,
    });
    const good: Array<[LaunchTarget, string]> = [
      [{ bundleId: "a" }, `{'bundleId':'a'}`],
      [{ name: "" }, `{'name':''}`],
      [{ name: "b", bundleId: undefined }, `{'name':'b'}`],
      [{ bundleId: "c", name: undefined }, `{'bundleId':'c'}`],
    ];
    for (const [target, request] of good) {
      assert.equal((await launchApplication(target, { helpersDir: echo })).bundleId, request);
    }
  });
});

describe("what a refusal says of the value", () => {
  it("names an object by its kind, even one that cannot become text", async () => {
    const cases: Array<[Record<string, unknown>, string]> = [
      [{ timeoutMs: [5] }, "timeoutMs must be a number of milliseconds, not [object Array]"],
      [{ helpersDir: Object.create(null) }, "helpersDir must be a string, not [object Object]"],
      [{ timeoutMs: "5" }, 'timeoutMs must be a number of milliseconds, not "5"'],
      [{ timeoutMs: 0 }, "timeoutMs must be from 1 to 2147483647 milliseconds, not 0"],
    ];
    for (const [options, message] of cases) {
      await assert.rejects(
        probeSettingsWindow(options as never),
        (error: unknown) => error instanceof Error && error.message === message,
        message,
      );
    }
  });
});

describe("a shared AbortSignal", () => {
  function warnings(): { list: Error[]; stop(): void } {
    const list: Error[] = [];
    const listener = (warning: Error): void => {
      list.push(warning);
    };
    process.on("warning", listener);
    return { list, stop: () => process.off("warning", listener) };
  }

  it("serves any number of concurrent calls with no warning and no listener left behind", async () => {
    const helpersDir = fakeHelpers({
      pelsor: "sleep 0.1\necho null",
      tovrin: 'sleep 0.1\necho \'{"error":"APPLICATION_NOT_FOUND"}\'\nexit 1',
    });
    const { signal } = new AbortController();
    const watch = warnings();
    const calls = Array.from({ length: 50 }, (_, i) =>
      i % 2 === 0
        ? probeSettingsWindow({ helpersDir, signal })
        : launchApplication({ name: "x" }, { helpersDir, signal }).catch((e: unknown) => e),
    );
    assert.equal(getEventListeners(signal, "abort").length, 1);
    const results = await Promise.all(calls);
    await delay(20);
    watch.stop();
    assert.deepEqual(
      results.filter((_, i) => i % 2 === 0),
      Array(25).fill(null),
    );
    assert.deepEqual(
      watch.list.map((warning) => warning.name),
      [],
    );
    assert.equal(getEventListeners(signal, "abort").length, 0);

    // Watchers too.
    const watchers = Array.from({ length: 20 }, () => watchSettingsWindow({ helpersDir, signal }));
    assert.equal(getEventListeners(signal, "abort").length, 1);
    for (const watcher of watchers.slice(1)) watcher.stop();
    assert.equal(
      getEventListeners(signal, "abort").length,
      1,
      "the last watcher's listener went early",
    );
    watchers[0]?.stop();
    assert.equal(getEventListeners(signal, "abort").length, 0);
  });

  it("aborts every call, each with the signal's reason as cause, and keeps no listener", async () => {
    const helpersDir = fakeHelpers({ pelsor: "exec sleep 30", tovrin: "exec sleep 30" });
    const controller = new AbortController();
    const { signal } = controller;
    const watch = warnings();
    const calls = Array.from({ length: 30 }, (_, i) =>
      rejection(
        i % 2 === 0
          ? probeSettingsWindow({ helpersDir, signal })
          : launchApplication({ name: "x" }, { helpersDir, signal }),
      ),
    );
    const watchers = Array.from({ length: 15 }, () =>
      watchSettingsWindow({ helpersDir, signal, intervalMs: 10 }),
    );
    await delay(100);
    const reason = new Error("the user closed the window");
    controller.abort(reason);
    const errors = await Promise.all(calls);
    watch.stop();
    for (const error of errors) {
      assert.equal(error.code, "ABORTED");
      assert.equal(error.cause, reason);
    }
    assert.ok(watchers.every((watcher) => watcher.stopped));
    assert.equal(getEventListeners(signal, "abort").length, 0);
    assert.deepEqual(
      watch.list.map((warning) => warning.name),
      [],
    );
    // A signal that was aborted before: the reason still comes along, and nothing is added.
    for (const call of [
      probeSettingsWindow({ helpersDir, signal }),
      launchApplication({ name: "x" }, { helpersDir, signal }),
    ]) {
      const error = await rejection(call);
      assert.equal(error.code, "ABORTED");
      assert.equal(error.cause, reason);
      assert.equal(error.launched, "no");
    }
    assert.equal(getEventListeners(signal, "abort").length, 0);
  });

  it("gives the default reason of abort() as cause, and only to the calls of that signal", async () => {
    const helpersDir = fakeHelpers({ pelsor: "sleep 0.3\necho null" });
    const controller = new AbortController();
    const other = new AbortController();
    const aborted = rejection(probeSettingsWindow({ helpersDir, signal: controller.signal }));
    const untouched = probeSettingsWindow({ helpersDir, signal: other.signal });
    await delay(50);
    controller.abort();
    const error = await aborted;
    assert.ok(
      error.cause instanceof Error && error.cause.name === "AbortError",
      String(error.cause),
    );
    assert.equal(error.cause, controller.signal.reason);
    assert.equal(await untouched, null);
    assert.equal(getEventListeners(other.signal, "abort").length, 0);
  });
});
