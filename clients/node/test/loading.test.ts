// Loading the package both ways, and finding the helpers.
import assert from "node:assert/strict";
import * as fs from "node:fs";
import { createRequire } from "node:module";
import * as path from "node:path";
import { describe, it } from "node:test";
import * as esm from "@tovrin-pelsor/client";
import { locateHelper } from "#internal/locate.js";
import { fakeHelpers, tempFolder } from "./support.js";

const require = createRequire(import.meta.url);

describe("the package", () => {
  it("loads from an ES module and from CommonJS, and its errors are recognised by either copy", async () => {
    const cjs = require("@tovrin-pelsor/client") as typeof esm;
    assert.match(require.resolve("@tovrin-pelsor/client"), /dist[\\/]cjs[\\/]index\.js$/);
    assert.notEqual(cjs.HelperError, esm.HelperError, "both names loaded the same copy");
    for (const api of [esm, cjs]) {
      for (const name of ["launchApplication", "probeSettingsWindow", "watchSettingsWindow", "HelperError"] as const) {
        assert.equal(typeof api[name], "function", name);
      }
    }
    const fromCjs = await cjs.probeSettingsWindow({ helpersDir: "relative/folder" }).catch((error: unknown) => error);
    assert.ok(fromCjs instanceof esm.HelperError);
    assert.ok(fromCjs instanceof cjs.HelperError);
    assert.ok(!(new Error("x") instanceof esm.HelperError));
    for (const value of [undefined, null, 0, "HelperError", Symbol.for("@tovrin-pelsor/client.HelperError"), {}]) {
      assert.equal(value instanceof esm.HelperError, false, String(value));
    }
    assert.equal((fromCjs as Error).name, "HelperError");
    // Other copies and versions of the package know their errors by this key: it never changes.
    const foreign = Object.assign(new Error("x"), { [Symbol.for("@tovrin-pelsor/client.HelperError")]: true });
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
    const error = refusal(() => locateHelper("tovrin", "/Applications/X.app/Contents/Resources/app.asar/bin"));
    assert.match(error.message, /asar archive/);
    assert.match(error.message, /app\.asar\.unpacked/);
    const env = { TOVRIN_PELSOR_HELPERS_DIR: "/Applications/X.app/Contents/Resources/app.asar/bin" };
    assert.match(refusal(() => locateHelper("pelsor", undefined, env)).message, /TOVRIN_PELSOR_HELPERS_DIR/);
  });

  it("says which path it tried when the file is missing or not executable", () => {
    const dir = tempFolder();
    assert.match(refusal(() => locateHelper("tovrin", dir)).message, new RegExp(`${dir}/tovrin: no such file`));
    fs.writeFileSync(path.join(dir, "tovrin"), "#!/bin/sh\n", { mode: 0o644 });
    // Not even root may execute a file without an execute bit.
    assert.match(refusal(() => locateHelper("tovrin", dir)).message, new RegExp(`${dir}/tovrin: not executable`));
    fs.mkdirSync(path.join(dir, "pelsor"));
    assert.match(refusal(() => locateHelper("pelsor", dir)).message, new RegExp(`${dir}/pelsor: not a file`));
    assert.match(refusal(() => locateHelper("pelsor", "bin")).message, /absolute/);
  });

  it("prefers the option, then its environment variable, and never looks on PATH", () => {
    const option = fakeHelpers({ pelsor: "echo null" });
    const variable = fakeHelpers({ pelsor: "echo null" });
    const env = { TOVRIN_PELSOR_HELPERS_DIR: variable, PATH: option };
    assert.equal(locateHelper("pelsor", option, env, "/usr/bin/node"), path.join(option, "pelsor"));
    assert.equal(locateHelper("pelsor", undefined, env, "/usr/bin/node"), path.join(variable, "pelsor"));
    const outside = refusal(() => locateHelper("pelsor", undefined, { PATH: option }, "/usr/bin/node"));
    assert.match(outside.message, /not inside a packaged macOS application/);
    assert.match(outside.message, /TOVRIN_PELSOR_HELPERS_DIR/);
  });

  it("looks beside a packaged application's executable, then in Contents/Helpers", () => {
    const root = tempFolder();
    const contents = path.join(root, "My App.app", "Contents");
    const executable = path.join(contents, "MacOS", "My App");
    fs.mkdirSync(path.join(contents, "MacOS"), { recursive: true });
    fs.mkdirSync(path.join(contents, "Helpers"), { recursive: true });
    fs.writeFileSync(path.join(contents, "Helpers", "pelsor"), "#!/bin/sh\n", { mode: 0o755 });
    assert.equal(locateHelper("pelsor", undefined, {}, executable), path.join(contents, "Helpers", "pelsor"));
    fs.writeFileSync(path.join(contents, "MacOS", "tovrin"), "#!/bin/sh\n", { mode: 0o755 });
    assert.equal(locateHelper("tovrin", undefined, {}, executable), path.join(contents, "MacOS", "tovrin"));
    // An Electron helper process, in a bundle nested inside the application's.
    const nested = path.join(contents, "Frameworks", "My App Helper.app", "Contents", "MacOS", "My App Helper");
    assert.equal(locateHelper("pelsor", undefined, {}, nested), path.join(contents, "Helpers", "pelsor"));
    const missing = refusal(() => locateHelper("tovrin", undefined, {}, path.join(root, "Other.app", "Contents", "MacOS", "Other")));
    assert.match(missing.message, /Other\.app\/Contents\/MacOS\/tovrin: no such file/);
    assert.match(missing.message, /Other\.app\/Contents\/Helpers\/tovrin: no such file/);
    assert.match(missing.message, /TOVRIN_PELSOR_HELPERS_DIR/);
  });
});
