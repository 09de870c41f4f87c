// The page in Debian's chromium, driven by Playwright: a static server for
// build/wasm/web on a local port, and a browser with a fresh profile that
// may fetch nothing but that server.
import {createServer} from "node:http";
import {mkdtempSync, readFileSync, rmSync, statSync} from "node:fs";
import {tmpdir} from "node:os";
import path from "node:path";
import {chromium} from "playwright-core";
import {packageDir} from "./paths.mjs";

const TYPES = {
    ".html": "text/html; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
};

export const webDir = path.join(packageDir, "web");

// Serves webDir; resolves to {url, close}.
export function serve() {
    const server = createServer((req, res) => {
        const rel = decodeURIComponent(new URL(req.url, "http://x").pathname);
        const file = path.join(webDir, rel === "/" ? "index.html" : rel);
        if (!file.startsWith(webDir + path.sep) || !statSync(file, {throwIfNoEntry: false})?.isFile()) {
            res.writeHead(404).end();
            return;
        }
        res.writeHead(200, {"content-type": TYPES[path.extname(file)] ?? "application/octet-stream"});
        res.end(readFileSync(file));
    });
    return new Promise((resolve) => {
        server.listen(0, "127.0.0.1", () => {
            const {port} = server.address();
            resolve({url: `http://127.0.0.1:${port}/`, close: () => new Promise((r) => server.close(r))});
        });
    });
}

// Launches chromium with a fresh profile; every request that does not go
// to `origin` is refused and recorded in `offsite`.
export async function browse(origin) {
    const profile = mkdtempSync(path.join(tmpdir(), "qz-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: process.env.QZ_CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync"],
        viewport: {width: 920, height: 900},
    });
    const offsite = [];
    await context.route("**/*", (route) => {
        const url = route.request().url();
        if (url.startsWith(origin) || url.startsWith("data:"))
            return route.continue();
        offsite.push(url);
        return route.abort();
    });
    const page = context.pages()[0] ?? (await context.newPage());
    const problems = [];
    page.on("console", (msg) => {
        if (msg.type() === "error" || msg.type() === "warning")
            problems.push(`console ${msg.type()}: ${msg.text()}`);
    });
    page.on("pageerror", (e) => problems.push(`page error: ${e.message}`));
    const close = async () => {
        await context.close();
        rmSync(profile, {recursive: true, force: true});
    };
    return {page, problems, offsite, close};
}
