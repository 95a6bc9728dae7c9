// Starts one helper and collects what it writes: the one spawn path of the package.
import { spawn, type ChildProcessByStdio } from "node:child_process";
import type { Readable } from "node:stream";

/** How a run ended when the helper ran to its end. */
export interface Finished {
  stdout: Buffer;
  exitCode: number | null;
  signal: NodeJS.Signals | null;
}

/** How a run ended when the package ended it, or it never started. */
export class RunFailure {
  constructor(
    readonly kind: "TIMEOUT" | "ABORTED" | "SPAWN_FAILED" | "TOO_LONG",
    /** Whether the helper process existed (so that it may have done something). */
    readonly started: boolean,
    readonly cause?: unknown,
  ) {}
}

// One "abort" listener per signal, however many runs share it: an application may well start
// dozens of calls with one signal, and EventTarget warns past ten listeners. The listener goes
// when the last run that shares it settles.
const abortWaiters = new WeakMap<
  AbortSignal,
  { callbacks: Set<() => void>; listener: () => void }
>();

/** Calls `callback` once when `signal` aborts; the function it returns takes the callback back. */
export function onAbort(signal: AbortSignal, callback: () => void): () => void {
  let entry = abortWaiters.get(signal);
  if (entry === undefined) {
    const callbacks = new Set<() => void>();
    // Each callback takes itself back, the last one the listener too.
    const listener = (): void => {
      for (const waiting of callbacks) waiting();
    };
    entry = { callbacks, listener };
    abortWaiters.set(signal, entry);
    signal.addEventListener("abort", listener);
  }
  const { callbacks, listener } = entry;
  callbacks.add(callback);
  return () => {
    if (!callbacks.delete(callback) || callbacks.size > 0) return;
    abortWaiters.delete(signal);
    signal.removeEventListener("abort", listener);
  };
}

export interface RunOptions {
  timeoutMs: number;
  signal?: AbortSignal | undefined;
  env?: NodeJS.ProcessEnv | undefined;
  maxBytes: number;
}

/**
 * Runs `file` with `args`, no shell, standard input and error ignored, and reads standard output
 * to its end. Settles exactly once: with the output once the helper has exited and its output has
 * ended, or with a RunFailure. At the time limit, on abort, and when the output passes
 * `maxBytes`, the helper (and only the helper) is killed with SIGKILL and the promise settles at
 * once, without waiting for the helper's end.
 */
export function runHelper(
  file: string,
  args: readonly string[],
  options: RunOptions,
): Promise<Finished> {
  return new Promise<Finished>((resolve, reject) => {
    let child: ChildProcessByStdio<null, Readable, null>;
    try {
      child = spawn(file, args, {
        shell: false,
        stdio: ["ignore", "pipe", "ignore"],
        env: options.env ?? process.env,
        windowsHide: true,
      });
    } catch (error) {
      // E2BIG, arguments or environment with NUL bytes, and the like are thrown, not emitted.
      reject(new RunFailure("SPAWN_FAILED", false, error));
      return;
    }
    // Every way of settling below comes from an event, after the timer and the abort callback
    // are in place. The callers have checked that the signal is not aborted yet.
    const { signal } = options;
    const chunks: Buffer[] = [];
    let size = 0;
    // Called again after the first time, it changes nothing: the promise has settled, the timer
    // is cleared and the abort callback taken back.
    const settle = (failure: RunFailure | null, finished?: Finished): void => {
      clearTimeout(timer);
      stopWaiting?.();
      if (failure) reject(failure);
      else resolve(finished as Finished);
    };
    const kill = (): void => {
      // Once the helper has exited Node.js holds no handle for it and this does nothing: never
      // another process that took its pid.
      child.kill("SIGKILL");
      // What the helper started may hold the pipe open: let go of it now.
      child.stdout.destroy();
    };

    const started = child.pid !== undefined;
    child.on("error", (error) => {
      kill();
      settle(new RunFailure("SPAWN_FAILED", started, error));
    });
    // No data comes once the pipe has been let go of.
    child.stdout.on("data", (chunk: Buffer) => {
      size += chunk.length;
      if (size <= options.maxBytes) {
        chunks.push(chunk);
      } else {
        kill();
        settle(new RunFailure("TOO_LONG", true));
      }
    });
    child.on("close", (exitCode, exitSignal) => {
      settle(null, { stdout: Buffer.concat(chunks, size), exitCode, signal: exitSignal });
    });
    const timer = setTimeout(() => {
      kill();
      settle(new RunFailure("TIMEOUT", true));
    }, options.timeoutMs);
    const stopWaiting =
      signal === undefined
        ? undefined
        : onAbort(signal, () => {
            kill();
            settle(new RunFailure("ABORTED", true, signal.reason));
          });
  });
}
