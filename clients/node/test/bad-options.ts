// Run by options.test.ts in a process of its own, so that an exception thrown after a call has
// settled ends this process, as it would end an application. Calls every entry point with each
// bad option, with fake helpers that write down that they were started, and prints what came of
// each call as one JSON line.
import * as fs from "node:fs";
import * as path from "node:path";
import { launchApplication, probeSettingsWindow, watchSettingsWindow } from "@tovrin-pelsor/client";

export interface Outcome {
  entry: string;
  what: string;
  /** The class of the error, or "none". */
  error: string;
  /** Whether it was thrown rather than a rejection. */
  thrown: boolean;
  message: string;
  /** Whether a helper was started. */
  started: boolean;
}

type Entry = "launchApplication" | "probeSettingsWindow" | "watchSettingsWindow";

export const BAD: Array<{
  what: string;
  options: unknown;
  error: "TypeError" | "RangeError";
  entries?: Entry[];
}> = [
  {
    what: "the AbortController as signal",
    options: { signal: new AbortController() },
    error: "TypeError",
  },
  { what: "a string as signal", options: { signal: "abort" }, error: "TypeError" },
  { what: "null as signal", options: { signal: null }, error: "TypeError" },
  {
    what: "a signal without listeners",
    options: { signal: { aborted: false } },
    error: "TypeError",
  },
  {
    what: "a signal without addEventListener",
    options: { signal: { aborted: false, removeEventListener() {} } },
    error: "TypeError",
  },
  {
    what: "a signal without removeEventListener",
    options: { signal: { aborted: false, addEventListener() {} } },
    error: "TypeError",
  },
  {
    what: "a signal whose aborted is not a boolean",
    options: { signal: { aborted: 0, addEventListener() {}, removeEventListener() {} } },
    error: "TypeError",
  },
  {
    what: "a string as env",
    options: { env: "PATH=/bin" },
    error: "TypeError",
    entries: ["launchApplication", "probeSettingsWindow"],
  },
  {
    what: "null as env",
    options: { env: null },
    error: "TypeError",
    entries: ["launchApplication", "probeSettingsWindow"],
  },
  {
    what: "an array as env",
    options: { env: ["PATH=/bin"] },
    error: "TypeError",
    entries: ["launchApplication", "probeSettingsWindow"],
  },
  {
    what: "a number in env",
    options: { env: { PATH: "/bin", PORT: 8080 } },
    error: "TypeError",
    entries: ["launchApplication", "probeSettingsWindow"],
  },
  { what: "a number as helpersDir", options: { helpersDir: 5 }, error: "TypeError" },
  {
    what: "a URL as helpersDir",
    options: { helpersDir: new URL("file:///usr/bin/") },
    error: "TypeError",
  },
  { what: "a string as timeoutMs", options: { timeoutMs: "100" }, error: "TypeError" },
  { what: "0 as timeoutMs", options: { timeoutMs: 0 }, error: "RangeError" },
  { what: "below 1 as timeoutMs", options: { timeoutMs: 0.5 }, error: "RangeError" },
  { what: "a negative timeoutMs", options: { timeoutMs: -1 }, error: "RangeError" },
  { what: "NaN as timeoutMs", options: { timeoutMs: NaN }, error: "RangeError" },
  { what: "Infinity as timeoutMs", options: { timeoutMs: Infinity }, error: "RangeError" },
  {
    what: "a timeoutMs past the longest timer",
    options: { timeoutMs: 2 ** 31 },
    error: "RangeError",
  },
  {
    what: "a string as intervalMs",
    options: { intervalMs: "250" },
    error: "TypeError",
    entries: ["watchSettingsWindow"],
  },
  {
    what: "0 as intervalMs",
    options: { intervalMs: 0 },
    error: "RangeError",
    entries: ["watchSettingsWindow"],
  },
  {
    what: "NaN as intervalMs",
    options: { intervalMs: NaN },
    error: "RangeError",
    entries: ["watchSettingsWindow"],
  },
  {
    what: "an intervalMs past the longest timer",
    options: { intervalMs: 2 ** 31 },
    error: "RangeError",
    entries: ["watchSettingsWindow"],
  },
  {
    what: "a string as keepGoing",
    options: { keepGoing: "yes" },
    error: "TypeError",
    entries: ["watchSettingsWindow"],
  },
  { what: "null as the options", options: null, error: "TypeError" },
  { what: "a string as the options", options: "fast", error: "TypeError" },
];

/** Options that look odd but are right: each is accepted. */
export const GOOD: Array<{ what: string; options: Record<string, unknown>; entries?: Entry[] }> = [
  { what: "the shortest timeoutMs", options: { timeoutMs: 1 } },
  { what: "the longest timeoutMs", options: { timeoutMs: 2 ** 31 - 1 } },
  {
    what: "the shortest and longest intervalMs",
    options: { intervalMs: 1, timeoutMs: 2 ** 31 - 1 },
    entries: ["watchSettingsWindow"],
  },
  {
    what: "the longest intervalMs",
    options: { intervalMs: 2 ** 31 - 1 },
    entries: ["watchSettingsWindow"],
  },
  {
    what: "a polyfill's signal",
    options: { signal: { aborted: false, addEventListener() {}, removeEventListener() {} } },
  },
  {
    what: "an env with undefined and no prototype",
    options: {
      env: Object.assign(Object.create(null), { PATH: process.env["PATH"], UNSET: undefined }),
    },
    entries: ["launchApplication", "probeSettingsWindow"],
  },
  { what: "a boolean keepGoing", options: { keepGoing: false }, entries: ["watchSettingsWindow"] },
];

const ENTRIES: Entry[] = ["launchApplication", "probeSettingsWindow", "watchSettingsWindow"];

function call(entry: Entry, options: unknown): Promise<unknown> {
  const anyOptions = options as never;
  switch (entry) {
    case "launchApplication":
      return launchApplication({ name: "Fake" }, anyOptions);
    case "probeSettingsWindow":
      return probeSettingsWindow(anyOptions);
    case "watchSettingsWindow": {
      // Throws at once, or starts a watcher that probes once before it is stopped.
      const watcher = watchSettingsWindow(anyOptions);
      return new Promise((resolve) => setTimeout(resolve, 100)).then(() => watcher.stop());
    }
  }
}

async function main(root: string): Promise<void> {
  const outcomes: Outcome[] = [];
  const cases = [
    ...BAD.map((c) => ({ ...c, options: c.options as Record<string, unknown> | null | string })),
    ...GOOD.map((c) => ({ ...c, error: "none" })),
  ];
  let n = 0;
  const pending: Array<Promise<void>> = [];
  for (const c of cases) {
    for (const entry of c.entries ?? ENTRIES) {
      const dir = path.join(root, String(n++));
      fs.mkdirSync(dir);
      for (const helper of ["tovrin", "pelsor"]) {
        fs.writeFileSync(path.join(dir, helper), `#!/bin/sh\ntouch '${dir}/started'\necho null\n`, {
          mode: 0o755,
        });
      }
      const options =
        typeof c.options === "object" && c.options !== null && !("helpersDir" in c.options)
          ? { helpersDir: dir, ...c.options }
          : c.options;
      const outcome: Outcome = {
        entry,
        what: c.what,
        error: "none",
        thrown: false,
        message: "",
        started: false,
      };
      outcomes.push(outcome);
      const record = (error: unknown): void => {
        outcome.error = (error as Error).constructor.name;
        outcome.message = (error as Error).message;
      };
      try {
        pending.push(call(entry, options).then(() => {}, record));
      } catch (error) {
        outcome.thrown = true;
        record(error);
      }
    }
  }
  await Promise.all(pending);
  // Long enough for a helper that was started to write its mark, and for a late throw.
  await new Promise((resolve) => setTimeout(resolve, 300));
  n = 0;
  for (const outcome of outcomes)
    outcome.started = fs.existsSync(path.join(root, String(n++), "started"));
  process.stdout.write(JSON.stringify(outcomes) + "\n");
}

if (process.argv[2] !== undefined) await main(process.argv[2]);
