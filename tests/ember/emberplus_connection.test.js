// matrixgateway driven by emberplus-connection, an Ember+ client library we
// did not write: walk, counts and labels, a route on each level, a rename, a
// change made by matrixctl seen through a subscription, a lock, a locked
// target left as it was, a salvo taken through the function.
'use strict'
const assert = require('node:assert/strict')
const fs = require('node:fs')
const { EmberClient } = require('emberplus-connection')
const { startRig, eventually } = require('./rig.js')

async function main(binDir) {
  const rig = await startRig(binDir)
  const client = new EmberClient('127.0.0.1', rig.port)
  client.on('error', (e) => console.error('client error:', e))
  try {
    await client.connect()
    await (await client.getDirectory(client.tree)).response
    const get = async (path) => {
      const e = await client.getElementByPath(path)
      assert.ok(e, `no element at ${path}`)
      return e
    }
    const matrices = [await get('1.2.1'), await get('1.2.2')]
    for (const [i, m] of matrices.entries()) {
      assert.equal(m.contents.targetCount, 12)
      assert.equal(m.contents.sourceCount, 16)
      assert.equal(m.contents.description, ['VIDEO', 'AUDIO'][i])
      await (await client.getDirectory(m)).response // its connections, and later changes
    }
    assert.equal((await get('1.3.1.1.0')).contents.value, 'PGM')
    assert.equal((await get('1.3.2.2.2')).contents.value, 'CAM 3')
    assert.equal((await get('1.3.1.2.5')).contents.value, 'Input 6')

    // A route on each level: the switcher changes on that level alone.
    await (await client.matrixConnect(matrices[0], 3, [5])).response
    await (await client.matrixConnect(matrices[1], 4, [9])).response
    await eventually('routes on the switcher', () => {
      const s = rig.show()
      return s[4][1].input === 6 && s[4][2].input === 4 && s[5][2].input === 10 && s[5][1].input === 5
    })

    // A rename goes to the panel's INI file and comes back as the label.
    const label = await get('1.3.2.2.4')
    await (await client.setValue(label, 'CAM 5')).response
    await eventually('the INI file', () => /^NAME4=CAM 5$/m.test(fs.readFileSync(rig.ini, 'utf8')))
    assert.equal((await get('1.3.1.2.4')).contents.value, 'CAM 5')

    // A change made elsewhere reaches the subscribed matrix and parameter.
    const source = await get('1.4.2.1.8.2')
    rig.ctl('route', '9', '11', '--level', '2')
    await eventually('matrix connection from matrixctl', () =>
      matrices[1].contents.connections[8]?.sources?.[0] === 10)
    await eventually('source parameter from matrixctl', () => source.contents.value === 10)

    // A lock through its parameter, then a route to a target another operator locked.
    const lock = await get('1.4.1.1.6.1')
    await (await client.setValue(lock, true)).response
    await eventually('lock on the switcher', () => rig.show()[7][1].locked)
    rig.simSays('lock 1 1 3')
    await eventually('the chassis lock seen', async () => (await get('1.4.1.1.2.1')).contents.value === true)
    await (await client.matrixConnect(matrices[0], 2, [7])).response
    const held = rig.show()[3][1]
    assert.equal(held.input, 3, 'a locked target must keep its source')
    assert.equal(held.locked, true)

    // A salvo through the function: every output to input 2, locked ones aside.
    const take = await get('1.5.3')
    const result = await (await client.invoke(take, { type: 'STRING', value: '002-ALL' })).response
    assert.equal(result.success, true)
    await eventually('the salvo on the switcher', () => {
      const s = rig.show()
      return s[1][1].input === 2 && s[12][2].input === 2 && s[3][1].input === 3
    })
    console.log('emberplus-connection: walk, counts, labels, routes, rename, changes, locks, salvo: ok')
  } finally {
    await client.disconnect().catch(() => {})
    await rig.stop()
  }
}

main(process.argv[2]).then(() => process.exit(0), (e) => { console.error(e); process.exit(1) })
