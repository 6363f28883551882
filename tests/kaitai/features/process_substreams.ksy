meta: {id: process_substreams, endian: le}
seq:
  - {id: plain, type: pair, size: 2, process: xor(0xff)}
  - {id: rotated, type: pair, size: 2, process: rol(1)}
  - {id: len_packed, type: u1}
  - {id: packed, type: packed_body, size: len_packed, process: zlib}
  - {id: keyed, type: pair, size: 2, process: xor(_index + 1), repeat: expr, repeat-expr: 2}
  - {id: tail, type: u1}
types:
  pair:
    seq:
      - {id: a, type: u1}
      - {id: b, type: u1}
  packed_body:
    seq:
      - {id: n, type: u2}
      - {id: items, type: pair, repeat: expr, repeat-expr: n}
      - {id: note, type: strz, encoding: ASCII}
