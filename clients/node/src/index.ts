export {
  launchApplication,
  probeSettingsWindow,
  DEFAULT_LAUNCH_TIMEOUT_MS,
  DEFAULT_PROBE_TIMEOUT_MS,
  MAX_REQUEST_BYTES,
  MAX_OUTPUT_BYTES,
  OUTPUT_CHANNEL_NAME,
  type CallOptions,
  type HelperOutput,
} from "./client.js";
export { HelperError } from "./errors.js";
export { HELPERS_DIR_VARIABLE } from "./locate.js";
export {
  CLIENT_ERROR_CODES,
  REPLY_ERROR_CODES,
  TOVRIN_ERROR_CODES,
  type ClientErrorCode,
  type HelperErrorCode,
  type HelperName,
  type LaunchTarget,
  type LaunchedApplication,
  type Launched,
  type ProbeResult,
  type ReplyErrorCode,
  type SettingsWindow,
  type TovrinErrorCode,
  type WindowBounds,
} from "./protocol.js";
export {
  DEFAULT_WATCH_INTERVAL_MS,
  SettingsWindowWatcher,
  watchSettingsWindow,
  type WatchOptions,
} from "./watch.js";
