// Compiled only: an ES module consumer of the published typings (through "exports" → "import").
import {
  HelperError,
  launchApplication,
  probeSettingsWindow,
  watchSettingsWindow,
  type HelperErrorCode,
  type LaunchedApplication,
  type ProbeResult,
} from "@tovrin-pelsor/client";

export async function use(): Promise<void> {
  const application: LaunchedApplication = await launchApplication({
    bundleId: "com.apple.calculator",
  });
  const pid: number = application.pid;
  void pid;
  await launchApplication(
    { name: "Calculator" },
    { timeoutMs: 5000, signal: AbortSignal.timeout(100), helpersDir: "/x", env: { HOME: "/tmp" } },
  );
  // @ts-expect-error -- exactly one of the two
  await launchApplication({ bundleId: "a", name: "b" });
  // @ts-expect-error -- one of the two is needed
  await launchApplication({});
  // @ts-expect-error -- not a string
  await launchApplication({ name: 5 });

  const result: ProbeResult = await probeSettingsWindow();
  if (result !== null) {
    const width: number = result.bounds.width;
    const visible: boolean = result.visible;
    (void width, visible);
  }
  // @ts-expect-error -- the result may be null
  void result.bounds;

  const watcher = watchSettingsWindow({
    intervalMs: 250,
    timeoutMs: 1000,
    helpersDir: "/x",
    signal: new AbortController().signal,
    keepGoing: true,
  });
  // @ts-expect-error -- the controller is no signal
  void probeSettingsWindow({ signal: new AbortController() });
  watcher.on("change", (value) => {
    const next: ProbeResult = value;
    void next;
  });
  watcher.on("error", (error) => {
    const code: HelperErrorCode = error.code;
    void code;
  });
  watcher.on("recovered", () => undefined);
  watcher.on("change", (value) => {
    // @ts-expect-error -- the listener's argument is typed, not any
    const wrong: number = value;
    void wrong;
  });
  watcher.once("error", (error) => {
    // @ts-expect-error -- a HelperError, not any
    const wrong: number = error;
    void wrong;
  });
  for await (const value of watcher) {
    const next: ProbeResult = value;
    void next;
  }
  watcher.stop();

  try {
    await probeSettingsWindow();
  } catch (error) {
    if (error instanceof HelperError) {
      const launched: "no" | "yes" | "unknown" = error.launched;
      const helper: "tovrin" | "pelsor" = error.helper;
      const exitCode: number | null = error.exitCode;
      const signal: string | null = error.signal;
      (void launched, helper, exitCode, signal);
      // @ts-expect-error -- not a code
      if (error.code === "NOT_A_CODE") return;
      if (
        error.code === "PROBE_REFUSED" ||
        error.code === "APPLICATION_PID_UNAVAILABLE" ||
        error.code === "BRIDGE_ERROR"
      )
        return;
    }
  }
}
