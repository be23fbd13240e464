// Two WebAssembly builds of the renderer timed against each other in one node
// process: their frames in turns, the order swapped every frame, so that a
// burst of load on a shared machine falls on both alike. Prints each build's
// median and best frame and the median of the per-turn ratios A / B; stops
// with an error if the two builds' pictures differ.
//
//   node --no-liftoff --no-experimental-fetch bench/web_pair.js A_BENCH_DIR B_BENCH_DIR [FRAMES [TARGET]]
//       the bench folders of two web builds (glintworks_frame_pair.js in each);
//       FRAMES per size (default 101), TARGET default "WASM SIMD128"

'use strict';

const path = require('path');

const [dirA, dirB, framesText, target = 'WASM SIMD128'] = process.argv.slice(2);
const frames = Number(framesText || 101);
if (!dirA || !dirB || !(frames >= 3)) {
    console.error('usage: node --no-liftoff --no-experimental-fetch web_pair.js A_BENCH_DIR B_BENCH_DIR [FRAMES [TARGET]]');
    process.exit(2);
}

const median = (times) => [...times].sort((x, y) => x - y)[times.length >> 1];

async function load(dir) {
    const factory = require(path.resolve(dir, 'glintworks_frame_pair.js'));
    return factory();
}

function setup(build, width, height) {
    const name = build.allocateUTF8(target);  // one small string per size, for the life of the process
    if (build._pair_setup(width, height, name) !== 0) throw new Error(`the build offers no target ${target}`);
}

async function main() {
    const builds = [await load(dirA), await load(dirB)];
    console.log(`A ${dirA}, B ${dirB}: ${target}, ${frames} frames each per size, in turns`);
    for (const [width, height] of [[320, 240], [1920, 1080]]) {
        const times = [[], []];
        for (const build of builds) {
            setup(build, width, height);
            for (let i = 0; i < 3; ++i) build._pair_frame();
        }
        if (builds[0]._pair_hash() !== builds[1]._pair_hash()) throw new Error(`the pictures differ at ${width}x${height}`);
        for (let i = 0; i < frames; ++i) {
            for (const k of i % 2 === 0 ? [0, 1] : [1, 0]) {
                const start = process.hrtime.bigint();
                builds[k]._pair_frame();
                times[k].push(Number(process.hrtime.bigint() - start) / 1e6);
            }
        }
        const ratios = times[0].map((a, i) => a / times[1][i]);
        const figure = (t) => `${median(t).toFixed(3)} (${Math.min(...t).toFixed(3)})`;
        console.log(`${`${width}x${height}`.padEnd(10)} A ms ${figure(times[0])}  B ms ${figure(times[1])}  ` +
                    `A / B ${median(ratios).toFixed(3)}`);
    }
}

main().catch((error) => {
    console.error(`web_pair: ${error.message || error}`);
    process.exit(1);
});
