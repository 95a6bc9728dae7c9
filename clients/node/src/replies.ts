// Reading the one line a helper writes.
import {
  REPLY_ERROR_CODES,
  type LaunchedApplication,
  type ProbeResult,
  type ReplyErrorCode,
} from "./protocol.js";

/** What a helper's standard output held. */
export type Output =
  { kind: "empty" } | { kind: "value"; value: unknown } | { kind: "bad"; reason: string };

const decoder = new TextDecoder("utf-8", { fatal: true, ignoreBOM: true });

// Whether JSON text holds white space outside its strings (where a raw control character cannot
// stand, so that a space is the only white space a string may hold).
function loose(text: string): boolean {
  let inString = false;
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (inString) {
      if (c === 0x5c)
        i++; // a backslash: the next character is escaped
      else if (c === 0x22) inString = false;
    } else if (c === 0x22) {
      inString = true;
    } else if (c === 0x20 || c === 0x09 || c === 0x0d) {
      return true;
    }
  }
  return false;
}

/**
 * Exactly one line of compact UTF-8 JSON (no white space outside strings, so no carriage return
 * either) ending in a line feed is a value; nothing is empty.
 */
export function readOutput(stdout: Uint8Array): Output {
  if (stdout.length === 0) return { kind: "empty" };
  let text: string;
  try {
    text = decoder.decode(stdout);
  } catch {
    return { kind: "bad", reason: "not UTF-8" };
  }
  if (!text.endsWith("\n")) return { kind: "bad", reason: "no line feed at the end" };
  const line = text.slice(0, -1);
  if (line.includes("\n")) return { kind: "bad", reason: "more than one line" };
  if (loose(line)) return { kind: "bad", reason: "white space outside strings" };
  try {
    return { kind: "value", value: JSON.parse(line) as unknown };
  } catch {
    return { kind: "bad", reason: "not JSON" };
  }
}

function finite(value: unknown): value is number {
  return Number.isFinite(value);
}

function isObject(value: unknown): value is Record<string, unknown> {
  return typeof value === "object" && value !== null && !Array.isArray(value);
}

function hasExactly(value: Record<string, unknown>, keys: readonly string[]): boolean {
  const own = Object.keys(value);
  return (
    own.length === keys.length &&
    keys.every((key) => Object.prototype.hasOwnProperty.call(value, key))
  );
}

const replyCodes: ReadonlySet<string> = new Set(REPLY_ERROR_CODES);

export type LaunchReply =
  | { kind: "success"; application: LaunchedApplication }
  | { kind: "failure"; code: ReplyErrorCode }
  | { kind: "bad" };

/** The launcher's reply: exactly the success members, or exactly one known `error`. */
export function readLaunchReply(value: unknown): LaunchReply {
  if (!isObject(value)) return { kind: "bad" };
  if (hasExactly(value, ["error"])) {
    const code = value["error"];
    return replyCodes.has(code as string)
      ? { kind: "failure", code: code as ReplyErrorCode }
      : { kind: "bad" };
  }
  const { bundleId, name, pid } = value;
  if (
    hasExactly(value, ["bundleId", "name", "pid"]) &&
    typeof bundleId === "string" &&
    typeof name === "string" &&
    Number.isInteger(pid) &&
    (pid as number) >= 1 &&
    (pid as number) <= 2147483647
  ) {
    return { kind: "success", application: { bundleId, name, pid: pid as number } };
  }
  return { kind: "bad" };
}

/** The probe's result: `null`, or exactly the frame and `visible`; undefined when it is neither. */
export function readProbeResult(value: unknown): ProbeResult | undefined {
  if (value === null) return null;
  if (!isObject(value) || !hasExactly(value, ["bounds", "visible"])) return undefined;
  const { bounds, visible } = value;
  if (typeof visible !== "boolean" || !isObject(bounds)) return undefined;
  if (!hasExactly(bounds, ["x", "y", "width", "height"])) return undefined;
  const { x, y, width, height } = bounds;
  // A number too large for a double (1e400) reads as Infinity, which no frame holds.
  if (!finite(x) || !finite(y)) return undefined;
  if (!finite(width) || width < 300) return undefined;
  if (!finite(height) || height < 200) return undefined;
  return { bounds: { x, y, width, height }, visible };
}
