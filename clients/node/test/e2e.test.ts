// The client against the real helpers, with bundles in a temporary home folder.
import assert from "node:assert/strict";
import { subscribe } from "node:diagnostics_channel";
import { spawnSync } from "node:child_process";
import * as fs from "node:fs";
import * as path from "node:path";
import { after, describe, it } from "node:test";
import {
  MAX_REQUEST_BYTES,
  OUTPUT_CHANNEL_NAME,
  launchApplication,
  probeSettingsWindow,
  watchSettingsWindow,
  type HelperOutput,
  type LaunchTarget,
  type ProbeResult,
} from "@tovrin-pelsor/client";
import { readLaunchReply, readOutput, readProbeResult } from "#internal/replies.js";
import {
  SLEEPER,
  alive,
  delay,
  eventually,
  fakeHelpers,
  installBundle,
  loadSchemas,
  realHelpersDir,
  rejection,
  remember,
  stopLaunched,
  tempFolder,
} from "./support.js";

// These suites build their applications in a temporary home folder, which only the stand-in
// reads; on a Mac the real services answer, and the macOS tests cover them.
const standIn = process.platform !== "darwin";
const skip = standIn ? false : "needs the stand-in";
const bin = realHelpersDir();
const schemas = loadSchemas();

// Every line the real helpers write, as the client read it.
const lines: HelperOutput[] = [];
subscribe(OUTPUT_CHANNEL_NAME, (message) => lines.push(message as HelperOutput));
after(stopLaunched);

const unique = `${process.pid}-${Date.now()}`;
const home = tempFolder();
const env = { HOME: home, PATH: process.env["PATH"] };
const call = { helpersDir: bin, env };

const runnerName = `Runner ${unique}`;
const runnerId = `org.example.node-client-${unique}.runner`;
installBundle(
  home,
  "Runner.app",
  { CFBundleIdentifier: runnerId, CFBundleName: runnerName },
  SLEEPER,
);
installBundle(home, "Nameless.app", { CFBundleIdentifier: `${runnerId}.nameless` }, SLEEPER);
installBundle(home, "Twin One.app", {
  CFBundleIdentifier: `${runnerId}.twin1`,
  CFBundleName: `Twin ${unique}`,
});
installBundle(home, "Twin Two.app", {
  CFBundleIdentifier: `${runnerId}.twin2`,
  CFBundleName: `Twin ${unique}`,
});
installBundle(home, "Broken.app", {
  CFBundleIdentifier: `${runnerId}.broken`,
  CFBundleName: `Broken ${unique}`,
});
installBundle(home, "Cased.app", {
  CFBundleIdentifier: `${runnerId}.cased`,
  CFBundleName: `Cased ${unique}`,
});
// A display name that is not UTF-8: the launch succeeds, but its reply cannot be written. The
// application writes its pid where the test can find it, to be stopped afterwards.
const bridgePidFile = path.join(home, "bridge.pid");
installBundle(
  home,
  "Bridge.app",
  Buffer.concat([
    Buffer.from(
      `<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>` +
        `<key>CFBundleIdentifier</key><string>${runnerId}.bridge</string>` +
        `<key>CFBundleExecutable</key><string>runner</string><key>CFBundleName</key><string>Bridge `,
    ),
    Buffer.from([0xff, 0xfe]),
    Buffer.from(`</string></dict></plist>\n`),
  ]),
);
fs.writeFileSync(
  path.join(home, "Applications", "Bridge.app", "Contents", "MacOS", "runner"),
  `#!/bin/sh\necho $$ > '${bridgePidFile}'\nexec sleep 60\n`,
  { mode: 0o755 },
);

function commandOf(pid: number): string {
  try {
    return fs.readFileSync(`/proc/${pid}/cmdline`, "utf8").split("\0").join(" ");
  } catch {
    return "";
  }
}

describe("launchApplication with the real launcher", { skip }, () => {
  it("launches by name and by identifier, and reports the bundle's own identifier and name", async () => {
    const cases: Array<{ target: LaunchTarget; bundleId: string; name: string }> = [
      { target: { name: runnerName }, bundleId: runnerId, name: runnerName },
      { target: { bundleId: runnerId }, bundleId: runnerId, name: runnerName },
      // The stand-in's identifier lookup ignores ASCII case, and so the reply carries the
      // bundle's text; a bundle without a display name has an empty one.
      { target: { bundleId: `${runnerId}.nameless` }, bundleId: `${runnerId}.nameless`, name: "" },
    ];
    for (const c of cases) {
      const application = await launchApplication(c.target, call);
      remember(application.pid);
      assert.deepEqual(Object.keys(application).sort(), ["bundleId", "name", "pid"]);
      assert.equal(application.bundleId, c.bundleId);
      assert.equal(application.name, c.name);
      assert.ok(alive(application.pid), JSON.stringify(c.target));
      // The pid is the application's: its script goes on to become "sleep 60".
      assert.ok(
        await eventually(() => commandOf(application.pid).startsWith("sleep 60 ")),
        commandOf(application.pid),
      );
    }
  });

  it("answers each refusal the stand-in can give with its code and what may be assumed", async () => {
    const cases: Array<{ target: LaunchTarget; code: string; launched: string }> = [
      // An unpaired surrogate survives JSON.stringify as an escape, which the launcher refuses.
      { target: { name: "\ud800" }, code: "INVALID_PARAMS", launched: "no" },
      { target: { name: `Twin ${unique}` }, code: "APPLICATION_NAME_AMBIGUOUS", launched: "no" },
      { target: { name: `Nobody ${unique}` }, code: "APPLICATION_NOT_FOUND", launched: "no" },
      {
        target: { bundleId: `${runnerId}.CASED` },
        code: "APPLICATION_ID_MISMATCH",
        launched: "no",
      },
      { target: { name: `Broken ${unique}` }, code: "APPLICATION_LAUNCH_FAILED", launched: "no" },
    ];
    for (const c of cases) {
      const error = await rejection(launchApplication(c.target, call));
      assert.equal(error.code, c.code, JSON.stringify(c.target));
      assert.equal(error.launched, c.launched);
      assert.equal(error.helper, "tovrin");
      assert.equal(error.exitCode, 1);
      assert.equal(error.signal, null);
    }
  });

  it("reports BRIDGE_ERROR after a launch as launched", async () => {
    const error = await rejection(launchApplication({ bundleId: `${runnerId}.bridge` }, call));
    assert.equal(error.code, "BRIDGE_ERROR");
    assert.equal(error.launched, "yes");
    assert.equal(error.exitCode, 0);
    assert.ok(
      await eventually(() => fs.existsSync(bridgePidFile)),
      "the application never started",
    );
    const pid = Number(fs.readFileSync(bridgePidFile, "utf8"));
    remember(pid);
    assert.ok(alive(pid));
  });

  it("is refused with PARENT_GONE when a shell stands between it and its parent", async () => {
    // The trap of exec() and shell: true: the launcher's parent is the shell, not this process.
    const shelled = fakeHelpers({ tovrin: `'${bin}/tovrin' "$@"\nexit $?` });
    const error = await rejection(
      launchApplication({ name: runnerName }, { helpersDir: shelled, env }),
    );
    assert.equal(error.code, "PARENT_GONE");
    assert.equal(error.launched, "no");
  });

  it("passes the longest request one argument holds, and refuses a longer one before starting", async () => {
    const frame = Buffer.byteLength(JSON.stringify({ name: "" }));
    // "é" is two bytes: the limit is in bytes, not characters.
    const longest = "é".repeat((MAX_REQUEST_BYTES - frame) / 2 - 1) + "ab";
    assert.equal(Buffer.byteLength(JSON.stringify({ name: longest })), MAX_REQUEST_BYTES);
    const notFound = await rejection(launchApplication({ name: longest }, call));
    assert.equal(notFound.code, "APPLICATION_NOT_FOUND");
    const tooLarge = await rejection(launchApplication({ name: longest + "a" }, call));
    assert.equal(tooLarge.code, "REQUEST_TOO_LARGE");
    assert.equal(tooLarge.launched, "no");
    assert.equal(tooLarge.exitCode, null);
  });
});

describe("probeSettingsWindow with the real probe", { skip }, () => {
  it("answers null where there is no settings window", async () => {
    assert.equal(await probeSettingsWindow(call), null);
  });

  it("finds the helpers through the package's environment variable", async () => {
    const saved = process.env["TOVRIN_PELSOR_HELPERS_DIR"];
    process.env["TOVRIN_PELSOR_HELPERS_DIR"] = bin;
    try {
      assert.equal(await probeSettingsWindow(), null);
    } finally {
      if (saved === undefined) delete process.env["TOVRIN_PELSOR_HELPERS_DIR"];
      else process.env["TOVRIN_PELSOR_HELPERS_DIR"] = saved;
    }
  });

  it("reports a refused probe as PROBE_REFUSED, not as a parse error", async () => {
    const shelled = fakeHelpers({ pelsor: `'${bin}/pelsor' "$@"\nexit $?` });
    const error = await rejection(probeSettingsWindow({ helpersDir: shelled }));
    assert.equal(error.code, "PROBE_REFUSED");
    assert.equal(error.helper, "pelsor");
    assert.equal(error.exitCode, 1);
  });
});

describe("watchSettingsWindow with the real probe", { skip }, () => {
  it("emits the first value once and nothing while it stays the same", async () => {
    const watcher = watchSettingsWindow({ helpersDir: bin, intervalMs: 20 });
    const values: ProbeResult[] = [];
    const errors: unknown[] = [];
    watcher.on("change", (value) => values.push(value));
    watcher.on("error", (error) => errors.push(error));
    await delay(400);
    watcher.stop();
    assert.deepEqual(values, [null]);
    assert.deepEqual(errors, []);
    assert.equal(watcher.stopped, true);
  });
});

describe("the schemas against the real helpers", { skip }, () => {
  it("state the parent pid rule as the probe applies it", () => {
    const pid = process.pid;
    const texts = [
      String(pid),
      `+${pid}`,
      `000${pid}`,
      ` ${pid}`,
      `${pid} `,
      `${pid}.0`,
      `++${pid}`,
      String(pid + 2 ** 32),
      `-${2 ** 32 - pid}`,
      `٣${pid}`,
    ];
    for (const text of texts) {
      const run = spawnSync(path.join(bin, "pelsor"), [text], { encoding: "utf8" });
      const accepted = run.status === 0 && run.stdout === "null\n";
      assert.equal(schemas.validate("parent-pid", text), accepted, JSON.stringify(text));
    }
  });

  it("accept every line the helpers wrote in these suites", () => {
    const written = lines.filter((line) => line.stdout.length > 0);
    assert.ok(written.some((line) => line.helper === "tovrin" && line.exitCode === 0));
    assert.ok(written.some((line) => line.helper === "tovrin" && line.exitCode === 1));
    assert.ok(written.some((line) => line.helper === "pelsor"));
    for (const line of written) {
      const text = line.stdout.toString("utf8");
      assert.ok(text.endsWith("\n") && text.indexOf("\n") === text.length - 1, text);
      const value: unknown = JSON.parse(text);
      const schema = line.helper === "tovrin" ? "tovrin-reply" : "pelsor-result";
      assert.ok(schemas.validate(schema, value), `${text}: ${schemas.errors()}`);
      // And the client's reader takes it, as it took it in these suites.
      const output = readOutput(line.stdout);
      assert.ok(output.kind === "value", text);
      if (line.helper === "pelsor") assert.notEqual(readProbeResult(output.value), undefined, text);
      else assert.notEqual(readLaunchReply(output.value).kind, "bad", text);
      // Each line's exit status is the one its shape announces.
      const expected = line.helper === "pelsor" ? [0] : exitStatusesOf(value);
      assert.ok(expected.includes(line.exitCode as number), `${text} with status ${line.exitCode}`);
    }
  });
});

// The exit statuses the reply schema announces for a launcher reply.
function exitStatusesOf(reply: unknown): number[] {
  const defs = schemas.schema("tovrin-reply")["$defs"] as Record<string, Record<string, unknown>>;
  const code = (reply as { error?: string }).error;
  if (code === undefined) return [defs["success"]?.["x-exitStatus"] as number];
  const entry = (defs["errorCode"]?.["oneOf"] as Array<Record<string, unknown>>).find(
    (c) => c["const"] === code,
  );
  const status = entry?.["x-exitStatus"];
  return Array.isArray(status) ? (status as number[]) : [status as number];
}
