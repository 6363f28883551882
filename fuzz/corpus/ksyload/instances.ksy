meta: {id: i, endian: le}
params:
  - {id: base, type: u4}
seq:
  - {id: ofs, type: u4}
instances:
  at: {pos: ofs + base, io: _root._io, size: 4, process: xor(0x5a)}
  chained: {value: 'at.size > 2 ? at[0] : -1'}
  cast: {value: _root.as<i>.ofs}
  bad_ref: {value: nothere.x}
