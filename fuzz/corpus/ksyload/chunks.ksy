meta:
  id: chunks
  endian: be
  encoding: ASCII
seq:
  - id: magic
    contents: [0x89, "PNG"]
  - id: chunks
    type: chunk
    repeat: until
    repeat-until: _.kind == "END" or _io.eof
types:
  chunk:
    seq:
      - id: len
        type: u4
      - id: kind
        type: str
        size: 4
      - id: body
        size: len
        type:
          switch-on: kind
          cases:
            '"HEAD"': head
    types:
      head:
        seq:
          - {id: w, type: u2, valid: {min: 1}}
          - {id: h, type: u2}
        instances:
          area: {value: w * h}
