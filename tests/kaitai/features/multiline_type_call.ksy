meta: {id: multiline_type_call, endian: le}
seq:
  - id: groups
    type: |
      group(
        _index,
        _index != 0 ? groups[_index - 1].sum : 0
      )
    repeat: until
    repeat-until: not _.more
types:
  group:
    params:
      - {id: idx, type: s4}
      - {id: before, type: u4}
    seq:
      - {id: b, type: u1}
    instances:
      more: {value: (b & 0x80) != 0}
      sum: {value: before + (b & 0x7f) + idx}
