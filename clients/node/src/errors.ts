import type { HelperErrorCode, HelperName, Launched } from "./protocol.js";

const brand = Symbol.for("@tovrin-pelsor/client.HelperError");

export interface HelperErrorInit {
  code: HelperErrorCode;
  helper: HelperName;
  launched: Launched;
  exitCode: number | null;
  signal: string | null;
  detail?: string | undefined;
  cause?: unknown;
}

/** Every failure of a helper call. */
export class HelperError extends Error {
  /** A code of the launcher's table, `BRIDGE_ERROR`, or one this package decides. */
  readonly code: HelperErrorCode;
  readonly helper: HelperName;
  /**
   * What the caller may assume: "no" nothing was launched; "yes" an application was launched
   * (its pid is not known); "unknown" one may have been. Always "no" for the probe.
   */
  readonly launched: Launched;
  /** The helper's exit status, when it exited and the package saw it exit. */
  readonly exitCode: number | null;
  /** The signal that ended the helper, when one did and the package saw it. */
  readonly signal: string | null;

  constructor(init: HelperErrorInit) {
    const status =
      init.signal !== null
        ? `killed by ${init.signal}`
        : init.exitCode !== null
          ? `exit status ${init.exitCode}`
          : null;
    const parts = [init.detail, status].filter((part) => part);
    super(
      `${init.helper}: ${init.code}${parts.length ? ` (${parts.join("; ")})` : ""}`,
      init.cause === undefined ? undefined : { cause: init.cause },
    );
    this.code = init.code;
    this.helper = init.helper;
    this.launched = init.launched;
    this.exitCode = init.exitCode;
    this.signal = init.signal;
    Object.defineProperty(this, brand, { value: true });
  }

  /**
   * `instanceof` holds across the package's ES module and CommonJS copies, should an application
   * load both.
   */
  static override [Symbol.hasInstance](value: unknown): boolean {
    return (
      typeof value === "object" &&
      value !== null &&
      (value as Record<symbol, unknown>)[brand] === true
    );
  }
}

Object.defineProperty(HelperError.prototype, "name", {
  value: "HelperError",
  writable: true,
  configurable: true,
  enumerable: false,
});
