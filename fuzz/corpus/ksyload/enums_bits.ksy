meta: {id: e, endian: le, bit-endian: le}
seq:
  - {id: flags, type: b3, enum: flag}
  - {id: more, type: b5}
  - {id: k, type: u1, enum: kind, if: flags == flag::two}
enums:
  flag: {0: none, 2: two, 7: {id: all, doc: every one}}
  kind: {0x10: ten, -1: minus}
