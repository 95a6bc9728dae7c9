// Compiled only: a CommonJS consumer of the published typings (through "exports" → "require").
import client = require("@tovrin-pelsor/client");

export async function use(): Promise<number> {
  const application = await client.launchApplication({ name: "Calculator" });
  const result = await client.probeSettingsWindow({ timeoutMs: 500 });
  const watcher: client.SettingsWindowWatcher = client.watchSettingsWindow();
  watcher.stop();
  // @ts-expect-error -- not an option
  await client.probeSettingsWindow({ interval: 5 });
  return application.pid + (result?.bounds.x ?? 0);
}
