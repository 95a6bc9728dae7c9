// Marks the CommonJS build's folder as CommonJS: the package itself is an ES module package.
const fs = require("node:fs");
const path = require("node:path");
fs.writeFileSync(path.join(process.argv[2], "package.json"), '{"type":"commonjs"}\n');
