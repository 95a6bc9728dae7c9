// The release job's steps that run off a Mac: the version check, the release's files and notes.
import assert from "node:assert/strict";
import { createHash } from "node:crypto";
import { spawnSync, type SpawnSyncReturns } from "node:child_process";
import * as fs from "node:fs";
import * as path from "node:path";
import { describe, it } from "node:test";
import { fileURLToPath } from "node:url";
import { tempFolder, realHelpersDir, universalHelpers } from "./support.js";

const root = fileURLToPath(new URL("../../../../", import.meta.url));
const client = path.join(root, "clients", "node");
const script = (name: string): string => path.join(root, "scripts", name);
const version = (
  JSON.parse(fs.readFileSync(path.join(client, "package.json"), "utf8")) as { version: string }
).version;

function run(
  command: string,
  args: string[],
  env: NodeJS.ProcessEnv = process.env,
): SpawnSyncReturns<string> {
  return spawnSync(command, args, { encoding: "utf8", env });
}

function sha256(file: string | Buffer): string {
  return createHash("sha256")
    .update(Buffer.isBuffer(file) ? file : fs.readFileSync(file))
    .digest("hex");
}

describe("scripts/check-tag", () => {
  it("accepts the tag v<version> and, for a dry run only, a branch; prints the version", () => {
    const cases: Array<{ args: string[]; status: number; error?: RegExp }> = [
      { args: ["tag", `v${version}`], status: 0 },
      { args: ["branch", "main", "--dry-run"], status: 0 },
      { args: ["tag", `v${version}`, "--dry-run"], status: 0 },
      {
        args: ["tag", version],
        status: 1,
        error: new RegExp(`the tag ${version} is not v${version}`),
      },
      { args: ["tag", `v${version}.1`], status: 1, error: /is not v/ },
      { args: ["tag", `v${version}-rc.1`], status: 1, error: /is not v/ },
      { args: ["branch", "main"], status: 1, error: /from a tag v.*, not from branch main/ },
      { args: ["tag"], status: 2, error: /usage/ },
      { args: ["branch", "main", "--dry"], status: 2, error: /usage/ },
    ];
    for (const c of cases) {
      const result = run(script("check-tag"), c.args);
      assert.equal(result.status, c.status, `${c.args.join(" ")}: ${result.stderr}`);
      if (c.status === 0) assert.equal(result.stdout, `${version}\n`);
      else assert.match(result.stderr, c.error as RegExp);
    }
  });

  it("refuses a lockfile that gives another version", () => {
    for (const edit of [
      (lock: { version: string }) => {
        lock.version = "9.9.9";
      },
      (lock: { packages: Record<string, { version: string }> }) => {
        (lock.packages[""] as { version: string }).version = "9.9.9";
      },
    ] as Array<(lock: never) => void>) {
      const copy = tempFolder();
      fs.copyFileSync(path.join(client, "package.json"), path.join(copy, "package.json"));
      const lock = JSON.parse(
        fs.readFileSync(path.join(client, "package-lock.json"), "utf8"),
      ) as never;
      edit(lock);
      fs.writeFileSync(path.join(copy, "package-lock.json"), JSON.stringify(lock));
      const result = run(script("check-tag"), ["tag", `v${version}`], {
        ...process.env,
        NODE_PACKAGE_DIR: copy,
      });
      assert.equal(result.status, 1);
      assert.match(result.stderr, /package-lock\.json .*9\.9\.9/);
    }
  });
});

describe("scripts/release-files", () => {
  it("makes the zip of both programs, the licence, the third-party notices and their checksums, the tarball, and their checksums", () => {
    const helpers = universalHelpers();
    const assembled = path.join(tempFolder(), "package");
    assert.equal(run(script("assemble-node-package"), [helpers, assembled]).status, 0);
    const out = path.join(tempFolder(), "files");
    const made = run(script("release-files"), [assembled, out]);
    assert.equal(made.status, 0, made.stderr);

    const zip = `tovrin-pelsor-${version}-macos-universal.zip`;
    const tarball = `tovrin-pelsor-client-${version}.tgz`;
    assert.deepEqual(fs.readdirSync(out).sort(), ["SHA256SUMS", tarball, zip].sort());
    assert.equal(
      fs.readFileSync(path.join(out, "SHA256SUMS"), "utf8"),
      `${sha256(path.join(out, zip))}  ${zip}\n${sha256(path.join(out, tarball))}  ${tarball}\n`,
    );

    const folder = `tovrin-pelsor-${version}`;
    const listing = run("unzip", ["-Z", path.join(out, zip)]).stdout;
    const entries = new Map(
      [...listing.matchAll(/^(\S{10}) .* (\S+)$/gm)].map((m) => [m[2] as string, m[1] as string]),
    );
    assert.deepEqual(
      [...entries.keys()].sort(),
      [
        `${folder}/`,
        `${folder}/LICENSE`,
        `${folder}/THIRD_PARTY_NOTICES.md`,
        `${folder}/SHA256SUMS`,
        `${folder}/pelsor`,
        `${folder}/tovrin`,
      ].sort(),
    );
    assert.equal(entries.get(`${folder}/tovrin`), "-rwxr-xr-x");
    assert.equal(entries.get(`${folder}/pelsor`), "-rwxr-xr-x");
    const inZip = (name: string): Buffer =>
      spawnSync("unzip", ["-p", path.join(out, zip), `${folder}/${name}`]).stdout;
    for (const name of ["tovrin", "pelsor"])
      assert.deepEqual(inZip(name), fs.readFileSync(path.join(helpers, name)));
    for (const name of ["LICENSE", "THIRD_PARTY_NOTICES.md"])
      assert.deepEqual(inZip(name), fs.readFileSync(path.join(root, name)), name);
    const sums = ["tovrin", "pelsor", "LICENSE", "THIRD_PARTY_NOTICES.md"]
      .map((name) => `${sha256(inZip(name))}  ${name}\n`)
      .join("");
    assert.equal(inZip("SHA256SUMS").toString(), sums);

    // The tarball is the package as assembled.
    const listed = run("tar", ["-tzf", path.join(out, tarball)]).stdout.split("\n");
    for (const name of [
      "helpers/darwin/tovrin",
      "helpers/darwin/pelsor",
      "LICENSE",
      "THIRD_PARTY_NOTICES.md",
    ]) {
      assert.ok(listed.includes(`package/${name}`), `${name} not in ${listed.join(" ")}`);
    }
  });

  it("refuses the package assembled for tests, and a folder that is not empty", () => {
    const assembled = path.join(tempFolder(), "package");
    assert.equal(
      run(script("assemble-node-package"), ["--for-tests", realHelpersDir(), assembled]).status,
      0,
    );
    const out = path.join(tempFolder(), "files");
    const refused = run(script("release-files"), [assembled, out]);
    assert.equal(refused.status, 1);
    assert.match(refused.stderr, /private package/);
    assert.ok(!fs.existsSync(out));

    const released = path.join(tempFolder(), "package");
    assert.equal(run(script("assemble-node-package"), [universalHelpers(), released]).status, 0);
    const busy = tempFolder();
    fs.writeFileSync(path.join(busy, "old"), "");
    const again = run(script("release-files"), [released, busy]);
    assert.equal(again.status, 1);
    assert.match(again.stderr, /is not empty/);
  });
});

describe("scripts/release-notes", () => {
  it("says how the programs were signed and whether they were notarised", () => {
    const notes = (signature: string, notarisation: string): SpawnSyncReturns<string> =>
      run(script("release-notes"), [version, signature, notarisation], {
        ...process.env,
        GITHUB_REPOSITORY: "owner/name",
      });
    const adHoc = notes("ad-hoc", "not-notarised");
    assert.equal(adHoc.status, 0);
    assert.match(adHoc.stdout, /signed ad hoc, not with a Developer ID, and are not\s+notarised/);
    assert.match(adHoc.stdout, new RegExp(`tovrin-pelsor-${version}-macos-universal\\.zip`));
    assert.match(adHoc.stdout, /gh attestation verify FILE --repo\s+owner\/name/);
    assert.match(
      adHoc.stdout,
      new RegExp(`https://github\\.com/owner/name/blob/v${version}/docs/releasing\\.md`),
    );
    const notarised = notes("developer-id", "notarised");
    assert.match(
      notarised.stdout,
      /signed with a Developer ID, with the hardened runtime, and notarised/,
    );
    assert.doesNotMatch(notarised.stdout, /ad hoc|not notarised/);
    assert.match(notes("developer-id", "not-notarised").stdout, /They are not\s+notarised/);
    for (const [signature, notarisation] of [
      ["ad-hoc", "notarised"],
      ["adhoc", "not-notarised"],
      ["developer-id", "yes"],
    ] as const) {
      assert.equal(notes(signature, notarisation).status, 2, `${signature} ${notarisation}`);
    }
  });
});

describe("the release workflow", () => {
  it("pins every action by its full commit, and calls each tested script", () => {
    const workflow = fs.readFileSync(
      path.join(root, ".github", "workflows", "release.yml"),
      "utf8",
    );
    const uses = [...workflow.matchAll(/^\s*(?:- )?uses: (.*)$/gm)].map((m) => m[1] as string);
    assert.ok(uses.length > 0);
    for (const action of uses)
      assert.match(action, /^[\w.-]+\/[\w.-]+@[0-9a-f]{40} {2}# v\d+\.\d+\.\d+$/, action);
    for (const name of ["check-tag", "assemble-node-package", "release-files", "release-notes"]) {
      assert.match(workflow, new RegExp(`\\bscripts/${name} `), name);
    }
  });
});
