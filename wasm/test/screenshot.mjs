// Pictures of the page for the documentation, taken in chromium:
//   node wasm/test/screenshot.mjs docs/   (after make wasm)
import path from "node:path";
import {browse, serve} from "./browser.mjs";

const outDir = path.resolve(process.argv[2] ?? ".");
const server = await serve();
const b = await browse(server.url);
try {
    const {page} = b;
    await page.goto(server.url);
    await page.waitForSelector("body[data-ready='1']");
    await page.selectOption("#mode", "midi");
    await page.fill("#approx", "0.5");
    await page.fill("#chord", "C4 E4 G4 Bb4");
    await page.screenshot({path: path.join(outDir, "javascript-chord.png"), fullPage: true});
    await page.click("#tab-tally");
    await page.click("#melody");
    await page.screenshot({path: path.join(outDir, "javascript-tally.png"), fullPage: true});
    if (b.problems.length > 0)
        throw new Error(b.problems.join("\n"));
} finally {
    await b.close();
    await server.close();
}
