meta: {id: pad_and_terminator}
seq:
  - {id: a, size: 5, terminator: 0, include: true, pad-right: 0}
  - {id: b, size: 5, terminator: 0x2e, include: true, pad-right: 0x2e}
  - {id: c, size: 5, terminator: 0, pad-right: 0x20}
  - {id: s, type: str, encoding: UTF-16LE, terminator: 0}
  - {id: tail, type: u1}
