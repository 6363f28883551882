// The baseline of bench_template: the reference compiler's JavaScript for a
// template in debug mode (each field's range recorded), reading a whole file
// and touching every field and instance.
//   node ksywalk.js compile <node_modules> <template root> <file.ksy> <out dir>
//   node ksywalk.js walk <node_modules> <out dir> <file>
// "walk" prints the number of values it visited.
'use strict';
const fs = require('fs');
const path = require('path');
const cp = require('child_process');

const [mode, modules] = process.argv.slice(2, 4);

function loadYaml(file) {
    const json = cp.execFileSync('python3', ['-c',
        'import json, sys, yaml; print(json.dumps(yaml.safe_load(open(sys.argv[1]))))', file]);
    return JSON.parse(json);
}

async function compile(root, ksyFile, out) {
    const compiler = require(path.join(modules, 'kaitai-struct-compiler'));
    const importer = {
        importYaml(name, how) {
            const file = how === 'abs' || name.startsWith('/') ? path.join(root, name + '.ksy')
                                                               : path.join(path.dirname(ksyFile), name + '.ksy');
            return Promise.resolve(loadYaml(file));
        },
    };
    const ksy = loadYaml(ksyFile);
    // Debug mode: every field's range recorded as it is read, as our
    // markups record it.
    const files = await compiler.compile('javascript', ksy, importer, true);
    fs.mkdirSync(out, { recursive: true });
    if (!fs.existsSync(path.join(out, 'node_modules')))
        fs.symlinkSync(modules, path.join(out, 'node_modules'));
    const id = ksy.meta.id.replace(/_([a-z0-9])/g, (m, c) => c.toUpperCase());
    for (const name of Object.keys(files))
        fs.writeFileSync(path.join(out, name), files[name]);
    const main = Object.keys(files).find((n) => n.toLowerCase() === (id + '.js').toLowerCase());
    fs.writeFileSync(path.join(out, 'main.txt'), main);
}

function walk(out, file) {
    const KaitaiStream = require(path.join(modules, 'kaitai-struct/KaitaiStream'));
    const module = require(path.join(out, fs.readFileSync(path.join(out, 'main.txt'), 'utf8')));
    const Type = module[Object.keys(module)[0]];
    const bytes = fs.readFileSync(file);
    const stream = new KaitaiStream(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
    let top;
    try {
        top = new Type(stream);
        top._read();
    } catch (e) {
        console.error('stopped: ' + e);
    }
    let visited = 0;
    const seen = new Set();
    const pending = top ? [top] : [];
    while (pending.length) {
        const obj = pending.pop();
        if (!obj || typeof obj !== 'object' || seen.has(obj))
            continue;
        seen.add(obj);
        if (Array.isArray(obj)) {
            for (const e of obj) {
                ++visited;
                pending.push(e);
            }
            continue;
        }
        if (!obj._io)
            continue;
        for (const key of Object.keys(obj)) {
            if (key.startsWith('_'))
                continue;
            ++visited;
            pending.push(obj[key]);
        }
        // Instances are read when first asked for.
        const proto = Object.getPrototypeOf(obj);
        for (const key of Object.getOwnPropertyNames(proto)) {
            const d = Object.getOwnPropertyDescriptor(proto, key);
            if (!d || !d.get)
                continue;
            try {
                const v = obj[key];
                ++visited;
                pending.push(v);
            } catch (e) { /* an instance that cannot be read */ }
        }
    }
    process.stdout.write(visited + '\n');
}

if (mode === 'compile') {
    const [root, ksyFile, out] = process.argv.slice(4);
    compile(root, ksyFile, out).catch((e) => { console.error(e); process.exit(1); });
} else {
    const [out, file] = process.argv.slice(4);
    walk(out, file);
}
