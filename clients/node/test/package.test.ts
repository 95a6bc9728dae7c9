// The package as users get it: assembled by scripts/assemble-node-package, packed, installed into
// a fresh application and called with no options; and laid out as a packaged Electron
// application lays it out, through an asar archive.
import assert from "node:assert/strict";
import { spawnSync, type SpawnSyncReturns } from "node:child_process";
import * as fs from "node:fs";
import * as path from "node:path";
import { after, describe, it } from "node:test";
import { fileURLToPath } from "node:url";
import {
  SLEEPER,
  alive,
  installBundle,
  realHelpersDir,
  remember,
  stopLaunched,
  tempFolder,
  universalHelpers,
} from "./support.js";

const root = fileURLToPath(new URL("../../../../", import.meta.url));
const client = path.join(root, "clients", "node");
const assemble = path.join(root, "scripts", "assemble-node-package");
const bin = realHelpersDir();
// Launching demo bundles from a private home folder needs the stand-in; on a Mac the probe still
// shows that the installed package found and started its own helper.
const standIn = process.platform !== "darwin";
after(stopLaunched);

function run(
  command: string,
  args: string[],
  options: { cwd?: string; env?: NodeJS.ProcessEnv } = {},
): SpawnSyncReturns<string> {
  return spawnSync(command, args, { encoding: "utf8", ...options });
}

function succeed(
  command: string,
  args: string[],
  options: { cwd?: string; env?: NodeJS.ProcessEnv } = {},
): string {
  const result = run(command, args, options);
  assert.equal(result.status, 0, `${command} ${args.join(" ")}: ${result.stderr}${result.stdout}`);
  return result.stdout;
}

// npm without the registry: a cache of its own, offline.
const npmCache = tempFolder("tovrin-pelsor-npm-cache-");
function npm(args: string[], cwd: string): string {
  return succeed(
    "npm",
    [...args, "--offline", "--cache", npmCache, "--no-audit", "--no-fund", "--loglevel=error"],
    { cwd },
  );
}

interface PackedFile {
  path: string;
  mode: number;
}

describe("assembling the package", () => {
  it(
    "refuses programs that are not universal macOS ones, unless it is for a test",
    { skip: standIn ? false : "needs programs that are not universal" },
    () => {
      const out = path.join(tempFolder(), "package");
      const refused = run(assemble, [bin, out]);
      assert.equal(refused.status, 1);
      assert.match(refused.stderr, /tovrin is not a universal macOS program .*--for-tests/);
      assert.ok(!fs.existsSync(out), "a refused assembly left a folder");
    },
  );

  it("packs exactly the client, its README, the licence and third-party notices, and both programs for macOS", () => {
    const out = path.join(tempFolder(), "package");
    succeed(assemble, [universalHelpers(), out]);
    const [packed] = JSON.parse(npm(["pack", "--dry-run", "--json"], out)) as Array<{
      files: PackedFile[];
    }>;
    assert.ok(packed);
    const modules = fs
      .readdirSync(path.join(client, "src"))
      .filter((name) => name.endsWith(".ts"))
      .map((name) => name.slice(0, -3));
    const expected = [
      "LICENSE",
      "THIRD_PARTY_NOTICES.md",
      "README.md",
      "package.json",
      "dist/cjs/package.json",
      "helpers/darwin/pelsor",
      "helpers/darwin/tovrin",
    ];
    for (const build of ["esm", "cjs"]) {
      for (const module of modules)
        expected.push(`dist/${build}/${module}.js`, `dist/${build}/${module}.d.ts`);
    }
    assert.deepEqual(packed.files.map((file) => file.path).sort(), expected.sort());
    for (const file of packed.files.filter((file) => file.path.startsWith("helpers/"))) {
      assert.equal(file.mode & 0o777, 0o755, file.path);
    }

    const manifest = JSON.parse(fs.readFileSync(path.join(out, "package.json"), "utf8")) as Record<
      string,
      unknown
    >;
    const source = JSON.parse(fs.readFileSync(path.join(client, "package.json"), "utf8")) as Record<
      string,
      unknown
    >;
    for (const key of ["private", "imports", "scripts", "devDependencies", "dependencies"])
      assert.ok(!(key in manifest), key);
    for (const key of [
      "name",
      "version",
      "license",
      "repository",
      "homepage",
      "bugs",
      "exports",
      "engines",
    ]) {
      assert.deepEqual(manifest[key], source[key], key);
    }
    for (const name of ["LICENSE", "THIRD_PARTY_NOTICES.md"]) {
      assert.equal(
        fs.readFileSync(path.join(out, name), "utf8"),
        fs.readFileSync(path.join(root, name), "utf8"),
        name,
      );
    }
    // The registry's page shows the README alone: every link is absolute or within it.
    const readme = fs.readFileSync(path.join(out, "README.md"), "utf8");
    const anchors = new Set(
      [...readme.matchAll(/^#+ (.*)$/gm)].map((m) =>
        (m[1] as string)
          .toLowerCase()
          .replace(/[^\w\- ]/g, "")
          .replace(/ /g, "-"),
      ),
    );
    for (const [, target] of readme.matchAll(/\]\(([^)\s]+)\)/g)) {
      if (target!.startsWith("#"))
        assert.ok(anchors.has(target!.slice(1)), `no heading for ${target}`);
      else assert.match(target!, /^https:\/\//);
    }
  });
});

// The application's script: each call with no options, and what came of it.
const MAIN = `
const settle = (promise) => promise.then((value) => ({ value }), (error) => ({ code: error.code, message: error.message }));
async function main(client) {
  const [name, bundleId] = process.argv.slice(2);
  const result = {};
  if (name) result.byName = await settle(client.launchApplication({ name }));
  if (bundleId) result.byId = await settle(client.launchApplication({ bundleId }));
  result.probe = await settle(client.probeSettingsWindow());
  console.log(JSON.stringify(result));
}
`;

describe("the package installed into an application", () => {
  const unique = `${process.pid}-${Date.now()}`;
  const home = tempFolder();
  const name = `Packaged ${unique}`;
  const bundleId = `org.example.node-package-${unique}`;
  installBundle(
    home,
    "Packaged.app",
    { CFBundleIdentifier: bundleId, CFBundleName: name },
    SLEEPER,
  );
  const env: NodeJS.ProcessEnv = { ...process.env, HOME: home };
  delete env["TOVRIN_PELSOR_HELPERS_DIR"];

  // Assembled for this machine, packed, and installed from the tarball into a fresh application.
  const app = tempFolder();
  const assembled = path.join(tempFolder(), "package");
  succeed(assemble, ["--for-tests", bin, assembled]);
  const tarball = path.join(
    app,
    npm(["pack", "--silent", "--pack-destination", app], assembled).trim(),
  );
  fs.writeFileSync(
    path.join(app, "package.json"),
    JSON.stringify({ name: "an-application", version: "1.0.0", private: true }),
  );
  npm(["install", tarball], app);
  fs.writeFileSync(
    path.join(app, "main.mjs"),
    `${MAIN}\nmain(await import("@tovrin-pelsor/client"));\n`,
  );
  fs.writeFileSync(
    path.join(app, "main.cjs"),
    `${MAIN}\nmain(require("@tovrin-pelsor/client"));\n`,
  );
  const installed = path.join(app, "node_modules", "@tovrin-pelsor", "client");

  function callFrom(
    script: string,
    args: string[],
  ): Record<string, { value?: unknown; code?: string; message?: string }> {
    const output = succeed(process.execPath, [script, ...args], { env });
    const result = JSON.parse(output) as Record<
      string,
      { value?: { pid?: number }; code?: string }
    >;
    for (const call of [result["byName"], result["byId"]]) {
      if (typeof call?.value?.pid === "number") remember(call.value.pid);
    }
    return result;
  }

  function checkCalls(script: string): void {
    if (!standIn) {
      // Found and started: whatever the probe answers here, it is not that it could not start.
      const { probe } = callFrom(script, []);
      assert.notEqual(probe?.code, "SPAWN_FAILED", probe?.message);
      return;
    }
    const { byName, byId, probe } = callFrom(script, [name, bundleId]);
    for (const call of [byName, byId]) {
      const value = call?.value as { bundleId: string; name: string; pid: number } | undefined;
      assert.ok(value, JSON.stringify(call));
      assert.deepEqual({ bundleId: value.bundleId, name: value.name }, { bundleId, name });
      assert.ok(alive(value.pid));
    }
    assert.deepEqual(probe, { value: null });
  }

  it("holds the programs in helpers/<platform>, and is private", () => {
    for (const program of ["tovrin", "pelsor"]) {
      fs.accessSync(path.join(installed, "helpers", process.platform, program), fs.constants.X_OK);
    }
    assert.equal(
      (
        JSON.parse(fs.readFileSync(path.join(installed, "package.json"), "utf8")) as {
          private?: boolean;
        }
      ).private,
      true,
    );
  });

  it("launches by name and by identifier and probes with no options, from an ES module and from CommonJS", () => {
    for (const script of ["main.mjs", "main.cjs"]) checkCalls(path.join(app, script));
  });

  it("inside an application's asar archive, starts the programs from app.asar.unpacked", () => {
    const resources = path.join(tempFolder(), "An Application.app", "Contents", "Resources");
    const archive = path.join(resources, "app.asar");
    fs.cpSync(app, archive, { recursive: true });
    // The archive's own copies, which Electron would read but cannot start: these fail if used.
    const inArchive = path.join(
      archive,
      "node_modules",
      "@tovrin-pelsor",
      "client",
      "helpers",
      process.platform,
    );
    for (const program of ["tovrin", "pelsor"])
      fs.writeFileSync(path.join(inArchive, program), "#!/bin/sh\nexit 99\n", { mode: 0o755 });

    // Not unpacked yet: the error says what to unpack.
    const { probe } = callFrom(path.join(archive, "main.mjs"), []);
    assert.equal(probe?.code, "SPAWN_FAILED");
    assert.match(
      probe?.message ?? "",
      /app\.asar\.unpacked\/node_modules\/@tovrin-pelsor\/client\/helpers\/[a-z0-9]+\/pelsor: no such file/,
    );
    assert.match(
      probe?.message ?? "",
      /add "node_modules\/@tovrin-pelsor\/client\/helpers\/\*\*" to the packager's asarUnpack patterns/,
    );

    const unpacked = path.join(
      resources,
      "app.asar.unpacked",
      "node_modules",
      "@tovrin-pelsor",
      "client",
      "helpers",
    );
    fs.mkdirSync(unpacked, { recursive: true });
    fs.cpSync(
      path.join(installed, "helpers", process.platform),
      path.join(unpacked, process.platform),
      { recursive: true },
    );
    for (const script of ["main.mjs", "main.cjs"]) checkCalls(path.join(archive, script));
  });
});
