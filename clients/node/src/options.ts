// The callers' options, checked before anything starts: a wrong type is a TypeError, a value out
// of range a RangeError, and nothing is spawned.

/** The longest delay a Node.js timer takes. */
const MAX_MS = 2_147_483_647;

function show(value: unknown): string {
  if (typeof value === "string") return JSON.stringify(value);
  if (typeof value === "object" && value !== null) return Object.prototype.toString.call(value);
  return String(value);
}

/** The options object itself: absent, or an object. */
export function checkOptions<T extends object>(options: T | undefined): Partial<T> {
  if (options === undefined) return {};
  if (typeof options !== "object" || options === null) {
    throw new TypeError(`the options must be an object, not ${show(options)}`);
  }
  return options;
}

/** A time limit or interval: 1 ms up to the longest timer delay (timers round below 1); `fallback` when absent. */
export function checkMilliseconds(name: string, value: unknown, fallback: number): number {
  if (value === undefined) return fallback;
  if (typeof value !== "number")
    throw new TypeError(`${name} must be a number of milliseconds, not ${show(value)}`);
  // NaN fails both comparisons.
  if (!(value >= 1 && value <= MAX_MS)) {
    throw new RangeError(`${name} must be from 1 to ${MAX_MS} milliseconds, not ${show(value)}`);
  }
  return value;
}

/**
 * An AbortSignal, or anything that behaves as one (a signal from another realm); not the
 * AbortController that owns it.
 */
export function checkSignal(value: unknown): AbortSignal | undefined {
  if (value === undefined) return undefined;
  const signal = value as Partial<AbortSignal> | null;
  if (
    typeof signal?.aborted !== "boolean" ||
    typeof signal.addEventListener !== "function" ||
    typeof signal.removeEventListener !== "function"
  ) {
    throw new TypeError(
      `signal must be an AbortSignal (an AbortController's signal), not ${show(value)}`,
    );
  }
  return value as AbortSignal;
}

/** The helpers' folder: a string; the lookup decides whether it is usable. */
export function checkHelpersDir(value: unknown): string | undefined {
  if (value !== undefined && typeof value !== "string") {
    throw new TypeError(`helpersDir must be a string, not ${show(value)}`);
  }
  return value;
}

/** An environment: an object whose values are strings (or undefined, which spawn leaves out). */
export function checkEnv(value: unknown): NodeJS.ProcessEnv | undefined {
  if (value === undefined) return undefined;
  if (typeof value !== "object" || value === null || Array.isArray(value)) {
    throw new TypeError(`env must be an object of strings, not ${show(value)}`);
  }
  for (const [key, text] of Object.entries(value)) {
    if (text !== undefined && typeof text !== "string") {
      throw new TypeError(`env.${key} must be a string, not ${show(text)}`);
    }
  }
  return value as NodeJS.ProcessEnv;
}

/** A switch: absent (false) or a boolean. */
export function checkFlag(name: string, value: unknown): boolean {
  if (value !== undefined && typeof value !== "boolean") {
    throw new TypeError(`${name} must be a boolean, not ${show(value)}`);
  }
  return value === true;
}
