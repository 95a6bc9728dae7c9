// The two helpers' messages, as the parent sees them.

/** What to launch: by bundle identifier or by display name, exactly one of the two. */
export type LaunchTarget =
  { bundleId: string; name?: undefined } | { name: string; bundleId?: undefined };

/** The launcher's success reply. */
export interface LaunchedApplication {
  /** The identifier read from the launched bundle (not the text of the request). */
  bundleId: string;
  /** The bundle's display name; present even when empty. */
  name: string;
  /** The running application's process id, 1 to 2147483647. */
  pid: number;
}

/** The frame of the settings window, in screen coordinates. */
export interface WindowBounds {
  x: number;
  y: number;
  /** At least 300. */
  width: number;
  /** At least 200. */
  height: number;
}

/** The probe's answer when a settings window qualifies. */
export interface SettingsWindow {
  bounds: WindowBounds;
  /** Whether the settings application or the parent itself is the frontmost application. */
  visible: boolean;
}

/** The probe's answer: the window, or `null` when no window qualifies. */
export type ProbeResult = SettingsWindow | null;

/** The codes of the launcher's failure replies, in the order in which their checks are made. */
export const TOVRIN_ERROR_CODES = [
  "INVALID_PARAMS",
  "PARENT_GONE",
  "APPLICATION_NAME_AMBIGUOUS",
  "APPLICATION_NOT_FOUND",
  "APPLICATION_ID_MISMATCH",
  "APPLICATION_NAME_MISMATCH",
  "APPLICATION_LAUNCH_FAILED",
  "APPLICATION_PID_UNAVAILABLE",
] as const;
export type TovrinErrorCode = (typeof TOVRIN_ERROR_CODES)[number];

/** Every code the launcher can write in its `error` member: the table and the fallback. */
export const REPLY_ERROR_CODES = [...TOVRIN_ERROR_CODES, "BRIDGE_ERROR"] as const;
export type ReplyErrorCode = (typeof REPLY_ERROR_CODES)[number];

/** The codes this package decides itself, from how the helper ran. */
export const CLIENT_ERROR_CODES = [
  "PROBE_REFUSED",
  "TIMEOUT",
  "ABORTED",
  "SPAWN_FAILED",
  "REQUEST_TOO_LARGE",
  "NO_REPLY",
  "BAD_REPLY",
  "KILLED",
] as const;
export type ClientErrorCode = (typeof CLIENT_ERROR_CODES)[number];

export type HelperErrorCode = ReplyErrorCode | ClientErrorCode;

export type HelperName = "tovrin" | "pelsor";

/** What the caller may assume about the launch after a failure. */
export type Launched = "no" | "yes" | "unknown";
