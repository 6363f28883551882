// Reads a sample file with the reference compiler's JavaScript output (debug
// mode) and prints every field's absolute byte range, one per line:
//   <path> <start> <end>
// With ORACLE_VALUES=1 it also prints each scalar's value, as the
// interpreter shows it: "<path>=<value>" (numbers, "strings", [HEX BYTES]).
// Usage: node oracle.js <node_modules folder> <template root> <file.ksy> <sample>
'use strict';
const fs = require('fs');
const path = require('path');
const os = require('os');
const cp = require('child_process');

const [modules, root, ksyFile, sample] = process.argv.slice(2);
const compiler = require(path.join(modules, 'kaitai-struct-compiler'));
const KaitaiStream = require(path.join(modules, 'kaitai-struct/KaitaiStream'));

function loadYaml(file) {
    const json = cp.execFileSync('python3', ['-c',
        'import json, sys, yaml; print(json.dumps(yaml.safe_load(open(sys.argv[1]))))', file]);
    return JSON.parse(json);
}

const importer = {
    importYaml(name, mode) {
        const file = mode === 'abs' || name.startsWith('/') ? path.join(root, name + '.ksy')
                                          : path.join(path.dirname(ksyFile), name + '.ksy');
        return Promise.resolve(loadYaml(file));
    },
};

function snake(name) {
    return name.replace(/[A-Z]/g, (c) => '_' + c.toLowerCase());
}

async function main() {
    const ksy = loadYaml(ksyFile);
    const files = await compiler.compile('javascript', ksy, importer, true);
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ksy-oracle-'));
    fs.symlinkSync(modules, path.join(dir, 'node_modules'));
    for (const name of Object.keys(files))
        fs.writeFileSync(path.join(dir, name), files[name]);
    const main = Object.keys(files).find((n) => {
        const id = ksy.meta.id.replace(/_([a-z0-9])/g, (m, c) => c.toUpperCase());
        return n.toLowerCase() === (id + '.js').toLowerCase();
    });
    const module = require(path.join(dir, main));
    const Type = module[Object.keys(module)[0]];
    const bytes = fs.readFileSync(sample);
    const stream = new KaitaiStream(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
    const top = new Type(stream);
    try {
        top._read();
    } catch (e) {
        console.error('stopped: ' + e);
    }
    // Substreams are views of the same buffer (ioOffset is then absolute);
    // processed data lives in buffers of its own.
    const rootBuffer = stream._buffer;
    const lines = [];
    const withValues = process.env.ORACLE_VALUES === '1';
    function shown(v) {
        if (typeof v === 'number' || typeof v === 'bigint')
            return String(v);
        if (typeof v === 'boolean')
            return v ? 'true' : 'false';
        if (typeof v === 'string')
            return JSON.stringify(v);
        if (v instanceof Uint8Array)
            return '[' + Array.from(v, (b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ') + ']';
        return undefined;
    }
    function value_lines(obj, prefix) {
        for (const key of Object.getOwnPropertyNames(obj)) {
            // Fields and instances; a type's parameters are neither.
            if (key.startsWith('_') ? !key.startsWith('_m_') : !(obj._debug && key in obj._debug))
                continue;
            const field = key.startsWith('_m_') ? key.slice(3) : key;
            const v = obj[key];
            if (Array.isArray(v))
                v.forEach((e, i) => { if (shown(e) !== undefined) lines.push(`${prefix}${snake(field)}[${i}]=${shown(e)}`); });
            else if (shown(v) !== undefined)
                lines.push(`${prefix}${snake(field)}=${shown(v)}`);
        }
    }
    const seen = new Set();
    function visit(obj, prefix, depth) {
        if (!obj || typeof obj !== 'object' || !obj._debug || seen.has(obj) || depth > 40)
            return;
        seen.add(obj);
        // Instances are computed when first asked for.
        let proto = Object.getPrototypeOf(obj);
        for (const key of Object.getOwnPropertyNames(proto)) {
            const d = Object.getOwnPropertyDescriptor(proto, key);
            if (d && d.get) {
                try { void obj[key]; } catch (e) { /* an instance that cannot be read */ }
            }
        }
        const sameFile = obj._io && obj._io._buffer === rootBuffer;
        if (withValues)
            value_lines(obj, prefix);
        for (const key of Object.keys(obj._debug)) {
            const dbg = obj._debug[key];
            // Instances keep their value and debug entry as "_m_<name>".
            const field = key.startsWith('_m_') ? key.slice(3) : key;
            const name = snake(field);
            let value = obj['_m_' + field];
            if (value === undefined) {
                try { value = obj[field]; } catch (e) { value = undefined; }
            }
            const base = dbg.ioOffset || 0;
            if (sameFile && dbg.end > dbg.start)
                lines.push(`${prefix}${name} ${base + dbg.start} ${base + dbg.end}`);
            if (Array.isArray(dbg.arr)) {
                dbg.arr.forEach((e, i) => {
                    if (sameFile && e && e.end > e.start)
                        lines.push(`${prefix}${name}[${i}] ${base + e.start} ${base + e.end}`);
                    if (Array.isArray(value))
                        visit(value[i], `${prefix}${name}[${i}].`, depth + 1);
                });
            } else {
                visit(value, `${prefix}${name}.`, depth + 1);
            }
        }
    }
    visit(top, '', 0);
    fs.rmSync(dir, { recursive: true, force: true });
    process.stdout.write(lines.join('\n') + '\n');
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
