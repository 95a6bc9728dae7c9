// Where the helpers are.
import { constants, accessSync, statSync } from "node:fs";
import * as path from "node:path";
import { fileURLToPath } from "node:url";
import { HelperError } from "./errors.js";
import type { HelperName } from "./protocol.js";

/** The environment variable that names the helpers' folder during development. */
export const HELPERS_DIR_VARIABLE = "TOVRIN_PELSOR_HELPERS_DIR";

// Paths already found to be executable files: each is checked once.
const checked = new Set<string>();

const ASAR = /\.asar$/i;

function insideAsar(dir: string): boolean {
  return dir.split(/[\\/]+/).some((component) => ASAR.test(component));
}

function unusable(file: string): string | null {
  try {
    if (!statSync(file).isFile()) return "not a file";
    accessSync(file, constants.X_OK);
    return null;
  } catch (error) {
    const code = (error as NodeJS.ErrnoException).code;
    if (code === "ENOENT" || code === "ENOTDIR") return "no such file";
    if (code === "EACCES") return "not executable";
    return code ?? String(error);
  }
}

// What keeps `file` from being started, or null; an executable file is remembered.
function problemWith(file: string): string | null {
  if (checked.has(file)) return null;
  const problem = unusable(file);
  if (problem === null) checked.add(file);
  return problem;
}

function refuse(helper: HelperName, detail: string): never {
  throw new HelperError({
    code: "SPAWN_FAILED",
    helper,
    launched: "no",
    exitCode: null,
    signal: null,
    detail,
  });
}

// This file's own path, from the first frame of a stack trace: a file URL in the ES module build,
// a path in the CommonJS one (neither `import.meta` nor `__filename` exists in both).
function thisFile(): string | undefined {
  const { prepareStackTrace, stackTraceLimit } = Error;
  try {
    Error.prepareStackTrace = (_error, frames) => frames;
    Error.stackTraceLimit = 1;
    const holder: { stack?: NodeJS.CallSite[] } = {};
    Error.captureStackTrace(holder);
    const name = holder.stack?.[0]?.getFileName() ?? undefined;
    return name?.startsWith("file:") ? fileURLToPath(name) : name;
  } catch {
    return undefined;
  } finally {
    // (Compared first: where Error is frozen nothing was changed, and assigning would throw.)
    if (Error.prepareStackTrace !== prepareStackTrace) Error.prepareStackTrace = prepareStackTrace;
    if (Error.stackTraceLimit !== stackTraceLimit) Error.stackTraceLimit = stackTraceLimit;
  }
}

let ownFolder: { value: string | null } | undefined;

/** The package's own folder (this file is `dist/esm/locate.js` or `dist/cjs/locate.js` in it). */
export function packageFolder(): string | null {
  if (ownFolder === undefined) {
    const file = thisFile();
    ownFolder = {
      value:
        file !== undefined && path.isAbsolute(file) ? path.resolve(file, "..", "..", "..") : null,
    };
  }
  return ownFolder.value;
}

// The same path with each `<name>.asar` component as `<name>.asar.unpacked`, where Electron's
// packagers put the files kept out of the archive; and the part of the path inside the archive.
function unpacked(dir: string): { folder: string; inside: string } {
  const components = dir.split(/[\\/]/);
  const last = components.map((component) => ASAR.test(component)).lastIndexOf(true);
  return {
    folder: components
      .map((component) => (ASAR.test(component) ? `${component}.unpacked` : component))
      .join(path.sep),
    inside: components.slice(last + 1).join("/"),
  };
}

/**
 * The absolute path of `helper`. When `helpersDir` is given, in that folder only; else, when the
 * environment variable is set, in the folder it names only. Otherwise the first folder that holds
 * it of: in a packaged macOS application, beside the application's executable (`Contents/MacOS`),
 * then `Contents/Helpers`; then the package's own `helpers/<platform>` (through an asar archive,
 * the same path under `app.asar.unpacked`). Never looked up on PATH; a folder inside an asar
 * archive is never used. Throws a HelperError (SPAWN_FAILED) that names every path tried.
 */
export function locateHelper(
  helper: HelperName,
  helpersDir: string | undefined,
  env: NodeJS.ProcessEnv = process.env,
  execPath: string = process.execPath,
  ownPackage: string | null = packageFolder(),
): string {
  const fromEnv = env[HELPERS_DIR_VARIABLE];
  if (helpersDir !== undefined) return inFolder(helper, helpersDir, "the helpersDir option");
  if (fromEnv !== undefined && fromEnv !== "")
    return inFolder(helper, fromEnv, HELPERS_DIR_VARIABLE);

  const tried: string[] = [];
  const hints: string[] = [];
  // The outermost bundle: Electron's helper processes run from bundles nested inside the
  // application's own (Contents/Frameworks/<App> Helper.app/Contents/MacOS). In development,
  // Electron's own bundle holds no helpers, and is passed over.
  const bundle = /^(.*?\.app)[\\/]Contents[\\/]/i.exec(execPath)?.[1];
  const folders: string[] = [];
  if (bundle !== undefined && /[\\/]Contents[\\/]MacOS$/i.test(path.dirname(execPath))) {
    folders.push(path.join(bundle, "Contents", "MacOS"), path.join(bundle, "Contents", "Helpers"));
  }
  if (ownPackage === null) {
    hints.push("the package's own folder is unknown (is it bundled?)");
  } else {
    const own = path.join(ownPackage, "helpers", process.platform);
    if (insideAsar(own)) {
      const { folder, inside } = unpacked(own);
      folders.push(folder);
      hints.push(
        `the package lies inside an asar archive, from which no program can be started: ` +
          `add "${path.posix.dirname(inside)}/**" to the packager's asarUnpack patterns`,
      );
    } else {
      folders.push(own);
    }
  }
  for (const folder of folders) {
    const file = path.join(folder, helper);
    const problem = problemWith(file);
    if (problem === null) return file;
    tried.push(`${file}: ${problem}`);
  }
  hints.push(`pass the helpersDir option or set ${HELPERS_DIR_VARIABLE}`);
  return refuse(helper, `cannot find it: ${[...tried, ...hints].join("; ")}`);
}

// The helper in the one folder the caller named.
function inFolder(helper: HelperName, folder: string, source: string): string {
  if (typeof folder !== "string" || !path.isAbsolute(folder)) {
    refuse(
      helper,
      `the folder from ${source} must be an absolute path, not ${JSON.stringify(folder)}`,
    );
  }
  if (insideAsar(folder)) {
    refuse(
      helper,
      `${folder} (from ${source}) is inside an asar archive, from which no program can be started: ` +
        `ship the helpers unpacked and use the "app.asar.unpacked" path instead`,
    );
  }
  const file = path.join(folder, helper);
  const problem = problemWith(file);
  if (problem === null) return file;
  return refuse(helper, `cannot start it (from ${source}): ${file}: ${problem}`);
}
