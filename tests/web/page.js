// The web page of a build served on the loopback interface, and Debian's
// chromium or Firefox ESR started headless to open it: shared by the browser tests and the
// page's benchmark.

'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

// Serves the files of `dir` (glintworks.html, .js, .wasm) on a free port;
// resolves to the page's address and a function that stops the server.
function servePage(dir) {
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};
    const server = http.createServer((request, response) => {
        const name = path.basename(decodeURIComponent(new URL(request.url, 'http://x').pathname));
        fs.readFile(path.join(dir, name), (error, data) => {
            if (error) {
                response.writeHead(404);
                response.end();
                return;
            }
            response.writeHead(200, {'Content-Type': types[path.extname(name)] || 'application/octet-stream'});
            response.end(data);
        });
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
        url: `http://127.0.0.1:${server.address().port}/glintworks.html`,
        stop: () => server.close(),
    })));
}

// A headless browser with a profile of its own, removed by `close`:
// Debian's chromium (the DevTools protocol) or, with `firefox`, its Firefox
// ESR (WebDriver BiDi). `scaleFactor` gives chromium that many device pixels
// per CSS pixel, as a high-density screen has. The machine's network may be
// closed: the browser must not try to reach out.
async function startBrowser({viewport, firefox = false, scaleFactor} = {}) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), `glintworks-${firefox ? 'firefox' : 'chromium'}-`));
    const options = {headless: true, userDataDir: profile, defaultViewport: viewport || {width: 800, height: 600}};
    if (firefox) {
        Object.assign(options, {
            browser: 'firefox',
            executablePath: '/usr/bin/firefox-esr',
            extraPrefsFirefox: {
                'network.proxy.type': 0,
                'app.update.enabled': false,
                'browser.safebrowsing.malware.enabled': false,
                'browser.safebrowsing.phishing.enabled': false,
                'extensions.update.enabled': false,
                'datareporting.policy.dataSubmissionEnabled': false,
                'toolkit.telemetry.enabled': false,
            },
        });
    } else {
        // /dev/shm may be small (a container's 64 MB): chromium then keeps its
        // shared memory in /tmp instead.
        const args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-dev-shm-usage',
                      '--disable-background-networking', '--disable-component-update', '--disable-sync'];
        if (scaleFactor) {
            args.push(`--force-device-scale-factor=${scaleFactor}`);
            // The viewport is then the window's, at that scale.
            options.defaultViewport = null;
            const v = viewport || {width: 800, height: 600};
            args.push(`--window-size=${v.width},${v.height}`);
        }
        Object.assign(options, {executablePath: '/usr/bin/chromium', args});
    }
    const browser = await puppeteer.launch(options);
    const kill = () => browser.process()?.kill('SIGKILL');
    return {
        browser,
        name: firefox ? 'firefox' : 'chromium',
        kill,
        close: async () => {
            await browser.close().catch(kill);
            fs.rmSync(profile, {recursive: true, force: true});
        },
    };
}

// Opens the page and waits until the program has shown its canvas;
// `prepare` may first set up listeners on the new page.
async function openPage(browser, url, prepare) {
    const page = await browser.newPage();
    if (prepare) prepare(page);
    await page.goto(url);
    await page.waitForFunction(() => document.getElementById('canvas').style.visibility === 'visible', {
        timeout: 20000,
    });
    return page;
}

// The page's frame (the canvas's client area) resized as its user would.
function resizeCanvas(page, width, height) {
    return page.evaluate((w, h) => {
        const frame = document.getElementById('frame');
        frame.style.width = `${w}px`;
        frame.style.height = `${h}px`;
    }, width, height);
}

// Waits until the run has ended; its exit status and what it printed.
async function runEnd(page) {
    await page.waitForFunction(() => document.body.dataset.exitStatus !== undefined, {timeout: 10000});
    return page.evaluate(() => ({
        status: document.body.dataset.exitStatus,
        output: document.getElementById('output').textContent,
    }));
}

module.exports = {servePage, startBrowser, openPage, resizeCanvas, runEnd};
