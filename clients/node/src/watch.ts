// Probing again and again, reporting what changed.
import { EventEmitter } from "node:events";
import { checkTimeout, DEFAULT_PROBE_TIMEOUT_MS, probeWith } from "./client.js";
import { HelperError } from "./errors.js";
import { locateHelper } from "./locate.js";
import type { HelperErrorCode, ProbeResult } from "./protocol.js";

export interface WatchOptions {
  /** Time between the starts of two probes; 250 when absent. */
  intervalMs?: number | undefined;
  /** Each probe's time limit. */
  timeoutMs?: number | undefined;
  /** The folder holding `pelsor` (absolute). */
  helpersDir?: string | undefined;
  /** Aborting stops the watcher, as `stop()` does. */
  signal?: AbortSignal | undefined;
}

export const DEFAULT_WATCH_INTERVAL_MS = 250;

function same(a: ProbeResult, b: ProbeResult): boolean {
  if (a === null || b === null) return a === b;
  return (
    a.visible === b.visible &&
    a.bounds.x === b.bounds.x &&
    a.bounds.y === b.bounds.y &&
    a.bounds.width === b.bounds.width &&
    a.bounds.height === b.bounds.height
  );
}

interface Sink {
  push(value: ProbeResult): void;
  end(): void;
}

export interface SettingsWindowWatcher {
  on(event: "change", listener: (value: ProbeResult) => void): this;
  on(event: "error", listener: (error: HelperError) => void): this;
  on(event: "recovered", listener: () => void): this;
  once(event: "change", listener: (value: ProbeResult) => void): this;
  once(event: "error", listener: (error: HelperError) => void): this;
  once(event: "recovered", listener: () => void): this;
  addListener(event: "change", listener: (value: ProbeResult) => void): this;
  addListener(event: "error", listener: (error: HelperError) => void): this;
  addListener(event: "recovered", listener: () => void): this;
  off(event: "change", listener: (value: ProbeResult) => void): this;
  off(event: "error", listener: (error: HelperError) => void): this;
  off(event: "recovered", listener: () => void): this;
}

/**
 * Probes every `intervalMs`, never two at once (a tick that falls during a probe is skipped).
 * Emits `change` with the first value and then with each value that differs from the last one;
 * `error` once per run of failures with the same code, and `recovered` when a probe succeeds
 * after failures. An `error` with no listener is dropped rather than thrown: the watcher goes on.
 * Iterating yields the latest value first, then each change; leaving the loop stops the watcher.
 */
export class SettingsWindowWatcher extends EventEmitter implements AsyncIterable<ProbeResult> {
  readonly #file: string;
  readonly #timeoutMs: number;
  readonly #signal: AbortSignal | undefined;
  readonly #onAbort = (): void => this.stop();
  readonly #sinks = new Set<Sink>();
  #timer: NodeJS.Timeout | undefined;
  #inFlight: AbortController | null = null;
  #stopped = false;
  #hasValue = false;
  #value: ProbeResult = null;
  #errorCode: HelperErrorCode | null = null;

  /** Use `watchSettingsWindow()`. */
  constructor(options: WatchOptions = {}) {
    super();
    const intervalMs = options.intervalMs ?? DEFAULT_WATCH_INTERVAL_MS;
    if (typeof intervalMs !== "number" || !Number.isFinite(intervalMs) || intervalMs < 1 || intervalMs > 2_147_483_647) {
      throw new RangeError(`intervalMs must be a number of milliseconds of at least 1, not ${String(intervalMs)}`);
    }
    this.#timeoutMs = checkTimeout(options.timeoutMs, DEFAULT_PROBE_TIMEOUT_MS);
    this.#file = locateHelper("pelsor", options.helpersDir);
    this.#signal = options.signal;
    if (this.#signal?.aborted) {
      this.#stopped = true;
      return;
    }
    this.#signal?.addEventListener("abort", this.#onAbort, { once: true });
    this.#timer = setInterval(() => this.#tick(), intervalMs);
    this.#tick();
  }

  /** Whether the watcher has been stopped. */
  get stopped(): boolean {
    return this.#stopped;
  }

  /** The last value seen, or undefined before the first. */
  get value(): ProbeResult | undefined {
    return this.#hasValue ? this.#value : undefined;
  }

  /** Stops probing and kills a probe in flight; ends every iteration. Safe to call again. */
  stop(): void {
    if (this.#stopped) return;
    this.#stopped = true;
    clearInterval(this.#timer);
    this.#signal?.removeEventListener("abort", this.#onAbort);
    const inFlight = this.#inFlight;
    this.#inFlight = null;
    inFlight?.abort();
    for (const sink of this.#sinks) sink.end();
    this.#sinks.clear();
  }

  #tick(): void {
    if (this.#stopped || this.#inFlight !== null) return;
    const controller = new AbortController();
    this.#inFlight = controller;
    probeWith(this.#file, this.#timeoutMs, { signal: controller.signal }).then(
      (value) => {
        if (this.#inFlight !== controller) return;
        this.#inFlight = null;
        this.#succeeded(value);
      },
      (error: unknown) => {
        if (this.#inFlight !== controller) return;
        this.#inFlight = null;
        this.#failed(error);
      },
    );
  }

  #succeeded(value: ProbeResult): void {
    if (this.#errorCode !== null) {
      this.#errorCode = null;
      this.emit("recovered");
    }
    if (this.#hasValue && same(this.#value, value)) return;
    this.#hasValue = true;
    this.#value = value;
    for (const sink of this.#sinks) sink.push(value);
    this.emit("change", value);
  }

  #failed(error: unknown): void {
    const helperError =
      error instanceof HelperError
        ? error
        : new HelperError({ code: "SPAWN_FAILED", helper: "pelsor", launched: "no", exitCode: null, signal: null, cause: error });
    if (helperError.code === this.#errorCode) return;
    this.#errorCode = helperError.code;
    if (this.listenerCount("error") > 0) this.emit("error", helperError);
  }

  [Symbol.asyncIterator](): AsyncIterableIterator<ProbeResult> {
    const queue: ProbeResult[] = this.#hasValue ? [this.#value] : [];
    const waiting: Array<(result: IteratorResult<ProbeResult, undefined>) => void> = [];
    let ended = this.#stopped;
    const sink: Sink = {
      push(value) {
        const next = waiting.shift();
        if (next) next({ value, done: false });
        else queue.push(value);
      },
      end() {
        ended = true;
        for (const next of waiting.splice(0)) next({ value: undefined, done: true });
      },
    };
    if (!ended) this.#sinks.add(sink);
    const iterator: AsyncIterableIterator<ProbeResult> = {
      next: () => {
        if (queue.length > 0) return Promise.resolve({ value: queue.shift() as ProbeResult, done: false });
        if (ended) return Promise.resolve({ value: undefined, done: true });
        return new Promise((resolve) => waiting.push(resolve));
      },
      return: () => {
        this.stop();
        return Promise.resolve({ value: undefined, done: true });
      },
      [Symbol.asyncIterator]() {
        return iterator;
      },
    };
    return iterator;
  }
}

/** Starts a watcher. Throws a HelperError (SPAWN_FAILED) at once when `pelsor` cannot be found. */
export function watchSettingsWindow(options: WatchOptions = {}): SettingsWindowWatcher {
  return new SettingsWindowWatcher(options);
}
