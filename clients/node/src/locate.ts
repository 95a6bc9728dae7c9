// Where the helpers are.
import { constants, accessSync, statSync } from "node:fs";
import * as path from "node:path";
import { HelperError } from "./errors.js";
import type { HelperName } from "./protocol.js";

/** The environment variable that names the helpers' folder during development. */
export const HELPERS_DIR_VARIABLE = "TOVRIN_PELSOR_HELPERS_DIR";

// Paths already found to be executable files: each is checked once.
const checked = new Set<string>();

function insideAsar(dir: string): boolean {
  return dir.split(/[\\/]+/).some((component) => component.toLowerCase().endsWith(".asar"));
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

/**
 * The absolute path of `helper`: in `helpersDir` when given; else in the folder the environment
 * variable names; else, in a packaged macOS application, beside the application's executable
 * (`Contents/MacOS`) or in `Contents/Helpers`. Never looked up on PATH; a folder inside an asar
 * archive is refused. Throws a HelperError (SPAWN_FAILED) that names the paths tried.
 */
export function locateHelper(
  helper: HelperName,
  helpersDir: string | undefined,
  env: NodeJS.ProcessEnv = process.env,
  execPath: string = process.execPath,
): string {
  let folders: string[];
  let source: string;
  const fromEnv = env[HELPERS_DIR_VARIABLE];
  if (helpersDir !== undefined) {
    folders = [helpersDir];
    source = "the helpersDir option";
  } else if (fromEnv !== undefined && fromEnv !== "") {
    folders = [fromEnv];
    source = HELPERS_DIR_VARIABLE;
  } else {
    // The outermost bundle: Electron's helper processes run from bundles nested inside the
    // application's own (Contents/Frameworks/<App> Helper.app/Contents/MacOS).
    const bundle = /^(.*?\.app)[\\/]Contents[\\/]/i.exec(execPath)?.[1];
    if (bundle === undefined || !/[\\/]Contents[\\/]MacOS$/i.test(path.dirname(execPath))) {
      refuse(
        helper,
        `not inside a packaged macOS application (${execPath}): pass the helpersDir option or set ${HELPERS_DIR_VARIABLE}`,
      );
    }
    folders = [path.join(bundle, "Contents", "MacOS"), path.join(bundle, "Contents", "Helpers")];
    source = `the application bundle; in development, set ${HELPERS_DIR_VARIABLE}`;
  }

  const tried: string[] = [];
  for (const folder of folders) {
    if (typeof folder !== "string" || !path.isAbsolute(folder)) {
      refuse(helper, `the folder from ${source} must be an absolute path, not ${JSON.stringify(folder)}`);
    }
    if (insideAsar(folder)) {
      refuse(
        helper,
        `${folder} (from ${source}) is inside an asar archive, from which no program can be started: ` +
          `ship the helpers unpacked and use the "app.asar.unpacked" path instead`,
      );
    }
    const file = path.join(folder, helper);
    if (checked.has(file)) return file;
    const problem = unusable(file);
    if (problem === null) {
      checked.add(file);
      return file;
    }
    tried.push(`${file}: ${problem}`);
  }
  return refuse(helper, `cannot start it (from ${source}): ${tried.join(", ")}`);
}
