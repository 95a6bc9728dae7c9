// The two calls: one launch, one probe.
import { channel } from "node:diagnostics_channel";
import { HelperError } from "./errors.js";
import { locateHelper } from "./locate.js";
import type {
  HelperErrorCode,
  HelperName,
  LaunchTarget,
  LaunchedApplication,
  Launched,
  ProbeResult,
} from "./protocol.js";
import {
  checkEnv,
  checkHelpersDir,
  checkMilliseconds,
  checkOptions,
  checkSignal,
} from "./options.js";
import { readLaunchReply, readOutput, readProbeResult } from "./replies.js";
import { runHelper, type Finished, type RunFailure } from "./run.js";

/**
 * Checked before anything starts: a wrong type rejects with a TypeError, a value out of range with
 * a RangeError, and nothing is spawned.
 */
export interface CallOptions {
  /** Time limit, 1 to 2147483647 ms; at the limit the helper is killed with SIGKILL. */
  timeoutMs?: number | undefined;
  /**
   * Aborting kills the helper with SIGKILL; the `ABORTED` error has `signal.reason` as `cause`.
   * The controller's `signal`, not the controller. Any number of calls may share one.
   */
  signal?: AbortSignal | undefined;
  /** The folder holding `tovrin` and `pelsor` (absolute). */
  helpersDir?: string | undefined;
  /** The helper's environment; `process.env` when absent. */
  env?: Readonly<Record<string, string | undefined>> | undefined;
}

/** A launch may take seconds on a busy Mac. */
export const DEFAULT_LAUNCH_TIMEOUT_MS = 30_000;
/** A probe takes milliseconds; the first start of a freshly signed helper can take longer. */
export const DEFAULT_PROBE_TIMEOUT_MS = 3_000;
/**
 * The longest request, in UTF-8 bytes: one command-line argument on Linux holds at most 131072
 * bytes with its terminating NUL; macOS limits all arguments and the environment together to
 * 1 MiB, which this leaves ample room in.
 */
export const MAX_REQUEST_BYTES = 131_071;
/** Output beyond this many bytes is no reply: the helper is killed. Real replies are tiny. */
export const MAX_OUTPUT_BYTES = 16 * 1024 * 1024;

/** Every helper run that ended by itself, for diagnostics: `{ helper, args, stdout, exitCode, signal }`. */
export const OUTPUT_CHANNEL_NAME = "@tovrin-pelsor/client:output";
const outputChannel = channel(OUTPUT_CHANNEL_NAME);

export interface HelperOutput {
  helper: HelperName;
  args: readonly string[];
  stdout: Buffer;
  exitCode: number | null;
  signal: string | null;
}

/** The options as checked: a wrong type or value throws before anything starts. */
export interface CheckedOptions {
  timeoutMs: number;
  signal: AbortSignal | undefined;
  helpersDir: string | undefined;
  env: NodeJS.ProcessEnv | undefined;
}

export function checkCallOptions(
  given: CallOptions | undefined,
  defaultTimeoutMs: number,
): CheckedOptions {
  const options = checkOptions(given);
  return {
    timeoutMs: checkMilliseconds("timeoutMs", options.timeoutMs, defaultTimeoutMs),
    signal: checkSignal(options.signal),
    helpersDir: checkHelpersDir(options.helpersDir),
    env: checkEnv(options.env),
  };
}

function fail(
  helper: HelperName,
  code: HelperErrorCode,
  launched: Launched,
  finished: Pick<Finished, "exitCode" | "signal"> | null,
  detail?: string,
  cause?: unknown,
): never {
  throw new HelperError({
    code,
    helper,
    launched,
    exitCode: finished?.exitCode ?? null,
    signal: finished?.signal ?? null,
    detail,
    cause,
  });
}

async function run(
  helper: HelperName,
  file: string,
  args: string[],
  options: Omit<CheckedOptions, "helpersDir">,
): Promise<Finished> {
  const { timeoutMs } = options;
  let finished: Finished;
  try {
    finished = await runHelper(file, args, {
      timeoutMs,
      signal: options.signal,
      env: options.env,
      maxBytes: MAX_OUTPUT_BYTES,
    });
  } catch (thrown) {
    // runHelper rejects with nothing else.
    const error = thrown as RunFailure;
    // A launcher that was started may have launched something; the probe launches nothing.
    const launched: Launched = helper === "tovrin" && error.started ? "unknown" : "no";
    switch (error.kind) {
      case "TIMEOUT":
        fail(helper, "TIMEOUT", launched, null, `no answer within ${timeoutMs} ms; killed`);
      case "ABORTED":
        fail(helper, "ABORTED", launched, null, "aborted; killed", error.cause);
      case "TOO_LONG":
        fail(
          helper,
          "BAD_REPLY",
          launched,
          null,
          `more than ${MAX_OUTPUT_BYTES} bytes of output; killed`,
        );
      case "SPAWN_FAILED":
        fail(
          helper,
          "SPAWN_FAILED",
          launched,
          null,
          `cannot start ${file}: ${String(error.cause)}`,
          error.cause,
        );
    }
  }
  if (outputChannel.hasSubscribers) {
    const message: HelperOutput = { helper, args, ...finished };
    outputChannel.publish(message);
  }
  return finished;
}

function abortedBeforeTheStart(helper: HelperName, signal: AbortSignal | undefined): void {
  if (signal?.aborted)
    fail(helper, "ABORTED", "no", null, "aborted before the start", signal.reason);
}

function requestFor(target: LaunchTarget): string {
  if (typeof target !== "object" || target === null) {
    throw new TypeError("the target must be { bundleId } or { name }");
  }
  const { bundleId, name } = target as { bundleId?: unknown; name?: unknown };
  if (typeof bundleId === "string" && name === undefined) return JSON.stringify({ bundleId });
  if (typeof name === "string" && bundleId === undefined) return JSON.stringify({ name });
  throw new TypeError("the target must hold exactly one of bundleId and name, as a string");
}

/**
 * Launches an application in the background. Never retried, and the application it starts is
 * never signalled: on a failure, `error.launched` says what may be assumed.
 */
export async function launchApplication(
  target: LaunchTarget,
  options?: CallOptions,
): Promise<LaunchedApplication> {
  const request = requestFor(target);
  const checked = checkCallOptions(options, DEFAULT_LAUNCH_TIMEOUT_MS);
  abortedBeforeTheStart("tovrin", checked.signal);
  const bytes = Buffer.byteLength(request);
  if (bytes > MAX_REQUEST_BYTES) {
    fail("tovrin", "REQUEST_TOO_LARGE", "no", null, `${bytes} bytes, at most ${MAX_REQUEST_BYTES}`);
  }
  const file = locateHelper("tovrin", checked.helpersDir);
  const finished = await run("tovrin", file, [request, String(process.pid)], checked);

  if (finished.signal !== null) fail("tovrin", "KILLED", "unknown", finished);
  const output = readOutput(finished.stdout);
  if (output.kind === "empty") fail("tovrin", "NO_REPLY", "unknown", finished);
  if (output.kind === "bad") fail("tovrin", "BAD_REPLY", "unknown", finished, output.reason);
  const reply = readLaunchReply(output.value);
  if (reply.kind === "success" && finished.exitCode === 0) return reply.application;
  if (reply.kind === "failure") {
    if (reply.code === "BRIDGE_ERROR" && finished.exitCode === 0) {
      fail(
        "tovrin",
        "BRIDGE_ERROR",
        "yes",
        finished,
        "launched, but the reply could not be written",
      );
    }
    if (finished.exitCode === 1) {
      fail(
        "tovrin",
        reply.code,
        reply.code === "APPLICATION_PID_UNAVAILABLE" ? "unknown" : "no",
        finished,
      );
    }
  }
  return fail(
    "tovrin",
    "BAD_REPLY",
    "unknown",
    finished,
    reply.kind === "bad" ? "not a reply" : "a reply with the wrong exit status",
  );
}

/** One probe with a located helper: what the watcher repeats. */
export async function probeWith(
  file: string,
  options: Omit<CheckedOptions, "helpersDir">,
): Promise<ProbeResult> {
  const finished = await run("pelsor", file, [String(process.pid)], options);
  if (finished.signal !== null) fail("pelsor", "KILLED", "no", finished);
  const output = readOutput(finished.stdout);
  if (output.kind === "empty") {
    fail("pelsor", finished.exitCode === 1 ? "PROBE_REFUSED" : "NO_REPLY", "no", finished);
  }
  if (output.kind === "bad") fail("pelsor", "BAD_REPLY", "no", finished, output.reason);
  const result = readProbeResult(output.value);
  if (result === undefined) fail("pelsor", "BAD_REPLY", "no", finished, "not a result");
  if (finished.exitCode !== 0)
    fail("pelsor", "BAD_REPLY", "no", finished, "a result with the wrong exit status");
  return result;
}

/** The settings window's frame and whether it is in front, or `null`. */
export async function probeSettingsWindow(options?: CallOptions): Promise<ProbeResult> {
  const checked = checkCallOptions(options, DEFAULT_PROBE_TIMEOUT_MS);
  abortedBeforeTheStart("pelsor", checked.signal);
  return probeWith(locateHelper("pelsor", checked.helpersDir), checked);
}
