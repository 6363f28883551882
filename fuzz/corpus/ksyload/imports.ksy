meta:
  id: imports
  imports:
    - /common/riff
    - ../elsewhere/thing
    - near
seq:
  - {id: a, type: riff}
