// What the suites share: temporary folders, bundles, fake helpers, the schemas.
import { spawnSync } from "node:child_process";
import * as fs from "node:fs";
import * as os from "node:os";
import * as path from "node:path";
import { fileURLToPath } from "node:url";
import assert from "node:assert/strict";
import AjvModule from "ajv/dist/2020.js";
import { CLIENT_ERROR_CODES, HelperError, REPLY_ERROR_CODES } from "@tovrin-pelsor/client";

/** The folder holding the real `tovrin` and `pelsor`, as the test script passes it. */
export function realHelpersDir(): string {
  const dir = process.env["TOVRIN_PELSOR_TEST_BIN_DIR"];
  if (!dir)
    throw new Error(
      "set TOVRIN_PELSOR_TEST_BIN_DIR to the folder holding the built tovrin and pelsor",
    );
  return path.resolve(dir);
}

const folders: string[] = [];

/** A fresh folder, removed when the process exits. */
export function tempFolder(prefix = "tovrin-pelsor-node-"): string {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  folders.push(dir);
  return dir;
}

process.on("exit", () => {
  for (const dir of folders) fs.rmSync(dir, { recursive: true, force: true });
});

const launchedPids = new Set<number>();

/** Remembers an application a test launched, so that it is stopped at the end. */
export function remember(pid: number): void {
  launchedPids.add(pid);
}

/** Stops every application the tests launched. */
export function stopLaunched(): void {
  for (const pid of launchedPids) {
    try {
      process.kill(pid, "SIGKILL");
    } catch {
      // Already gone.
    }
  }
  launchedPids.clear();
}
process.on("exit", stopLaunched);

/** Whether a process with this pid exists and is not a zombie. */
export function alive(pid: number): boolean {
  let state: string;
  if (fs.existsSync("/proc/self/stat")) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, "utf8");
      state = stat.slice(stat.lastIndexOf(")") + 2, stat.lastIndexOf(")") + 3);
    } catch {
      return false;
    }
  } else {
    state = spawnSync("ps", ["-o", "stat=", "-p", String(pid)], { encoding: "utf8" }).stdout.trim();
    if (state === "") return false;
  }
  return !state.startsWith("Z");
}

function xmlEscape(text: string): string {
  return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
}

/** An XML property list whose root dictionary maps each key to a string. */
export function infoPlist(texts: Record<string, string>): string {
  const entries = Object.entries(texts)
    .map(([key, value]) => `  <key>${xmlEscape(key)}</key><string>${xmlEscape(value)}</string>\n`)
    .join("");
  return `<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>\n${entries}</dict></plist>\n`;
}

/**
 * Makes `home/Applications/<folder>` with `info` as its Info.plist (raw bytes when a Buffer), and,
 * when `executable` is given, `Contents/MacOS/runner` holding that shell script (the Info.plist
 * then names it).
 */
export function installBundle(
  home: string,
  folder: string,
  info: Record<string, string> | Buffer,
  executable?: string,
): string {
  const bundle = path.join(home, "Applications", folder);
  fs.mkdirSync(path.join(bundle, "Contents", "MacOS"), { recursive: true });
  const plist = Buffer.isBuffer(info)
    ? info
    : infoPlist(executable === undefined ? info : { ...info, CFBundleExecutable: "runner" });
  fs.writeFileSync(path.join(bundle, "Contents", "Info.plist"), plist);
  if (executable !== undefined) {
    fs.writeFileSync(path.join(bundle, "Contents", "MacOS", "runner"), executable, { mode: 0o755 });
  }
  return bundle;
}

/** An application that keeps running until it is stopped. */
export const SLEEPER = "#!/bin/sh\nexec sleep 60\n";

/** A folder holding fake helpers: shell scripts named `tovrin` and `pelsor`. */
export function fakeHelpers(scripts: { tovrin?: string; pelsor?: string }): string {
  const dir = tempFolder("tovrin-pelsor-fake-");
  for (const [name, body] of Object.entries(scripts)) {
    fs.writeFileSync(path.join(dir, name), `#!/bin/sh\n${body}\n`, { mode: 0o755 });
  }
  return dir;
}

/** Resolves after `ms` milliseconds. */
export function delay(ms: number): Promise<void> {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

/** Polls `check` until it holds or `ms` pass; gives its last answer. */
export async function eventually(check: () => boolean, ms = 2000): Promise<boolean> {
  const end = Date.now() + ms;
  while (!check()) {
    if (Date.now() > end) return false;
    await delay(10);
  }
  return true;
}

export const schemaDir = fileURLToPath(new URL("../../../../schema/", import.meta.url));

export type SchemaName = "tovrin-request" | "tovrin-reply" | "pelsor-result" | "parent-pid";

/** The schemas, compiled by a draft 2020-12 validator in strict mode. */
export function loadSchemas(): {
  validate(name: SchemaName, value: unknown): boolean;
  errors(): string;
  schema(name: SchemaName): Record<string, unknown>;
} {
  const Ajv2020 = AjvModule.default;
  const ajv = new Ajv2020({ strict: true, allErrors: true });
  // The exit status that comes with each shape: an annotation, nothing to check.
  ajv.addKeyword({ keyword: "x-exitStatus" });
  const schemas = new Map<SchemaName, Record<string, unknown>>();
  for (const name of ["tovrin-request", "tovrin-reply", "pelsor-result", "parent-pid"] as const) {
    const schema = JSON.parse(
      fs.readFileSync(path.join(schemaDir, `${name}.schema.json`), "utf8"),
    ) as Record<string, unknown>;
    schemas.set(name, schema);
    ajv.addSchema(schema, name);
  }
  return {
    validate(name, value) {
      return ajv.validate(name, value) as boolean;
    },
    errors() {
      return ajv.errorsText();
    },
    schema(name) {
      return schemas.get(name) as Record<string, unknown>;
    },
  };
}

/** The error a call rejects with; fails the test when it resolves or rejects with anything else. */
export async function rejection(promise: Promise<unknown>): Promise<HelperError> {
  const error = await promise.then(
    () => assert.fail("expected a rejection"),
    (error: unknown) => error,
  );
  assert.ok(error instanceof HelperError, String(error));
  // Every code is one the package lists, for callers that switch over the lists.
  assert.ok(
    ([...REPLY_ERROR_CODES, ...CLIENT_ERROR_CODES] as string[]).includes(error.code),
    error.code,
  );
  return error;
}

/**
 * A folder holding universal macOS programs: the real helpers on a Mac; elsewhere, files that
 * start as a universal file does, as far as scripts/assemble-node-package can tell off a Mac.
 */
export function universalHelpers(): string {
  if (process.platform === "darwin") return realHelpersDir();
  const dir = tempFolder("tovrin-pelsor-universal-");
  for (const name of ["tovrin", "pelsor"]) {
    fs.writeFileSync(
      path.join(dir, name),
      Buffer.from([0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 2, ...Buffer.from(name)]),
      { mode: 0o755 },
    );
  }
  return dir;
}
