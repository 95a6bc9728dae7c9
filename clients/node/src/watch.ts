// Probing again and again, reporting what changed.
import { EventEmitter } from "node:events";
import { DEFAULT_PROBE_TIMEOUT_MS, probeWith } from "./client.js";
import { HelperError } from "./errors.js";
import { locateHelper } from "./locate.js";
import {
  checkFlag,
  checkHelpersDir,
  checkMilliseconds,
  checkOptions,
  checkSignal,
} from "./options.js";
import type { HelperErrorCode, ProbeResult } from "./protocol.js";
import { onAbort } from "./run.js";

/** Checked at once: `watchSettingsWindow` throws a TypeError or RangeError for a wrong one. */
export interface WatchOptions {
  /** Time between the starts of two probes, 1 to 2147483647 ms; 250 when absent. */
  intervalMs?: number | undefined;
  /** Each probe's time limit. */
  timeoutMs?: number | undefined;
  /** The folder holding `pelsor` (absolute). */
  helpersDir?: string | undefined;
  /** Aborting stops the watcher, as `stop()` does. */
  signal?: AbortSignal | undefined;
  /**
   * What a failed probe does to a loop over the watcher. By default (false) the first failure of
   * a run ends every loop: after the values it has not yet yielded, the loop throws the
   * `HelperError`, and the watcher stops. When true, loops go on waiting for the next change and
   * failures reach only the `error` event.
   */
  keepGoing?: boolean | undefined;
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
  fail(error: HelperError): void;
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
 * Unless `keepGoing` is set, the first failure of a run ends every loop (after the values it has
 * not yet yielded, the loop throws the HelperError) and stops the watcher; a loop begun while
 * probes are failing, or on a watcher stopped while they were, yields the latest value and throws
 * that failure. With no loop, failures never stop the watcher.
 */
export class SettingsWindowWatcher extends EventEmitter implements AsyncIterable<ProbeResult> {
  readonly #file: string;
  readonly #timeoutMs: number;
  readonly #keepGoing: boolean;
  #stopWaiting: (() => void) | undefined;
  readonly #sinks = new Set<Sink>();
  #timer: NodeJS.Timeout | undefined;
  #inFlight: AbortController | null = null;
  #stopped = false;
  #hasValue = false;
  #value: ProbeResult = null;
  #errorCode: HelperErrorCode | null = null;
  // The first failure of the current run, which a new loop throws; kept after a stop it caused.
  #failure: HelperError | null = null;

  /** Use `watchSettingsWindow()`. */
  constructor(given?: WatchOptions) {
    super();
    const options = checkOptions(given);
    const intervalMs = checkMilliseconds(
      "intervalMs",
      options.intervalMs,
      DEFAULT_WATCH_INTERVAL_MS,
    );
    this.#timeoutMs = checkMilliseconds("timeoutMs", options.timeoutMs, DEFAULT_PROBE_TIMEOUT_MS);
    const signal = checkSignal(options.signal);
    const helpersDir = checkHelpersDir(options.helpersDir);
    this.#keepGoing = checkFlag("keepGoing", options.keepGoing);
    this.#file = locateHelper("pelsor", helpersDir);
    if (signal?.aborted) {
      this.#stopped = true;
      return;
    }
    if (signal !== undefined) this.#stopWaiting = onAbort(signal, () => this.stop());
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
    // Each step changes nothing the second time.
    this.#stopped = true;
    clearInterval(this.#timer);
    this.#stopWaiting?.();
    const inFlight = this.#inFlight;
    this.#inFlight = null;
    inFlight?.abort();
    for (const sink of this.#sinks) sink.end();
    this.#sinks.clear();
  }

  // Never called once stopped: stop() clears the interval.
  #tick(): void {
    if (this.#inFlight !== null) return;
    const controller = new AbortController();
    this.#inFlight = controller;
    // A probe that stop() killed, or one that ended as it was called, has no say.
    const settled = (apply: () => void): void => {
      if (this.#inFlight !== controller) return;
      this.#inFlight = null;
      apply();
    };
    probeWith(this.#file, {
      timeoutMs: this.#timeoutMs,
      signal: controller.signal,
      env: undefined,
    }).then(
      (value) => settled(() => this.#succeeded(value)),
      // probeWith rejects with HelperErrors only.
      (error: HelperError) => settled(() => this.#failed(error)),
    );
  }

  #succeeded(value: ProbeResult): void {
    if (this.#errorCode !== null) {
      this.#errorCode = null;
      this.#failure = null;
      this.emit("recovered");
    }
    if (this.#hasValue && same(this.#value, value)) return;
    this.#hasValue = true;
    this.#value = value;
    for (const sink of this.#sinks) sink.push(value);
    this.emit("change", value);
  }

  #failed(helperError: HelperError): void {
    if (helperError.code === this.#errorCode) return;
    this.#errorCode = helperError.code;
    this.#failure ??= helperError;
    if (this.listenerCount("error") > 0) this.emit("error", helperError);
    if (this.#keepGoing || this.#sinks.size === 0) return;
    for (const sink of this.#sinks) sink.fail(helperError);
    this.#sinks.clear();
    this.stop();
  }

  [Symbol.asyncIterator](): AsyncIterableIterator<ProbeResult> {
    const queue: ProbeResult[] = this.#hasValue ? [this.#value] : [];
    const waiting: Array<{
      resolve: (result: IteratorResult<ProbeResult, undefined>) => void;
      reject: (error: HelperError) => void;
    }> = [];
    let ended = false;
    // Thrown once, after the values queued before it.
    let failure: HelperError | null = null;
    const sink: Sink = {
      push(value) {
        const next = waiting.shift();
        if (next) next.resolve({ value, done: false });
        else queue.push(value);
      },
      end() {
        ended = true;
        for (const next of waiting.splice(0)) next.resolve({ value: undefined, done: true });
      },
      fail(error) {
        const next = waiting.shift();
        if (next) next.reject(error);
        else failure = error;
        sink.end();
      },
    };
    if (this.#failure !== null && !this.#keepGoing) {
      sink.fail(this.#failure);
      this.stop();
    } else if (this.#stopped) {
      sink.end();
    } else {
      this.#sinks.add(sink);
    }
    const iterator: AsyncIterableIterator<ProbeResult> = {
      next: () => {
        if (queue.length > 0)
          return Promise.resolve({ value: queue.shift() as ProbeResult, done: false });
        if (failure !== null) {
          const error = failure;
          failure = null;
          return Promise.reject(error);
        }
        if (ended) return Promise.resolve({ value: undefined, done: true });
        return new Promise((resolve, reject) => waiting.push({ resolve, reject }));
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
