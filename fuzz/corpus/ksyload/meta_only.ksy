meta:
  id: m
  endian:
    switch-on: _root.x
    cases: {1: le, _: be}
doc: |
  nothing but meta
