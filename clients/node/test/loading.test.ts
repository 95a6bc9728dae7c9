// Loading the package both ways, and finding the helpers.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import * as fs from "node:fs";
import { createRequire } from "node:module";
import * as path from "node:path";
import { describe, it } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";
import * as esm from "@tovrin-pelsor/client";
import { locateHelper, packageFolder } from "#internal/locate.js";
import { fakeHelpers, tempFolder } from "./support.js";

const require = createRequire(import.meta.url);

describe("the package", () => {
  it("loads from an ES module and from CommonJS, and its errors are recognised by either copy", async () => {
    const cjs = require("@tovrin-pelsor/client") as typeof esm;
    assert.match(require.resolve("@tovrin-pelsor/client"), /dist[\\/]cjs[\\/]index\.js$/);
    assert.notEqual(cjs.HelperError, esm.HelperError, "both names loaded the same copy");
    for (const api of [esm, cjs]) {
      for (const name of [
        "launchApplication",
        "probeSettingsWindow",
        "watchSettingsWindow",
        "HelperError",
      ] as const) {
        assert.equal(typeof api[name], "function", name);
      }
    }
    const fromCjs = await cjs
      .probeSettingsWindow({ helpersDir: "relative/folder" })
      .catch((error: unknown) => error);
    assert.ok(fromCjs instanceof esm.HelperError);
    assert.ok(fromCjs instanceof cjs.HelperError);
    assert.ok(!(new Error("x") instanceof esm.HelperError));
    for (const value of [
      undefined,
      null,
      0,
      "HelperError",
      Symbol.for("@tovrin-pelsor/client.HelperError"),
      {},
    ]) {
      assert.equal(value instanceof esm.HelperError, false, String(value));
    }
    assert.equal((fromCjs as Error).name, "HelperError");
    // Other copies and versions of the package know their errors by this key: it never changes.
    const foreign = Object.assign(new Error("x"), {
      [Symbol.for("@tovrin-pelsor/client.HelperError")]: true,
    });
    assert.ok(foreign instanceof esm.HelperError);
    // The channel's name is documented, for subscribers that do not import the package.
    assert.equal(esm.OUTPUT_CHANNEL_NAME, "@tovrin-pelsor/client:output");
    // Named as a built-in error is: on the prototype, assignable, not enumerable.
    assert.deepEqual(Object.getOwnPropertyDescriptor(esm.HelperError.prototype, "name"), {
      ...Object.getOwnPropertyDescriptor(TypeError.prototype, "name"),
      value: "HelperError",
    });
  });
});

// A package folder holding both helpers in helpers/<platform>.
function packageWithHelpers(folder: string): string {
  const helpers = path.join(folder, "helpers", process.platform);
  fs.mkdirSync(helpers, { recursive: true });
  for (const name of ["tovrin", "pelsor"])
    fs.writeFileSync(path.join(helpers, name), "#!/bin/sh\n", { mode: 0o755 });
  return folder;
}

describe("finding the helpers", () => {
  function refusal(run: () => unknown): esm.HelperError {
    try {
      run();
    } catch (error) {
      assert.ok(error instanceof esm.HelperError);
      assert.equal(error.code, "SPAWN_FAILED");
      assert.equal(error.launched, "no");
      return error;
    }
    return assert.fail("expected a refusal");
  }

  it("refuses a folder inside an asar archive and names the unpacked one", () => {
    const error = refusal(() =>
      locateHelper("tovrin", "/Applications/X.app/Contents/Resources/app.asar/bin"),
    );
    assert.match(error.message, /asar archive/);
    assert.match(error.message, /app\.asar\.unpacked/);
    const env = {
      TOVRIN_PELSOR_HELPERS_DIR: "/Applications/X.app/Contents/Resources/app.asar/bin",
    };
    assert.match(
      refusal(() => locateHelper("pelsor", undefined, env)).message,
      /TOVRIN_PELSOR_HELPERS_DIR/,
    );
  });

  it("says which path it tried when the file is missing or not executable", () => {
    const dir = tempFolder();
    assert.match(
      refusal(() => locateHelper("tovrin", dir)).message,
      new RegExp(`${dir}/tovrin: no such file`),
    );
    fs.writeFileSync(path.join(dir, "tovrin"), "#!/bin/sh\n", { mode: 0o644 });
    // Not even root may execute a file without an execute bit.
    assert.match(
      refusal(() => locateHelper("tovrin", dir)).message,
      new RegExp(`${dir}/tovrin: not executable`),
    );
    fs.mkdirSync(path.join(dir, "pelsor"));
    assert.match(
      refusal(() => locateHelper("pelsor", dir)).message,
      new RegExp(`${dir}/pelsor: not a file`),
    );
    assert.match(refusal(() => locateHelper("pelsor", "bin")).message, /absolute/);
  });

  it("takes the option's folder, else the variable's, and no other; never looks on PATH", () => {
    const option = fakeHelpers({ pelsor: "echo null" });
    const variable = fakeHelpers({ pelsor: "echo null" });
    const own = packageWithHelpers(tempFolder());
    const env = { TOVRIN_PELSOR_HELPERS_DIR: variable, PATH: option };
    assert.equal(
      locateHelper("pelsor", option, env, "/usr/bin/node", own),
      path.join(option, "pelsor"),
    );
    assert.equal(
      locateHelper("pelsor", undefined, env, "/usr/bin/node", own),
      path.join(variable, "pelsor"),
    );
    // A folder the caller named is not passed over, even when the package holds the helper.
    const empty = tempFolder();
    assert.match(
      refusal(() => locateHelper("pelsor", empty, {}, "/usr/bin/node", own)).message,
      new RegExp(`${empty}/pelsor: no such file`),
    );
    const named = refusal(() =>
      locateHelper("pelsor", undefined, { TOVRIN_PELSOR_HELPERS_DIR: empty }, "/usr/bin/node", own),
    );
    assert.match(
      named.message,
      new RegExp(`TOVRIN_PELSOR_HELPERS_DIR\\): ${empty}/pelsor: no such file`),
    );
    const bare = tempFolder();
    const outside = refusal(() =>
      locateHelper("pelsor", undefined, { PATH: option }, "/usr/bin/node", bare),
    );
    assert.match(
      outside.message,
      new RegExp(`${bare}/helpers/${process.platform}/pelsor: no such file`),
    );
    assert.match(outside.message, /helpersDir option or set TOVRIN_PELSOR_HELPERS_DIR/);
    assert.match(
      refusal(() => locateHelper("pelsor", undefined, {}, "/usr/bin/node", null)).message,
      /package's own folder is unknown/,
    );
  });

  it("looks beside a packaged application's executable, then in Contents/Helpers, then in the package", () => {
    const root = tempFolder();
    const contents = path.join(root, "My App.app", "Contents");
    const executable = path.join(contents, "MacOS", "My App");
    const own = packageWithHelpers(path.join(contents, "Resources", "app"));
    fs.mkdirSync(path.join(contents, "MacOS"), { recursive: true });
    fs.mkdirSync(path.join(contents, "Helpers"), { recursive: true });
    const inPackage = path.join(own, "helpers", process.platform, "pelsor");
    assert.equal(locateHelper("pelsor", undefined, {}, executable, own), inPackage);
    fs.writeFileSync(path.join(contents, "Helpers", "tovrin"), "#!/bin/sh\n", { mode: 0o755 });
    assert.equal(
      locateHelper("tovrin", undefined, {}, executable, own),
      path.join(contents, "Helpers", "tovrin"),
    );
    fs.writeFileSync(path.join(contents, "MacOS", "pelsor"), "#!/bin/sh\n", { mode: 0o755 });
    assert.equal(
      locateHelper("pelsor", undefined, {}, executable, own),
      path.join(contents, "MacOS", "pelsor"),
    );
    // An Electron helper process, in a bundle nested inside the application's.
    const nested = path.join(
      contents,
      "Frameworks",
      "My App Helper.app",
      "Contents",
      "MacOS",
      "My App Helper",
    );
    assert.equal(
      locateHelper("tovrin", undefined, {}, nested, own),
      path.join(contents, "Helpers", "tovrin"),
    );
    // Electron in development: its own bundle holds no helpers, the package does.
    const electron = path.join(
      root,
      "node_modules",
      "electron",
      "dist",
      "Electron.app",
      "Contents",
      "MacOS",
      "Electron",
    );
    assert.equal(locateHelper("pelsor", undefined, {}, electron, own), inPackage);
    const missing = refusal(() =>
      locateHelper(
        "tovrin",
        undefined,
        {},
        path.join(root, "Other.app", "Contents", "MacOS", "Other"),
        tempFolder(),
      ),
    );
    assert.match(missing.message, /Other\.app\/Contents\/MacOS\/tovrin: no such file/);
    assert.match(missing.message, /Other\.app\/Contents\/Helpers\/tovrin: no such file/);
    assert.match(missing.message, new RegExp(`helpers/${process.platform}/tovrin: no such file`));
    assert.match(missing.message, /TOVRIN_PELSOR_HELPERS_DIR/);
  });

  it("through an asar archive, takes the package's helpers from app.asar.unpacked, never from the archive", () => {
    const resources = path.join(tempFolder(), "My App.app", "Contents", "Resources");
    const own = path.join(resources, "app.asar", "node_modules", "@tovrin-pelsor", "client");
    // Electron reads files inside the archive as if they were there; none can be started.
    packageWithHelpers(own);
    const error = refusal(() => locateHelper("tovrin", undefined, {}, "/usr/bin/node", own));
    const unpacked = path.join(
      resources,
      "app.asar.unpacked",
      "node_modules",
      "@tovrin-pelsor",
      "client",
      "helpers",
      process.platform,
    );
    assert.match(error.message, new RegExp(`${unpacked}/tovrin: no such file`));
    assert.match(
      error.message,
      /add "node_modules\/@tovrin-pelsor\/client\/helpers\/\*\*" to the packager's asarUnpack patterns/,
    );
    assert.doesNotMatch(error.message, /app\.asar\/node_modules\/@tovrin-pelsor\/client\/helpers/);
    packageWithHelpers(
      path.join(resources, "app.asar.unpacked", "node_modules", "@tovrin-pelsor", "client"),
    );
    assert.equal(
      locateHelper("tovrin", undefined, {}, "/usr/bin/node", own),
      path.join(unpacked, "tovrin"),
    );
  });

  it("names every path it tried, in order, then what to do", () => {
    const root = tempFolder();
    const bare = tempFolder();
    const inBare = `${path.join(bare, "helpers", process.platform, "pelsor")}: no such file`;
    const app = path.join(root, "X.app", "Contents");
    const inApp = [
      `${path.join(app, "MacOS", "pelsor")}: no such file`,
      `${path.join(app, "Helpers", "pelsor")}: no such file`,
    ];
    const archive = path.join(root, "Y.app", "Contents", "Resources", "app.asar");
    const unpackedFile = path.join(
      `${archive}.unpacked`,
      "node_modules",
      "p",
      "helpers",
      process.platform,
      "pelsor",
    );
    const cases: Array<{ why: string; execPath: string; own: string | null; tried: string[] }> = [
      { why: "no application", execPath: "/usr/bin/node", own: bare, tried: [inBare] },
      {
        why: "an application's executable",
        execPath: path.join(app, "MacOS", "X"),
        own: bare,
        tried: [...inApp, inBare],
      },
      // Only an executable directly in Contents/MacOS of a bundle is an application's.
      {
        why: "Contents/MacOS outside a bundle",
        execPath: path.join(root, "Contents", "MacOS", "node"),
        own: bare,
        tried: [inBare],
      },
      {
        why: "below Contents/MacOS",
        execPath: path.join(app, "MacOS", "bin", "node"),
        own: bare,
        tried: [inBare],
      },
      {
        why: "in Contents/Resources",
        execPath: path.join(app, "Resources", "node"),
        own: bare,
        tried: [inBare],
      },
      {
        why: "the package's folder unknown",
        execPath: path.join(app, "MacOS", "X"),
        own: null,
        tried: [...inApp, "the package's own folder is unknown (is it bundled?)"],
      },
      {
        why: "the package inside an archive",
        execPath: "/usr/bin/node",
        own: path.join(archive, "node_modules", "p"),
        tried: [
          `${unpackedFile}: no such file`,
          'the package lies inside an asar archive, from which no program can be started: add "node_modules/p/helpers/**" to the packager\'s asarUnpack patterns',
        ],
      },
    ];
    const advice = "pass the helpersDir option or set TOVRIN_PELSOR_HELPERS_DIR";
    for (const { why, execPath, own, tried } of cases) {
      const error = refusal(() => locateHelper("pelsor", undefined, {}, execPath, own));
      assert.equal(
        error.message,
        `pelsor: SPAWN_FAILED (cannot find it: ${[...tried, advice].join("; ")})`,
        why,
      );
    }
  });

  it("tells what keeps the named folder's helper from being started", () => {
    const dir = tempFolder();
    const file = path.join(dir, "plain");
    fs.writeFileSync(file, "");
    fs.symlinkSync(path.join(dir, "tovrin"), path.join(dir, "tovrin"));
    const cases: Array<{ folder: unknown; detail: string }> = [
      // A file where the folder should be.
      {
        folder: file,
        detail: `cannot start it (from the helpersDir option): ${file}/tovrin: no such file`,
      },
      // Any other failure is named by its code.
      { folder: dir, detail: `cannot start it (from the helpersDir option): ${dir}/tovrin: ELOOP` },
      // From JavaScript, anything may come.
      {
        folder: 42,
        detail: "the folder from the helpersDir option must be an absolute path, not 42",
      },
    ];
    for (const { folder, detail } of cases) {
      assert.equal(
        refusal(() => locateHelper("tovrin", folder as string)).message,
        `tovrin: SPAWN_FAILED (${detail})`,
      );
    }
  });

  it("takes a folder beside an archive, and passes over an empty variable", () => {
    const unpacked = path.join(tempFolder(), "app.asar.unpacked", "bin");
    fs.mkdirSync(unpacked, { recursive: true });
    fs.writeFileSync(path.join(unpacked, "tovrin"), "#!/bin/sh\n", { mode: 0o755 });
    assert.equal(locateHelper("tovrin", unpacked), path.join(unpacked, "tovrin"));
    assert.equal(
      locateHelper("tovrin", undefined, { TOVRIN_PELSOR_HELPERS_DIR: unpacked }),
      path.join(unpacked, "tovrin"),
    );
    const own = packageWithHelpers(tempFolder());
    const env = { TOVRIN_PELSOR_HELPERS_DIR: "" };
    assert.equal(
      locateHelper("tovrin", undefined, env, "/usr/bin/node", own),
      path.join(own, "helpers", process.platform, "tovrin"),
    );
  });

  it("knows the package's own folder in both builds", () => {
    const packageRoot = path.resolve(fileURLToPath(import.meta.url), "..", "..", "..");
    assert.equal(packageFolder(), packageRoot);
    const cjs = require(path.join(packageRoot, "dist", "cjs", "locate.js")) as {
      packageFolder(): string | null;
    };
    assert.equal(cjs.packageFolder(), packageRoot);
  });

  it("finding its own folder leaves the process's stack traces as they were, even where Error is frozen", () => {
    const packageRoot = path.resolve(fileURLToPath(import.meta.url), "..", "..", "..");
    const file = path.join(packageRoot, "dist", "cjs", "locate.js");
    const { prepareStackTrace, stackTraceLimit } = Error;
    const own = (error: Error): string => `own: ${error.message}`;
    Error.prepareStackTrace = own;
    Error.stackTraceLimit = 7;
    try {
      delete require.cache[file];
      const fresh = require(file) as { packageFolder(): string | null };
      assert.equal(fresh.packageFolder(), packageRoot);
      assert.equal(Error.prepareStackTrace, own);
      assert.equal(Error.stackTraceLimit, 7);
    } finally {
      Error.prepareStackTrace = prepareStackTrace;
      Error.stackTraceLimit = stackTraceLimit;
    }
    // A hardened process: nothing can be changed, so the folder is unknown, and nothing throws.
    const module = pathToFileURL(path.join(packageRoot, "dist", "esm", "locate.js")).href;
    const script = `Object.freeze(Error); const { packageFolder } = await import(${JSON.stringify(module)}); process.stdout.write(JSON.stringify(packageFolder()));`;
    const frozen = spawnSync(process.execPath, ["--input-type=module", "-e", script], {
      encoding: "utf8",
    });
    assert.equal(frozen.status, 0, frozen.stderr);
    assert.equal(frozen.stdout, "null");
  });
});
