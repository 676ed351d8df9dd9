// A switcher simulator with levels 1 and 2, and matrixgateway serving it over
// Ember+ on a free port, for tests that drive the gateway with Ember+ clients
// nobody on the team wrote. Usage from a test:
//   const rig = await startRig(binDir); ... rig.ctl('route', '3', '5'); await rig.stop()
'use strict'
const { spawn, execFileSync } = require('node:child_process')
const fs = require('node:fs')
const os = require('node:os')
const path = require('node:path')
const net = require('node:net')

function waitForLine(child, pattern, ms) {
  return new Promise((resolve, reject) => {
    let text = ''
    const timer = setTimeout(() => reject(new Error(`no line ${pattern} in ${ms} ms:\n${text}`)), ms)
    const seen = (chunk) => {
      text += chunk.toString()
      const m = text.match(pattern)
      if (m) {
        clearTimeout(timer)
        resolve(m)
      }
    }
    child.stdout.on('data', seen)
    child.stderr.on('data', seen)
  })
}

async function waitForPort(host, port, ms) {
  const until = Date.now() + ms
  for (;;) {
    const ok = await new Promise((resolve) => {
      const s = net.connect(port, host, () => { s.destroy(); resolve(true) })
      s.on('error', () => resolve(false))
    })
    if (ok) return
    if (Date.now() > until) throw new Error(`nothing listens on ${host}:${port}`)
    await new Promise((r) => setTimeout(r, 50))
  }
}

async function startRig(binDir) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ember-rig-'))
  const c = 20 + Math.floor(Math.random() * 200)
  const d = 20 + Math.floor(Math.random() * 200)
  const address = `127.78.${c}.${d}`
  const sim = spawn(path.join(binDir, 'switchersim'),
    ['--chassis', `${address}:10004:levels=1,2:size=16x12`], { stdio: ['pipe', 'pipe', 'pipe'] })
  await waitForPort(address, 10004, 10000)
  let packed = 127 + 78 * 256 + c * 65536 + d * 16777216
  if (packed >= 2 ** 31) packed -= 2 ** 32
  const set = path.join(dir, 'matrixpanel.set')
  const ini = path.join(dir, 'matrixpanel.ini')
  fs.writeFileSync(set, `[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nNAME=VIDEO\nIP=${packed}\n` +
    `[LEVEL2]\nADDRESS=2\nNAME=AUDIO\nIP=${packed}\n`)
  fs.writeFileSync(ini, '[OUTPUTS]\nNAME0=PGM\n[INPUTS]\nNAME2=CAM 3\n[GATEWAY]\nVIDEOHUB=\n')
  const gateway = spawn(path.join(binDir, 'matrixgateway'),
    ['--ini', ini, '--set', set, '--ember', '127.0.0.1:0', '--swp08', '127.0.0.1:0'], { stdio: ['ignore', 'pipe', 'pipe'] })
  let log = ''
  gateway.stderr.on('data', (b) => { log += b.toString() })
  const m = await waitForLine(gateway, /Ember\+ provider on 127\.0\.0\.1:(\d+)/, 10000)
  const port = Number(m[1])
  const ctl = (...args) => execFileSync(path.join(binDir, 'matrixctl'), ['--ini', ini, '--set', set, ...args],
    { encoding: 'utf8', timeout: 20000 })
  // What the switchers hold, read by matrixctl: show()[output][level] is
  // {input, locked}, all numbered from 1.
  const show = () => {
    const outputs = {}
    for (const line of ctl('show', '--json').split('\n')) {
      if (!line.trim()) continue
      const o = JSON.parse(line)
      if (o.type !== 'output') continue
      outputs[o.output] = {}
      for (const l of o.levels) outputs[o.output][l.level] = { input: l.input, locked: l.locked }
    }
    return outputs
  }
  // Another operator at the chassis (the simulator's console).
  const simSays = (line) => sim.stdin.write(line + '\n')
  // The gateway writes its log into the folder until it has ended: wait for
  // both processes before removing it.
  const ended = (child) => new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) resolve()
    else child.once('exit', resolve)
  })
  const stop = async () => {
    gateway.kill('SIGTERM')
    sim.stdin.end('quit\n')
    await Promise.all([ended(gateway), ended(sim)])
    fs.rmSync(dir, { recursive: true, force: true, maxRetries: 5 })
  }
  return { port, ini, ctl, show, simSays, stop, log: () => log }
}

async function eventually(what, check, ms = 10000) {
  const until = Date.now() + ms
  let last
  for (;;) {
    try {
      last = await check()
      if (last) return last
    } catch (e) {
      last = e
    }
    if (Date.now() > until) throw new Error(`${what}: not seen in ${ms} ms (last: ${last})`)
    await new Promise((r) => setTimeout(r, 50))
  }
}

module.exports = { startRig, eventually }
