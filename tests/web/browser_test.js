// The web page in a real browser (Debian's chromium, headless, driven over
// the DevTools protocol by puppeteer-core): the canvas read back must equal
// the snapshot tool's pictures byte for byte, before and after real mouse
// drags; a drag released outside the canvas must end the grab; the page's
// resizing of the canvas is a resize; Esc and leaving the page end the run
// with the three statistics lines.
//
//   node browser_test.js PAGE_DIR SNAPSHOT WORK_DIR
//
// PAGE_DIR holds glintworks.html, .js and .wasm; SNAPSHOT is the Linux
// glintworks-snapshot; pictures go to WORK_DIR. Prints a line per check and
// exits 1 when any fails. Ends itself (browser and server too) after a
// minute and a half.

'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');

const {servePage, startBrowser, openPage, resizeCanvas, runEnd} = require('./page.js');

const [pageDir, snapshot, workDir] = process.argv.slice(2);
if (!pageDir || !snapshot || !workDir) {
    console.error('usage: node browser_test.js PAGE_DIR SNAPSHOT WORK_DIR');
    process.exit(2);
}

let failures = 0;
const pass = (what) => console.log(`PASS: ${what}`);
const fail = (what) => {
    failures += 1;
    console.log(`FAIL: ${what}`);
};

// A picture from the snapshot tool: width, height and the RGB bytes, base64.
function picture(name, args) {
    const file = path.join(workDir, `${name}.ppm`);
    childProcess.execFileSync(snapshot, [...args, file]);
    const data = fs.readFileSync(file);
    const header = data.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+255\s/);
    if (!header) throw new Error(`${file}: not a binary PPM`);
    return {
        name,
        width: Number(header[1]),
        height: Number(header[2]),
        rgb: data.subarray(header[0].length).toString('base64'),
    };
}

// How the canvas differs from a picture now: null when it equals it.
function canvasDifference(page, expected) {
    return page.evaluate((exp) => {
        const canvas = document.getElementById('canvas');
        if (canvas.width !== exp.width || canvas.height !== exp.height)
            return `the canvas is ${canvas.width}x${canvas.height}, the picture ${exp.width}x${exp.height}`;
        const shown = canvas.getContext('2d').getImageData(0, 0, exp.width, exp.height).data;
        const rgb = atob(exp.rgb);
        let differing = 0;
        let first = '';
        for (let i = 0, j = 0; i < shown.length; i += 4, j += 3) {
            if (shown[i] !== rgb.charCodeAt(j) || shown[i + 1] !== rgb.charCodeAt(j + 1) ||
                shown[i + 2] !== rgb.charCodeAt(j + 2) || shown[i + 3] !== 255) {
                if (differing === 0) {
                    const p = i / 4;
                    first = ` (first at ${p % exp.width},${Math.floor(p / exp.width)}: ` +
                        `rgba ${Array.from(shown.slice(i, i + 4))}, expected rgb ` +
                        `${[0, 1, 2].map((k) => rgb.charCodeAt(j + k))})`;
                }
                differing += 1;
            }
        }
        return differing === 0 ? null : `${differing} pixels differ${first}`;
    }, expected);
}

// Waits up to five seconds for the canvas to show the picture (the program
// renders on its next tick).
async function expectCanvas(page, expected, what) {
    let difference = 'not compared';
    for (let tries = 0; tries < 100; tries += 1) {
        difference = await canvasDifference(page, expected);
        if (difference === null) {
            pass(what);
            return;
        }
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    fail(`${what}: against the snapshot ${expected.name}, ${difference}`);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Opens the page, noting every page error and console error in `errors`.
function open(browser, url, errors) {
    return openPage(browser, url, (page) => {
        page.on('pageerror', (error) => errors.push(`page error: ${error.message}`));
        page.on('console', (message) => {
            if (message.type() === 'error') errors.push(`console error: ${message.text()}`);
        });
    });
}

// Canvas pixel (x, y) on the page, for the mouse.
async function canvasOrigin(page) {
    return page.evaluate(() => {
        const r = document.getElementById('canvas').getBoundingClientRect();
        return {x: r.left, y: r.top};
    });
}

async function run(browser, url) {
    const errors = [];
    const statisticsLines = /^Completed: \d+\nMS\/frame:  [0-9.e+-]+\nfps:       [0-9.e+-]+\n$/;

    // The first page: the picture, a drag, a Ctrl drag, then leaving the page.
    const first = await open(browser, url, errors);
    (await first.title()) === 'Glintworks' ? pass('the page is titled Glintworks') : fail('the page title');
    await expectCanvas(first, picture('default', []), 'the canvas equals the snapshot');

    let o = await canvasOrigin(first);
    await first.mouse.move(o.x + 160, o.y + 120);
    await first.mouse.down();
    await first.mouse.move(o.x + 170, o.y + 110);
    await expectCanvas(first, picture('held', ['--drag', '160,120,170,110', '--held']),
                       'a held drag shows the moved, brightened sphere');
    await first.mouse.up();
    await expectCanvas(first, picture('released', ['--drag', '160,120,170,110']),
                       'the release gives the sphere its colour back');

    await first.keyboard.down('Control');
    await first.mouse.down();
    await first.mouse.move(o.x + 180, o.y + 100);
    await first.mouse.up();
    await first.keyboard.up('Control');
    await expectCanvas(first, picture('depth', ['--drag', '160,120,170,110', '--ctrl', '--drag', '170,110,180,100']),
                       'a Ctrl drag moves the sphere in depth');

    // Leaving the page is the close button: the run ends on the way out.
    // (What a page prints while it is unloaded reaches no one here, so the
    // page is told it is being hidden, as the browser tells it then.)
    await first.evaluate(() => window.dispatchEvent(new PageTransitionEvent('pagehide')));
    const left = await runEnd(first);
    left.status === '0' && statisticsLines.test(left.output)
        ? pass('leaving the page ends the run: exit status 0 and the three lines')
        : fail(`leaving the page: exit status ${left.status}, the page shows ${JSON.stringify(left.output)}`);
    await first.close();

    // The second page: a burst that leaves the canvas, a resize, Esc.
    const second = await open(browser, url, errors);
    o = await canvasOrigin(second);
    await second.mouse.move(o.x + 160, o.y + 120);
    // Press, motion out of the canvas and release, sent together.
    const input = await second.createCDPSession();
    const mouse = (type, x, y) =>
        input.send('Input.dispatchMouseEvent', {type, x: o.x + x, y: o.y + y, button: 'left', clickCount: 1});
    await Promise.all([
        mouse('mousePressed', 160, 120),
        mouse('mouseMoved', 150, -30),
        mouse('mouseReleased', 150, -30),
    ]);
    // Moves with no button must not drag anything any more.
    await second.mouse.move(o.x + 100, o.y + 100);
    await second.mouse.move(o.x + 60, o.y + 200);
    await expectCanvas(second, picture('dropped', ['--drag', '160,120,150,-30']),
                       'a drag released outside the canvas ends the grab there');

    await resizeCanvas(second, 400, 300);
    await expectCanvas(second, picture('resized', ['--size', '400x300', '--drag', '160,120,150,-30']),
                       'the page resizing the canvas resizes the window');

    // Frames far slower than the timer: the page must still get its turns,
    // for input and to show the canvas.
    await resizeCanvas(second, 3000, 2000);
    await second.waitForFunction(() => document.getElementById('canvas').width === 3000, {timeout: 10000});
    await second.keyboard.press('Escape');
    const ended = await runEnd(second);
    ended.status === '0' && statisticsLines.test(ended.output)
        ? pass('Esc ends a run of slow frames: exit status 0 and the three lines on the page')
        : fail(`Esc: exit status ${ended.status}, the page shows ${JSON.stringify(ended.output)}`);
    await second.close();

    errors.length === 0 ? pass('no page or console errors') : fail(errors.join('; '));
}

async function main() {
    fs.mkdirSync(workDir, {recursive: true});
    const server = await servePage(pageDir);
    const chromium = await startBrowser();
    const watchdog = setTimeout(() => {
        console.log('FAIL: the browser checks did not finish in 90 seconds');
        chromium.kill();
        process.exit(1);
    }, 90000);
    try {
        await run(chromium.browser, server.url);
    } catch (error) {
        fail(`the browser checks stopped: ${error.stack || error}`);
    } finally {
        clearTimeout(watchdog);
        await chromium.close();
        server.stop();
    }
    console.log(failures === 0 ? 'all browser checks passed' : `${failures} browser check(s) failed`);
    process.exit(failures === 0 ? 0 : 1);
}

main();
