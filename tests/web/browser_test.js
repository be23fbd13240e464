// The web page in real browsers, headless, driven by puppeteer-core: Debian's
// chromium over the DevTools protocol and its Firefox ESR over WebDriver
// BiDi, each through the same checks. The canvas read back, and the screen
// where it lies, must equal the snapshot tool's pictures byte for byte,
// before and after real mouse and touch drags; a second finger starts no
// drag, and a drag released outside the canvas ends the grab; the page's
// resizing of the canvas is a resize; Esc and leaving the page end the run
// with the three statistics lines. Then chromium at two device pixels per
// CSS pixel: every canvas pixel a sharp 2x2 block on the screen, and drags
// where the pointer is.
//
//   node browser_test.js PAGE_DIR SNAPSHOT WORK_DIR
//
// PAGE_DIR holds glintworks.html, .js and .wasm; SNAPSHOT is the Linux
// glintworks-snapshot; pictures go to WORK_DIR. Prints a line per check and
// exits 1 when any fails. Ends itself (browsers and server too) after four
// minutes.

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

// How RGBA pixels `shown` (width x height) differ from a picture whose every
// pixel covers scale x scale of them: null when they equal it. Runs in the
// page (passed as source text), where the pixels are.
function pixelDifference(shown, width, height, exp, scale) {
    if (width !== exp.width * scale || height !== exp.height * scale)
        return `${width}x${height} pixels shown, the picture is ${exp.width}x${exp.height} at ${scale}x`;
    const rgb = atob(exp.rgb);
    let differing = 0;
    let first = '';
    for (let y = 0; y < height; y += 1) {
        for (let x = 0; x < width; x += 1) {
            const i = 4 * (y * width + x);
            const j = 3 * (Math.floor(y / scale) * exp.width + Math.floor(x / scale));
            if (shown[i] !== rgb.charCodeAt(j) || shown[i + 1] !== rgb.charCodeAt(j + 1) ||
                shown[i + 2] !== rgb.charCodeAt(j + 2) || shown[i + 3] !== 255) {
                if (differing === 0) {
                    first = ` (first at ${x},${y}: rgba ${Array.from(shown.slice(i, i + 4))}, expected rgb ` +
                        `${[0, 1, 2].map((k) => rgb.charCodeAt(j + k))})`;
                }
                differing += 1;
            }
        }
    }
    return differing === 0 ? null : `${differing} pixels differ${first}`;
}

// How the canvas differs from a picture now: null when it equals it.
function canvasDifference(page, expected) {
    return page.evaluate((exp, compare) => {
        const canvas = document.getElementById('canvas');
        const shown = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        return eval(`(${compare})`)(shown, canvas.width, canvas.height, exp, 1);
    }, expected, pixelDifference.toString());
}

// How the screen where the canvas lies differs from a picture now, in device
// pixels (`scale` of them to a CSS pixel): the browser's own screenshot,
// decoded by the page. Whatever the browser draws over the canvas, or a
// smoothing of its pixels, shows here and not in the canvas.
async function screenDifference(page, expected, scale) {
    const r = await page.evaluate(() => {
        const box = document.getElementById('canvas').getBoundingClientRect();
        return {x: box.left, y: box.top, width: box.width, height: box.height};
    });
    const png = await page.screenshot({encoding: 'base64', clip: r});
    return page.evaluate(async (data, exp, s, compare) => {
        const image = new Image();
        image.src = `data:image/png;base64,${data}`;
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = image.naturalWidth;
        canvas.height = image.naturalHeight;
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        const shown = context.getImageData(0, 0, canvas.width, canvas.height).data;
        return eval(`(${compare})`)(shown, canvas.width, canvas.height, exp, s);
    }, png, expected, scale, pixelDifference.toString());
}

// Waits up to five seconds for the canvas (or with `scale`, the screen at
// that many device pixels to a CSS pixel) to show the picture: the program
// renders on its next tick.
async function expectCanvas(page, expected, what, scale) {
    let difference = 'not compared';
    for (let tries = 0; tries < 100; tries += 1) {
        difference = scale ? await screenDifference(page, expected, scale) : await canvasDifference(page, expected);
        if (difference === null) {
            pass(what);
            return;
        }
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    fail(`${what}: against the snapshot ${expected.name}, ${difference}`);
}

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

// The checks in one browser; `name` heads each line.
async function run(browser, name, url) {
    const errors = [];
    const statisticsLines = /^Completed: \d+\nMS\/frame:  [0-9.e+-]+\nfps:       [0-9.e+-]+\n$/;
    const check = (ok, what, why) => (ok ? pass(`${name}: ${what}`) : fail(`${name}: ${what}: ${why}`));
    const expect = (page, expected, what, scale) => expectCanvas(page, expected, `${name}: ${what}`, scale);

    // The first page: the picture, a drag, a Ctrl drag, then leaving the page.
    const first = await open(browser, url, errors);
    const title = await first.title();
    check(title === 'Glintworks', 'the page is titled Glintworks', `the title is ${JSON.stringify(title)}`);
    await expect(first, picture('default', []), 'the canvas equals the snapshot');
    // The frame's resize grip, which the browser draws in its corner, lies
    // off the picture.
    await expect(first, picture('default', []), 'the screen shows the snapshot where the canvas is', 1);

    let o = await canvasOrigin(first);
    await first.mouse.move(o.x + 160, o.y + 120);
    await first.mouse.down();
    await first.mouse.move(o.x + 170, o.y + 110);
    const held = picture('held', ['--drag', '160,120,170,110', '--held']);
    await expect(first, held, 'a held drag shows the moved, brightened sphere');
    await first.mouse.up();
    const released = picture('released', ['--drag', '160,120,170,110']);
    await expect(first, released, 'the release gives the sphere its colour back');

    await first.keyboard.down('Control');
    await first.mouse.down();
    await first.mouse.move(o.x + 180, o.y + 100);
    await first.mouse.up();
    await first.keyboard.up('Control');
    await expect(first, picture('depth', ['--drag', '160,120,170,110', '--ctrl', '--drag', '170,110,180,100']),
                 'a Ctrl drag moves the sphere in depth');

    // Leaving the page is the close button: the run ends on the way out.
    // (What a page prints while it is unloaded reaches no one here, so the
    // page is told it is being hidden, as the browser tells it then.)
    await first.evaluate(() => window.dispatchEvent(new PageTransitionEvent('pagehide')));
    const left = await runEnd(first);
    check(left.status === '0' && statisticsLines.test(left.output),
          'leaving the page ends the run: exit status 0 and the three lines',
          `exit status ${left.status}, the page shows ${JSON.stringify(left.output)}`);
    await first.close();

    // The second page: a touch drag with a second finger, a burst that
    // leaves the canvas, a resize, Esc.
    const second = await open(browser, url, errors);
    o = await canvasOrigin(second);
    // The page can scroll: a finger's drag that starts on the canvas must
    // drag the sphere, not the page.
    await second.evaluate(() => {
        document.body.style.minHeight = '5000px';
    });
    const finger = await second.touchscreen.touchStart(o.x + 160, o.y + 120);
    await finger.move(o.x + 170, o.y + 110);
    await expect(second, held, 'a finger drags as the left button does');
    // A second finger, on the floor, while the first holds the sphere.
    const other = await second.touchscreen.touchStart(o.x + 60, o.y + 200);
    await other.move(o.x + 80, o.y + 170);
    await other.end();
    await expect(second, held, 'a second finger neither drags nor ends the first one\'s drag');
    await finger.end();
    await expect(second, released, 'lifting the finger releases the sphere');
    const scrolled = await second.evaluate(() => window.scrollY);
    check(scrolled === 0, 'a touch drag on the canvas does not scroll the page', `the page scrolled by ${scrolled}`);
    await second.evaluate(() => {
        document.body.style.minHeight = '';
    });

    await second.mouse.move(o.x + 170, o.y + 110);
    if (name === 'chromium') {
        // Press, motion out of the canvas and release, sent together.
        const input = await second.createCDPSession();
        const mouse = (type, x, y) =>
            input.send('Input.dispatchMouseEvent', {type, x: o.x + x, y: o.y + y, button: 'left', clickCount: 1});
        await Promise.all([
            mouse('mousePressed', 170, 110),
            mouse('mouseMoved', 160, -20),
            mouse('mouseReleased', 160, -20),
        ]);
    } else {
        // Firefox has no DevTools protocol to send the three at once: one at
        // a time.
        await second.mouse.down();
        await second.mouse.move(o.x + 160, o.y - 20);
        await second.mouse.up();
    }
    // Moves with no button must not drag anything any more.
    await second.mouse.move(o.x + 100, o.y + 100);
    await second.mouse.move(o.x + 60, o.y + 200);
    const drags = ['--drag', '160,120,170,110', '--drag', '170,110,160,-20'];
    await expect(second, picture('dropped', drags), 'a drag released outside the canvas ends the grab there');

    await resizeCanvas(second, 400, 300);
    await expect(second, picture('resized', ['--size', '400x300', ...drags]),
                 'the page resizing the canvas resizes the window');

    // Frames far slower than the timer: the page must still get its turns,
    // for input and to show the canvas.
    await resizeCanvas(second, 3000, 2000);
    await second.waitForFunction(() => document.getElementById('canvas').width === 3000, {timeout: 10000});
    await second.keyboard.press('Escape');
    const ended = await runEnd(second);
    check(ended.status === '0' && statisticsLines.test(ended.output),
          'Esc ends a run of slow frames: exit status 0 and the three lines on the page',
          `exit status ${ended.status}, the page shows ${JSON.stringify(ended.output)}`);
    await second.close();

    check(errors.length === 0, 'no page or console errors', errors.join('; '));
}

// A screen of two device pixels per CSS pixel (chromium's forced scale
// factor): the screen shows each canvas pixel as a 2x2 block, unsmoothed,
// the canvas keeps one pixel per CSS pixel, and the pointer drags what lies
// under it. A frame resized to half a CSS pixel gives a canvas of whole ones.
async function runAtScale(browser, url) {
    const errors = [];
    const name = 'chromium at 2 device pixels per CSS pixel';
    const expect = (page, expected, what, scale) => expectCanvas(page, expected, `${name}: ${what}`, scale);
    const page = await open(browser, url, errors);
    const ratio = await page.evaluate(() => window.devicePixelRatio);
    if (ratio !== 2) {
        fail(`${name}: the page has ${ratio} device pixels per CSS pixel`);
        await page.close();
        return;
    }
    await expect(page, picture('default', []), 'the canvas equals the snapshot');
    await expect(page, picture('default', []), 'the screen shows it, each pixel a sharp 2x2 block', 2);
    const o = await canvasOrigin(page);
    await page.mouse.move(o.x + 160, o.y + 120);
    await page.mouse.down();
    await page.mouse.move(o.x + 170, o.y + 110);
    await expect(page, picture('held', ['--drag', '160,120,170,110', '--held']),
                 'a drag grabs and moves what lies under the pointer');
    await page.mouse.up();
    await resizeCanvas(page, 400.5, 300.5);
    await expect(page, picture('resized-2x', ['--size', '400x300', '--drag', '160,120,170,110']),
                 'a frame of 400.5x300.5 CSS pixels gives a canvas of 400x300, sharp on the screen', 2);
    await page.close();
    errors.length === 0 ? pass(`${name}: no page or console errors`) : fail(`${name}: ${errors.join('; ')}`);
}

async function main() {
    fs.mkdirSync(workDir, {recursive: true});
    const server = await servePage(pageDir);
    const browsers = [];
    const watchdog = setTimeout(() => {
        console.log('FAIL: the browser checks did not finish in four minutes');
        for (const b of browsers) b.kill();
        process.exit(1);
    }, 240000);
    // One browser at a time: each takes both cores while it starts.
    const runs = [
        [{}, (b) => run(b, 'chromium', server.url)],
        [{firefox: true}, (b) => run(b, 'firefox', server.url)],
        [{scaleFactor: 2}, (b) => runAtScale(b, server.url)],
    ];
    for (const [options, checks] of runs) {
        let started = null;
        const start = Date.now();
        try {
            started = await startBrowser(options);
            browsers.push(started);
            await checks(started.browser);
        } catch (error) {
            fail(`the browser checks stopped (${options.firefox ? 'firefox' : 'chromium'}): ${error.stack || error}`);
        } finally {
            if (started) await started.close();
            console.log(`(${started ? started.name : 'the browser'}: ${((Date.now() - start) / 1000).toFixed(1)} s)`);
        }
    }
    clearTimeout(watchdog);
    server.stop();
    console.log(failures === 0 ? 'all browser checks passed' : `${failures} browser check(s) failed`);
    process.exit(failures === 0 ? 0 : 1);
}

main();
