meta: {id: index_in_process}
seq:
  - id: recs
    size: 2
    type: rec
    process: xor(_index + 1)
    repeat: expr
    repeat-expr: 3
types:
  rec:
    seq:
      - {id: a, type: u1}
      - {id: b, type: u1}
