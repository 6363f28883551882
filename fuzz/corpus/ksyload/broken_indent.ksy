meta: {id: b}
seq:
  - id: a
    type: u1
   - id: b
