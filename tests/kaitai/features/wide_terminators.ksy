meta: {id: wide_terminators, endian: le}
seq:
  - {id: a, type: strz, encoding: UTF-16LE}
  - {id: b, type: strz, encoding: UTF-16BE}
  - {id: c, type: strz, encoding: UTF-16LE, size: 8}
  - {id: d, type: str, encoding: UTF-16LE, terminator: 0}
  - {id: e, type: strz, encoding: ASCII}
  - {id: tail, type: u1}
