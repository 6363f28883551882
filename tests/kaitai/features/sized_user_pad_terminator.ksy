meta: {id: sized_user_pad_terminator}
seq:
  - {id: a, size: 6, terminator: 0, pad-right: 0x20, type: inner}
  - {id: b, size: 6, pad-right: 0x20, type: inner}
  - {id: c, size: 4, process: xor(0xff), terminator: 0, type: inner}
  - {id: d, size: 4, process: xor(0xff), terminator: 0}
  - {id: tail, type: u1}
types:
  inner:
    seq:
      - {id: x, type: u1}
      - {id: rest, size-eos: true}
