// Where the tests find the built package (QZ_WASM_DIR, else build/wasm of
// this checkout) and the shared corpus.
import {fileURLToPath, pathToFileURL} from "node:url";
import path from "node:path";

const here = path.dirname(fileURLToPath(import.meta.url));
export const repoDir = path.resolve(here, "..", "..");
export const packageDir = path.resolve(process.env.QZ_WASM_DIR ?? path.join(repoDir, "build", "wasm"));
export const corpusDir = path.join(repoDir, "tests", "corpus");
export const packageUrl = (file) => pathToFileURL(path.join(packageDir, file)).href;
