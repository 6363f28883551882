meta: {id: instance_uses_later_field}
seq:
  - {id: head, type: header}
  - {id: scale, type: u1}
types:
  header:
    seq:
      - {id: v, type: u1}
    instances:
      scaled: {value: v * _parent.scale}
      at_scale: {pos: _parent.scale, type: u1}
