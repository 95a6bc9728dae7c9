// The schemas, and the package's types and reading of replies against them.
import assert from "node:assert/strict";
import { describe, it } from "node:test";
import {
  REPLY_ERROR_CODES,
  TOVRIN_ERROR_CODES,
  type LaunchTarget,
  type LaunchedApplication,
  type ProbeResult,
  type ReplyErrorCode,
  type SettingsWindow,
  type WindowBounds,
} from "@tovrin-pelsor/client";
import * as fs from "node:fs";
import { fileURLToPath } from "node:url";
import { readLaunchReply, readOutput, readProbeResult } from "#internal/replies.js";
import { loadSchemas } from "./support.js";

const schemas = loadSchemas();

// Every key of each type, listed so that the compiler rejects a list that misses or adds one.
const launchedKeys = { bundleId: true, name: true, pid: true } satisfies Record<
  keyof LaunchedApplication,
  true
>;
const windowKeys = { bounds: true, visible: true } satisfies Record<keyof SettingsWindow, true>;
const boundsKeys = { x: true, y: true, width: true, height: true } satisfies Record<
  keyof WindowBounds,
  true
>;

// Typed fixtures: the compiler checks them against the types, the validator against the schemas.
const targets: LaunchTarget[] = [
  { bundleId: "com.apple.calculator" },
  { name: "Calculator" },
  { name: "" },
];
const applications: LaunchedApplication[] = [
  { bundleId: "com.apple.calculator", name: "Calculator", pid: 4242 },
  { bundleId: "", name: "", pid: 2147483647 },
  { bundleId: "a/b", name: "é\u0000", pid: 1 },
];
const results: ProbeResult[] = [
  null,
  { bounds: { x: 120, y: 80, width: 715, height: 560 }, visible: true },
  { bounds: { x: -1e300, y: 0.5, width: 300, height: 200 }, visible: false },
];

function schemaCodes(): string[] {
  const defs = schemas.schema("tovrin-reply")["$defs"] as Record<string, Record<string, unknown>>;
  return (defs["errorCode"]?.["oneOf"] as Array<{ const: string }>).map((entry) => entry.const);
}

describe("the package's types agree with the schemas", () => {
  it("names the same error codes, in the same order", () => {
    assert.deepEqual(schemaCodes(), [...REPLY_ERROR_CODES]);
    assert.deepEqual(REPLY_ERROR_CODES.slice(0, -1), [...TOVRIN_ERROR_CODES]);
    const codes: Record<ReplyErrorCode, true> = Object.fromEntries(
      REPLY_ERROR_CODES.map((code) => [code, true]),
    ) as Record<ReplyErrorCode, true>;
    for (const code of schemaCodes()) assert.ok(code in codes);
  });

  it("requires exactly the members the types have", () => {
    const defs = schemas.schema("tovrin-reply")["$defs"] as Record<string, Record<string, unknown>>;
    assert.deepEqual(
      [...(defs["success"]?.["required"] as string[])].sort(),
      Object.keys(launchedKeys).sort(),
    );
    const window = (
      schemas.schema("pelsor-result")["oneOf"] as Array<Record<string, unknown>>
    )[1] as Record<string, unknown>;
    assert.deepEqual([...(window["required"] as string[])].sort(), Object.keys(windowKeys).sort());
    const bounds = (window["properties"] as Record<string, Record<string, unknown>>)[
      "bounds"
    ] as Record<string, unknown>;
    assert.deepEqual([...(bounds["required"] as string[])].sort(), Object.keys(boundsKeys).sort());
  });

  it("accepts every typed fixture", () => {
    for (const target of targets)
      assert.ok(schemas.validate("tovrin-request", target), JSON.stringify(target));
    for (const application of applications)
      assert.ok(schemas.validate("tovrin-reply", application), schemas.errors());
    for (const code of REPLY_ERROR_CODES)
      assert.ok(schemas.validate("tovrin-reply", { error: code }));
    for (const result of results)
      assert.ok(schemas.validate("pelsor-result", result), schemas.errors());
  });

  it("and the package reads exactly the replies and results the schemas accept", () => {
    const replies: unknown[] = [
      ...applications,
      ...REPLY_ERROR_CODES.map((error) => ({ error })),
      { error: "NOPE" },
      { error: null },
      { error: "APPLICATION_NOT_FOUND", pid: 5 },
      { bundleId: "a", name: "b", pid: 5, error: "BRIDGE_ERROR" },
      { bundleId: "a", name: "b" },
      { bundleId: "a", name: null, pid: 5 },
      { bundleId: "a", name: "b", pid: 0 },
      { bundleId: "a", name: "b", pid: -3 },
      { bundleId: "a", name: "b", pid: 2147483648 },
      { bundleId: "a", name: "b", pid: 5.5 },
      { bundleId: "a", name: "b", pid: "5" },
      { bundleId: "a", name: "b", pid: 5, extra: 1 },
      null,
      [],
      "BRIDGE_ERROR",
      {},
    ];
    for (const reply of replies) {
      assert.equal(
        readLaunchReply(reply).kind !== "bad",
        schemas.validate("tovrin-reply", reply),
        JSON.stringify(reply),
      );
    }
    const window = (bounds: Record<string, unknown>, visible: unknown = true): unknown => ({
      bounds,
      visible,
    });
    const probes: unknown[] = [
      ...results,
      window({ x: 0, y: 0, width: 299.5, height: 200 }),
      window({ x: 0, y: 0, width: 300, height: 199 }),
      window({ x: 0, y: 0, width: 300 }),
      window({ x: 0, y: 0, width: 300, height: 200, z: 1 }),
      window({ x: "0", y: 0, width: 300, height: 200 }),
      window({ x: 0, y: 0, width: 300, height: 200 }, "true"),
      window({ x: 0, y: 0, width: 300, height: 200 }, null),
      { bounds: { x: 0, y: 0, width: 300, height: 200 } },
      { bounds: { x: 0, y: 0, width: 300, height: 200 }, visible: true, extra: null },
      { bounds: null, visible: true },
      {},
      false,
      0,
      [],
    ];
    for (const probe of probes) {
      assert.equal(
        readProbeResult(probe) !== undefined,
        schemas.validate("pelsor-result", probe),
        JSON.stringify(probe),
      );
    }
  });
});

interface CorpusLine {
  line: string;
  valid: boolean;
  note: string;
}
const corpus = JSON.parse(
  fs.readFileSync(
    fileURLToPath(new URL("../../test/protocol-lines.json", import.meta.url)),
    "utf8",
  ),
) as { pelsor: CorpusLine[]; tovrin: CorpusLine[] };

// The protocol's framing, read independently of the client: one compact JSON text (RFC 8259
// tokens with nothing between them) and a line feed.
const TOKEN =
  /"(?:[^"\\\u0000-\u001f]|\\["\\/bfnrt]|\\u[0-9a-fA-F]{4})*"|-?(?:0|[1-9][0-9]*)(?:\.[0-9]+)?(?:[eE][+-]?[0-9]+)?|true|false|null|[{}[\]:,]/y;
function framedValue(text: string): { value: unknown } | undefined {
  if (!text.endsWith("\n") || text.indexOf("\n") !== text.length - 1) return undefined;
  const line = text.slice(0, -1);
  TOKEN.lastIndex = 0;
  while (TOKEN.lastIndex < line.length) {
    if (!TOKEN.test(line)) return undefined;
  }
  try {
    return { value: JSON.parse(line) as unknown };
  } catch {
    return undefined;
  }
}

describe("one corpus of lines, judged by the reader and by the schemas", () => {
  for (const helper of ["pelsor", "tovrin"] as const) {
    it(`agree on every ${helper} line, and with the corpus`, () => {
      const schema = helper === "pelsor" ? "pelsor-result" : "tovrin-reply";
      for (const entry of corpus[helper]) {
        const label = `${JSON.stringify(entry.line)} (${entry.note})`;
        const framed = framedValue(entry.line);
        const bySchema = framed !== undefined && schemas.validate(schema, framed.value);
        const output = readOutput(Buffer.from(entry.line, "utf8"));
        const byReader =
          output.kind === "value" &&
          (helper === "pelsor"
            ? readProbeResult(output.value) !== undefined
            : readLaunchReply(output.value).kind !== "bad");
        assert.equal(byReader, bySchema, `the reader and the schema differ on ${label}`);
        assert.equal(bySchema, entry.valid, label);
      }
    });
  }

  it("holds both verdicts for each helper", () => {
    for (const helper of ["pelsor", "tovrin"] as const) {
      assert.ok(corpus[helper].some((entry) => entry.valid));
      assert.ok(corpus[helper].some((entry) => !entry.valid));
    }
  });
});

describe("the request schema", () => {
  it("accepts exactly one designation, null counting as absent, other members ignored", () => {
    const cases: Array<[unknown, boolean]> = [
      [{ bundleId: "a" }, true],
      [{ name: "" }, true],
      [{ name: "a", bundleId: null }, true],
      [{ bundleId: "a", name: null, other: [1, { deep: true }] }, true],
      [{ name: "a", bundleId: "b" }, false],
      [{}, false],
      [{ name: null, bundleId: null }, false],
      [{ Name: "a" }, false],
      [{ name: 5 }, false],
      [{ name: "a", bundleId: false }, false],
      [["name"], false],
      ["name", false],
      [null, false],
    ];
    for (const [request, valid] of cases) {
      assert.equal(schemas.validate("tovrin-request", request), valid, JSON.stringify(request));
    }
  });
});

describe("the parent pid schema", () => {
  // A plain reading of the rule, with arbitrary-precision integers.
  function accepted(text: string): boolean {
    if (!/^[+-]?[0-9]+$/.test(text)) return false;
    const value = BigInt(text);
    return value >= 2n && value <= 2147483647n;
  }
  function isNumber(text: string): boolean {
    if (!/^[+-]?[0-9]+$/.test(text)) return false;
    const value = BigInt(text);
    return value >= -2147483648n && value <= 2147483647n;
  }

  it("states syntax, range and the lower bound as a plain reading of the rule does", () => {
    const texts = [
      "2",
      "1",
      "0",
      "-0",
      "+0",
      "+1",
      "+2",
      "00",
      "01",
      "02",
      "-1",
      "-2",
      "4242",
      "+4242",
      "0004242",
      "2147483647",
      "2147483648",
      "+2147483647",
      "00002147483647",
      "2147483646",
      "2147483650",
      "9999999999",
      "-2147483648",
      "-2147483649",
      "-02147483648",
      "1000000000",
      "999999999",
      "10000000000",
      "2047483647",
      "2140000000",
      "2147399999",
      "2147483639",
      "2147483640",
      "21474836470",
      "",
      "+",
      "-",
      "+-1",
      " 5",
      "5 ",
      "5.0",
      "0x10",
      "١٢",
      "1e3",
    ];
    // And every ten-digit number near the bounds, digit by digit.
    for (let digit = 0; digit < 10; digit++) {
      for (const base of ["2147483647", "2147483648"]) {
        for (let at = 0; at < 10; at++) texts.push(base.slice(0, at) + digit + base.slice(at + 1));
      }
    }
    for (const text of texts) {
      assert.equal(schemas.validate("parent-pid", text), accepted(text), JSON.stringify(text));
    }
    const defs = schemas.schema("parent-pid")["$defs"] as Record<
      string,
      { allOf: Array<{ pattern: string }> }
    >;
    const patterns = (defs["signedInt32"]?.allOf ?? []).map(
      (entry) => new RegExp(entry.pattern, "u"),
    );
    for (const text of texts.concat(texts.map((t) => "-" + t.replace(/^[+-]/, "")))) {
      assert.equal(
        patterns.every((pattern) => pattern.test(text)),
        isNumber(text),
        JSON.stringify(text),
      );
    }
  });
});
