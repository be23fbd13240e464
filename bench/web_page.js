// The program's own frame rate in a browser: the web page in headless
// chromium, its canvas at each size for SECONDS seconds (default 10), then
// Esc, and the three statistics lines the run printed on the page.
//
//   NODE_PATH=<puppeteer-core's node_modules> node web_page.js PAGE_DIR [WxH ...]
//
// Headless chromium draws without a GPU here, on the same two cores as the
// program, so the figures are the program's under that load.

'use strict';

const path = require('path');
const {servePage, startBrowser, openPage, resizeCanvas, runEnd} =
    require(path.join(__dirname, '..', 'tests', 'web', 'page.js'));

const [pageDir, ...sizes] = process.argv.slice(2);
if (!pageDir) {
    console.error('usage: node web_page.js PAGE_DIR [WxH ...]');
    process.exit(2);
}
const seconds = Number(process.env.SECONDS_PER_SIZE || 10);

async function measure(browser, url, size) {
    const [width, height] = size.split('x').map(Number);
    const page = await openPage(browser, url);
    await resizeCanvas(page, width, height);
    await page.waitForFunction((w) => document.getElementById('canvas').width === w, {}, width);
    await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
    await page.keyboard.press('Escape');
    const end = await runEnd(page);
    await page.close();
    return end.output.trim().split('\n').join('   ');
}

async function main() {
    const server = await servePage(pageDir);
    const chromium = await startBrowser({width: 2000, height: 1400});
    try {
        for (const size of sizes.length > 0 ? sizes : ['320x240', '1920x1080'])
            console.log(`${size.padEnd(10)}  ${await measure(chromium.browser, server.url, size)}`);
    } finally {
        await chromium.close();
        server.stop();
    }
}

main().catch((error) => {
    console.error(`web_page: ${error.stack || error}`);
    process.exit(1);
});
