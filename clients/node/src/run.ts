// Starts one helper and collects what it writes: the one spawn path of the package.
import { spawn, type ChildProcess } from "node:child_process";

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
const abortWaiters = new WeakMap<AbortSignal, { callbacks: Set<() => void>; listener: () => void }>();

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
export function runHelper(file: string, args: readonly string[], options: RunOptions): Promise<Finished> {
  return new Promise<Finished>((resolve, reject) => {
    // The callers have checked that the signal is not aborted yet.
    const { signal } = options;
    let settled = false;
    let child: ChildProcess | undefined;
    let timer: NodeJS.Timeout | undefined;
    let stopWaiting: (() => void) | undefined;
    const chunks: Buffer[] = [];
    let size = 0;

    const settle = (failure: RunFailure | null, finished?: Finished): void => {
      if (settled) return;
      settled = true;
      if (timer !== undefined) clearTimeout(timer);
      stopWaiting?.();
      if (failure) reject(failure);
      else resolve(finished as Finished);
    };
    const kill = (): void => {
      if (child && child.exitCode === null && child.signalCode === null) {
        try {
          child.kill("SIGKILL");
        } catch {
          // Already gone.
        }
      }
      child?.stdout?.destroy();
    };
    const aborted = (): void => {
      kill();
      settle(new RunFailure("ABORTED", true, signal?.reason));
    };

    try {
      child = spawn(file, args, {
        shell: false,
        stdio: ["ignore", "pipe", "ignore"],
        env: options.env ?? process.env,
        windowsHide: true,
      });
    } catch (error) {
      // E2BIG, arguments or environment with NUL bytes, and the like are thrown, not emitted.
      settle(new RunFailure("SPAWN_FAILED", false, error));
      return;
    }
    const started = child.pid !== undefined;
    child.on("error", (error) => {
      kill();
      settle(new RunFailure("SPAWN_FAILED", started, error));
    });
    child.stdout?.on("data", (chunk: Buffer) => {
      if (settled) return;
      size += chunk.length;
      if (size > options.maxBytes) {
        kill();
        settle(new RunFailure("TOO_LONG", true));
        return;
      }
      chunks.push(chunk);
    });
    child.on("close", (exitCode, exitSignal) => {
      settle(null, { stdout: Buffer.concat(chunks, size), exitCode, signal: exitSignal });
    });
    timer = setTimeout(() => {
      kill();
      settle(new RunFailure("TIMEOUT", true));
    }, options.timeoutMs);
    if (signal !== undefined) stopWaiting = onAbort(signal, aborted);
  });
}
