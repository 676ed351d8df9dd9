// matrixgateway driven by node-emberplus, a second Ember+ client library we
// did not write: walk, counts and labels, a route on each level, a rename, a
// change made by matrixctl seen through a subscription, a locked target left
// as it was, a lock and a route through parameters (for clients that cannot
// address matrices), a salvo through the function and through its parameter.
'use strict'
const assert = require('node:assert/strict')
const fs = require('node:fs')
const { EmberClient, EmberLib } = require('node-emberplus')
const { startRig, eventually } = require('./rig.js')

async function main(binDir) {
  const rig = await startRig(binDir)
  const client = new EmberClient({ host: '127.0.0.1', port: rig.port })
  client.on('error', (e) => console.error('client error:', e))
  try {
    await client.connectAsync()
    await client.getDirectoryAsync()
    const get = async (path) => {
      const e = await client.getElementByPathAsync(path)
      assert.ok(e, `no element at ${path}`)
      return e
    }
    const matrices = [await get('1.2.1'), await get('1.2.2')]
    for (const [i, m] of matrices.entries()) {
      assert.equal(m.contents.targetCount, 12)
      assert.equal(m.contents.sourceCount, 16)
      assert.equal(m.contents.description, ['VIDEO', 'AUDIO'][i])
    }
    assert.equal((await get('1.3.1.1.0')).contents.value, 'PGM')
    assert.equal((await get('1.3.2.2.2')).contents.value, 'CAM 3')

    await client.matrixConnectAsync(matrices[0], 3, [5])
    await client.matrixConnectAsync(matrices[1], 4, [9])
    await eventually('routes on the switcher', () => {
      const s = rig.show()
      return s[4][1].input === 6 && s[4][2].input === 4 && s[5][2].input === 10 && s[5][1].input === 5
    })

    await client.setValueAsync(await get('1.3.1.1.7'), 'MON 8')
    await eventually('the INI file', () => /^NAME7=MON 8$/m.test(fs.readFileSync(rig.ini, 'utf8')))

    const source = await get('1.4.2.1.8.2')
    rig.ctl('route', '9', '11', '--level', '2')
    await eventually('matrix connection from matrixctl', () =>
      matrices[1].connections[8]?.sources?.[0] === 10)
    await eventually('source parameter from matrixctl', () => source.contents.value === 10)

    // Routing through the source parameter, as clients without matrices do.
    await client.setValueAsync(await get('1.4.1.1.10.2'), 13)
    await eventually('a route through the source parameter', () => rig.show()[11][1].input === 14)

    rig.simSays('lock 1 2 6')
    await eventually('the chassis lock seen', async () => (await get('1.4.2.1.5.1')).contents.value === true)
    await client.matrixConnectAsync(matrices[1], 5, [0])
    assert.equal(rig.show()[6][2].input, 6, 'a locked target must keep its source')

    await client.setValueAsync(await get('1.4.1.1.0.1'), true)
    await eventually('lock on the switcher', () => rig.show()[1][1].locked)
    const result = await client.invokeFunctionAsync(await get('1.5.3'),
      [new EmberLib.FunctionArgument(EmberLib.ParameterType.string, '003-ALL')])
    assert.equal(result.success, true)
    await eventually('the salvo through the function', () => rig.show()[2][1].input === 3)
    await client.setValueAsync(await get('1.5.1'), '004-ALL')
    await eventually('the salvo on the switcher', () => {
      const s = rig.show()
      return s[2][1].input === 4 && s[2][2].input === 4 && s[1][1].input === 1 && s[6][2].input === 6
    })
    console.log('node-emberplus: walk, counts, labels, routes, rename, changes, locks, salvo: ok')
  } finally {
    await client.disconnectAsync().catch(() => {})
    await rig.stop()
  }
}

main(process.argv[2]).then(() => process.exit(0), (e) => { console.error(e); process.exit(1) })
